#pragma once

#include "recordstore.h"
#include "sqlitehandles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace nimbra {

// The name the history is attached under on every connection that writes it, its own included.
inline constexpr const char* ArchiveSchema = "history";

// A kept reading with the unit its temperatures were logged in.
struct KeptReading
{
    // RecordRow is packed to its stored 24 bytes; aligned here, its Time stays readable by
    // reference in a vector of readings.
    alignas(double) RecordRow row;
    bool fahrenheit = false;
};

struct ArchiveWriteResult
{
    std::int64_t added = 0;       // readings the file has now beyond those it had before
    std::size_t notKept = 0;      // reading lines the history refused
    std::size_t firstNotKept = 0; // the line number of the first of them (the header is 1)
};

// Writes the lines of one station file into the history, attached as ArchiveSchema to a
// connection whose write transaction the caller opens and commits (or rolls back): the lines
// of this import replace what the history held at their numbers, lines beyond the import's end
// stay. The file remembers dateOrder, the name of the order its stamps were read in. Failures
// throw StoreError.
class ArchiveWriter
{
public:
    ArchiveWriter(sqlite3* db, std::string stationFile, bool indoor, std::string dateOrder);

    // The next line of the file, from line 2 on: kept when whole, else whatever the history
    // held at its number goes. lineHash: of the line's text; the first one names the file.
    void add(const KeptReading& reading, std::uint64_t lineHash, bool whole);
    // The file's unit label, as its header gave it.
    ArchiveWriteResult finish(const std::string& unitLabel);

private:
    void openFile(std::uint64_t firstLineHash);
    Statement prepare(const char* sql);
    void run(sqlite3_stmt* statement);
    [[noreturn]] void fail();

    sqlite3* m_db;
    const std::string m_stationFile;
    const bool m_indoor;
    const std::string m_dateOrder;
    std::int64_t m_file = 0; // its id, 0 until the first line
    std::int64_t m_line = 1;
    std::int64_t m_rowsBefore = 0;
    ArchiveWriteResult m_result;
    Statement m_insert;
    Statement m_drop;
};

// The history's unit conversion, exact to one decimal: the temperature rounded to tenths, then
// converted and rounded to tenths again, so a reading of 70.7 °F is 21.5 °C. No value stays.
float ConvertTemperature(float value, bool fromFahrenheit, bool toFahrenheit);

} // namespace nimbra
