#pragma once

#include "recordstore.h"
#include "sqlitehandles.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace nimbra {

class MessageService;

// The kept history lives beside the record store, in a file of its own.
inline constexpr const char* ArchiveFileName = "history.db";
std::filesystem::path ArchivePathBeside(const std::filesystem::path& database);

struct ArchiveStats
{
    std::int64_t rows = 0;
    std::int64_t files = 0;
    std::optional<double> first; // OLE dates; empty while the archive holds no reading
    std::optional<double> last;
};

// Every reading ever imported: one row per time, outdoor and indoor kept apart, each row
// naming the station file it first came from. The record store holds the last import only;
// every import merges into this file as well. Its view "Records" shows the outdoor readings
// in the record store's layout, so the store's own queries (the graph's) read it as they read
// the store. Failures throw StoreError.
class Archive
{
public:
    // Opens the archive, creating the file and its tables when they are not there yet.
    explicit Archive(const std::filesystem::path& file);

    // Adds the readings of the record store at database (rows with a real time) that the
    // archive does not hold yet, as readings of stationFile: all of them or, on a failure or a
    // killed process, none. Streams from file to file, so memory does not grow with the store.
    // Returns how many were added.
    std::int64_t Merge(const std::filesystem::path& database, const std::string& stationFile,
                       bool indoor, const std::string& unitLabel);

    ArchiveStats Stats();

    // The readings of one kind with from <= Time <= to in ascending time. Returns their number.
    std::int64_t ForEach(double from, double to, bool indoor,
                         const std::function<void(const RecordRow&)>& onRow);

private:
    void execute(const char* sql);
    Statement prepare(const char* sql);
    [[noreturn]] void fail();

    Database m_db;
};

// After an import into the record store at database: merges its rows into the archive beside
// it. A failure is told through messages; the store keeps the import either way. Returns how
// many readings were new to the archive, empty on a failure.
std::optional<std::int64_t> ArchiveImport(const std::filesystem::path& database,
                                          const std::string& stationFile, bool indoor,
                                          const std::string& unitLabel, MessageService& messages);

} // namespace nimbra
