#pragma once

// What SQLite itself achieves on this machine, measured in the same run as the program's own
// figure, so that every bench reports "ours / SQLite's limit" the same way.

#include "recordstore.h"

#include <filesystem>

namespace nimbra::bench {

// Processor seconds of the whole process so far, all threads: on a busy machine a steadier
// figure than the wall clock.
double ProcessorSeconds();

// The reading of line `index` of the benches' outdoor log: one every five minutes from
// 2017-01-01, temperatures in tenths of a degree, as nimbractl's import would store them.
RecordRow BenchRow(long index);

// Makes `database` a copy of the template holding `rows` BenchRows, written the fastest way
// SQLite offers for the template's schema: one transaction, one prepared statement, the
// indexes dropped before the rows and built after them. Returns the seconds from BEGIN to the
// end of COMMIT, or a negative number (with a message on stderr) when SQLite refused. With a
// history (a kept-history file with its tables and no readings), the same transaction also
// writes each row there, as the reading of one line of one file.
double SqliteBulkInsertSeconds(const std::filesystem::path& templateDb,
                               const std::filesystem::path& database, long rows,
                               const std::filesystem::path& history = {});

// One query returning Time, Temperature, Dewpoint and Heatindex of every row in time order,
// each value fetched: SQLite's own pace for the graph's reading. Seconds, negative on failure.
double SqliteTimeOrderedScanSeconds(const std::filesystem::path& database);

// Seconds to open the database and read its first and last time: the least any user of the
// store pays to show that it holds something.
double SqliteOpenSeconds(const std::filesystem::path& database);

// "what: 1.234 s; SQLite's limit 1.000 s; ours / limit 1.23"; whose names another limit.
void PrintBesideLimit(const char* what, double oursSeconds, double limitSeconds,
                      const char* whose = "SQLite's");

} // namespace nimbra::bench
