#pragma once

#include "archivewriter.h"
#include "recordstore.h"
#include "sqlitehandles.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace nimbra {

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

struct ForgetResult
{
    std::int64_t files = 0;
    std::int64_t readings = 0;
};

// The name of the date order a station file's stamps were read in, by the file's name and kind
// (indoor): of its latest file that remembers one, when a reformatted card reused the name.
using RememberedDateOrders = std::map<std::pair<std::string, bool>, std::string>;

// Every reading ever imported, outdoor and indoor kept apart. A reading is the line of a station
// file: its identity is the file (its name and the text of its first reading line, so that a
// reformatted card's new file of the same name is a file of its own) and the line's number in
// it. Importing a file again replaces the readings of the lines it holds; a file that grew adds
// its new lines. Each reading keeps the unit its file was written in, each file the date order
// its stamps were read in. Its view "Records" shows the outdoor readings in the record store's
// layout, so the store's own queries read it as they read the store. Failures throw StoreError.
class Archive
{
public:
    // Opens the archive, creating the file and its tables when they are not there yet, and takes
    // over a history kept by an earlier version in one transaction.
    explicit Archive(const std::filesystem::path& file);

    ArchiveStats Stats();

    // The readings of one kind with from <= Time <= to in ascending time, readings at the same
    // time in the order they were logged. Returns their number.
    std::int64_t ForEach(double from, double to, bool indoor,
                         const std::function<void(const KeptReading&)>& onReading);

    // For the graph: the first and last time of one kind's readings (nullopt while it has
    // none), and its points in the unit of LatestUnitIsFahrenheit, read as ReadSeriesPoints
    // reads them, columns named as the record store names them.
    std::optional<std::pair<double, double>> Span(bool indoor);
    std::string ReadSeries(bool indoor, std::span<const std::string_view> columns, double from,
                           double to, SeriesSink& earlier, SeriesSink& later);

    // The unit of the latest reading (outdoor before indoor): the one the station logs in now.
    // nullopt while the archive holds no reading.
    std::optional<bool> LatestUnitIsFahrenheit();

    // Drops every reading of the station files of this name, in one transaction.
    ForgetResult Forget(const std::string& stationFile);

    // Opens the one transaction of a rewrite and empties the archive in it; writers on
    // connection() then fill it, and commit() ends it. Until then (and after a kill, for good)
    // everyone sees the archive as it was. Returns the date orders the emptied files remembered.
    RememberedDateOrders BeginRewrite();
    void Commit();
    sqlite3* connection() { return m_db.get(); }

private:
    void execute(const char* sql);
    Statement prepare(const char* sql);
    [[noreturn]] void fail();
    void upgrade();

    Database m_db; // the archive is attached to it as ArchiveSchema
};

} // namespace nimbra
