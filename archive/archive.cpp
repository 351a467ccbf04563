#include "archive.h"

#include "seriesreader.h"

#include <algorithm>

namespace nimbra {

namespace {

// An import may hold the archive for a while, or a second program for a moment.
constexpr int BusyTimeoutMs = 10000;

// What user_version says of the tables: 0 a new file or one of the first version, whose
// readings were keyed by their kind and time; 2 one whose files did not remember their date
// order.
constexpr int CurrentVersion = 3;

// WITHOUT ROWID: a file's readings live in line order, so a re-import replaces them in place;
// the index walks a time range of one kind in time order, a time's readings in logged order.
// DateOrder: how the file's ambiguous stamps were read ("DD-MM-YYYY" or "MM-DD-YYYY"), so that
// a rebuild reads them alike; NULL for a file kept before it was remembered.
constexpr auto Tables = R"sql(
CREATE TABLE history.Files (
    Id INTEGER PRIMARY KEY,
    Name TEXT NOT NULL,
    FirstLine INTEGER,
    Indoor INTEGER NOT NULL,
    UnitLabel TEXT NOT NULL DEFAULT '',
    Rows INTEGER NOT NULL DEFAULT 0,
    DateOrder TEXT
);
CREATE UNIQUE INDEX history.FileIdentity ON Files (Name, Indoor, FirstLine);
CREATE TABLE history.Readings (
    File INTEGER NOT NULL REFERENCES Files (Id),
    Line INTEGER NOT NULL,
    Indoor INTEGER NOT NULL,
    Time REAL NOT NULL,
    Temperature REAL,
    Humidity INTEGER,
    Dewpoint REAL,
    Heatindex REAL,
    Fahrenheit INTEGER NOT NULL,
    PRIMARY KEY (File, Line)
) WITHOUT ROWID;
CREATE INDEX history.ReadingsByTime ON Readings (Indoor, Time);
)sql";

// The readings of each kind in the record store's layout, for the store's own queries and the
// graph's: Records the outdoor ones, IndoorRecords the indoor ones, every temperature of both in
// the unit of the latest reading (outdoor before indoor), converted as ConvertTemperature does.
// Their rowid is the time, so that a pass along one reads it in order.
constexpr auto Views = R"sql(
CREATE VIEW history.KeptUnit AS
    SELECT coalesce((SELECT Fahrenheit FROM Readings WHERE Indoor = 0 ORDER BY Time DESC LIMIT 1),
                    (SELECT Fahrenheit FROM Readings WHERE Indoor = 1 ORDER BY Time DESC LIMIT 1))
           AS Fahrenheit;
CREATE VIEW history.InKeptUnit AS
    SELECT Indoor, Time,
           CASE WHEN Temperature = 65535 OR Fahrenheit = (SELECT Fahrenheit FROM KeptUnit)
                    THEN Temperature
                WHEN Fahrenheit THEN round((round(Temperature * 10) - 320) * 5 / 9.0) / 10
                ELSE (round(round(Temperature * 10) * 9 / 5.0) + 320) / 10 END AS Temperature,
           Humidity,
           CASE WHEN Dewpoint = 65535 OR Fahrenheit = (SELECT Fahrenheit FROM KeptUnit)
                    THEN Dewpoint
                WHEN Fahrenheit THEN round((round(Dewpoint * 10) - 320) * 5 / 9.0) / 10
                ELSE (round(round(Dewpoint * 10) * 9 / 5.0) + 320) / 10 END AS Dewpoint,
           CASE WHEN Heatindex = 65535 OR Fahrenheit = (SELECT Fahrenheit FROM KeptUnit)
                    THEN Heatindex
                WHEN Fahrenheit THEN round((round(Heatindex * 10) - 320) * 5 / 9.0) / 10
                ELSE (round(round(Heatindex * 10) * 9 / 5.0) + 320) / 10 END AS Heatindex
    FROM Readings;
CREATE VIEW history.Records AS
    SELECT Time, Temperature, Humidity, Dewpoint, Heatindex, Time AS rowid
    FROM InKeptUnit WHERE Indoor = 0;
CREATE VIEW history.IndoorRecords AS
    SELECT Time, Temperature, Humidity, Dewpoint, Heatindex, Time AS rowid
    FROM InKeptUnit WHERE Indoor = 1;
PRAGMA history.user_version = 3;
)sql";

// A file of version 2 learns to remember date orders and gets the views of both kinds.
constexpr auto FromVersion2 = R"sql(
ALTER TABLE history.Files ADD COLUMN DateOrder TEXT;
DROP VIEW history.Records;
)sql";

// The earlier version kept one reading per kind and time, each naming the file it first came
// from, and no line numbers: its readings are numbered in time order, and the first import of
// each file replaces them (see ArchiveWriter).
constexpr auto Upgrade = R"sql(
DROP VIEW history.Records;
ALTER TABLE history.Files RENAME TO OldFiles;
ALTER TABLE history.Readings RENAME TO OldReadings;
)sql";
constexpr auto CopyOld = R"sql(
INSERT INTO history.Files (Id, Name, FirstLine, Indoor, UnitLabel, Rows)
    SELECT Id, Name, NULL,
           coalesce((SELECT Indoor FROM history.OldReadings WHERE File = f.Id LIMIT 1),
                    instr(Name, 'IN') > 0),
           UnitLabel, Rows FROM history.OldFiles f;
INSERT INTO history.Readings
    SELECT r.File, 1 + row_number() OVER (PARTITION BY r.File ORDER BY r.Time), r.Indoor, r.Time,
           r.Temperature, r.Humidity, r.Dewpoint, r.Heatindex, instr(f.UnitLabel, 'F') > 0
    FROM history.OldReadings r JOIN history.OldFiles f ON f.Id = r.File;
DROP TABLE history.OldReadings;
DROP TABLE history.OldFiles;
)sql";

// Ends a transaction that was not committed, whatever path leaves by.
class Transaction
{
public:
    explicit Transaction(sqlite3* db) : m_db(db) {}
    ~Transaction()
    {
        if (!m_committed)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void committed() { m_committed = true; }

private:
    sqlite3* m_db;
    bool m_committed = false;
};

std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string name = path.u8string(); // SQLite takes UTF-8 on every platform
    return std::string(name.begin(), name.end());
}

} // namespace

std::filesystem::path ArchivePathBeside(const std::filesystem::path& database)
{
    return database.parent_path() / ArchiveFileName;
}

// The file is attached under the name every writer uses, to a connection of its own.
Archive::Archive(const std::filesystem::path& file)
{
    sqlite3* raw = nullptr;
    const int result =
        sqlite3_open_v2(":memory:", &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db.reset(raw);
    if (result != SQLITE_OK) {
        if (!raw)
            throw StoreError(ComErrorText(result, sqlite3_errstr(result)));
        fail();
    }
    sqlite3_busy_timeout(m_db.get(), BusyTimeoutMs);
    Statement attach = prepare("ATTACH DATABASE ?1 AS history");
    const std::string name = Utf8(file);
    sqlite3_bind_text(attach.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(attach.get()) != SQLITE_DONE)
        fail();
    upgrade();
}

void Archive::upgrade()
{
    const auto version = [this] {
        Statement query = prepare("PRAGMA history.user_version");
        if (sqlite3_step(query.get()) != SQLITE_ROW)
            fail();
        return sqlite3_column_int(query.get(), 0);
    };
    // Reading the version costs nothing; only a file that needs tables is written.
    if (version() == CurrentVersion)
        return;
    execute("BEGIN IMMEDIATE");
    Transaction transaction(m_db.get());
    const int found = version(); // another program may have been first
    if (found == 2) {
        execute(FromVersion2);
        execute(Views);
    } else if (found != CurrentVersion) {
        Statement old =
            prepare("SELECT count(*) FROM history.sqlite_schema WHERE name = 'Readings'");
        if (sqlite3_step(old.get()) != SQLITE_ROW)
            fail();
        const bool earlier = sqlite3_column_int(old.get(), 0) > 0;
        old.reset();
        if (earlier)
            execute(Upgrade);
        execute(Tables);
        if (earlier)
            execute(CopyOld);
        execute(Views);
    }
    execute("COMMIT");
    transaction.committed();
}

void Archive::fail()
{
    throw StoreError(
        ComErrorText(sqlite3_extended_errcode(m_db.get()), sqlite3_errmsg(m_db.get())));
}

void Archive::execute(const char* sql)
{
    if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

Statement Archive::prepare(const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), sql, -1, &raw, nullptr) != SQLITE_OK)
        fail();
    return Statement(raw);
}

ArchiveStats Archive::Stats()
{
    ArchiveStats stats;
    // The row count is kept per file by the imports: counting ten million rows would take
    // seconds, their sum over the files takes nothing.
    Statement totals = prepare("SELECT coalesce(sum(Rows), 0), count(*) FROM history.Files");
    if (sqlite3_step(totals.get()) != SQLITE_ROW)
        fail();
    stats.rows = sqlite3_column_int64(totals.get(), 0);
    stats.files = sqlite3_column_int64(totals.get(), 1);
    // One min or max a query and per kind: only then is each one step along the index (a query
    // that asks for both walks it whole).
    Statement span = prepare("SELECT (SELECT min(Time) FROM history.Readings WHERE Indoor = 0), "
                             "(SELECT min(Time) FROM history.Readings WHERE Indoor = 1), "
                             "(SELECT max(Time) FROM history.Readings WHERE Indoor = 0), "
                             "(SELECT max(Time) FROM history.Readings WHERE Indoor = 1)");
    if (sqlite3_step(span.get()) != SQLITE_ROW)
        fail();
    const auto pick = [&](int column, const std::optional<double>& other, auto better) {
        if (sqlite3_column_type(span.get(), column) == SQLITE_NULL)
            return other;
        const double value = sqlite3_column_double(span.get(), column);
        return std::optional<double>(other ? better(value, *other) : value);
    };
    const auto earlier = [](double a, double b) { return std::min(a, b); };
    const auto later = [](double a, double b) { return std::max(a, b); };
    stats.first = pick(1, pick(0, std::nullopt, earlier), earlier);
    stats.last = pick(3, pick(2, std::nullopt, later), later);
    return stats;
}

std::int64_t Archive::ForEach(double from, double to, bool indoor,
                              const std::function<void(const KeptReading&)>& onReading)
{
    Statement select =
        prepare("SELECT Time, Temperature, Humidity, Dewpoint, Heatindex, Fahrenheit "
                "FROM history.Readings WHERE Indoor = ?1 AND Time >= ?2 AND Time <= ?3 "
                "ORDER BY Time, File, Line");
    sqlite3_bind_int(select.get(), 1, indoor ? 1 : 0);
    sqlite3_bind_double(select.get(), 2, from);
    sqlite3_bind_double(select.get(), 3, to);
    std::int64_t rows = 0;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        KeptReading reading;
        RecordRow& row = reading.row;
        row.Time = sqlite3_column_double(select.get(), 0);
        row.Temperature = static_cast<float>(sqlite3_column_double(select.get(), 1));
        row.Humidity = static_cast<std::int32_t>(sqlite3_column_int64(select.get(), 2));
        row.Dewpoint = static_cast<float>(sqlite3_column_double(select.get(), 3));
        row.Heatindex = static_cast<float>(sqlite3_column_double(select.get(), 4));
        reading.fahrenheit = sqlite3_column_int(select.get(), 5) != 0;
        onReading(reading);
        ++rows;
    }
    if (step != SQLITE_DONE)
        fail();
    return rows;
}

namespace {

// The view of each kind's readings in the kept unit.
const char* KindView(bool indoor)
{
    return indoor ? "IndoorRecords" : "Records";
}

} // namespace

std::optional<std::pair<double, double>> Archive::Span(bool indoor)
{
    const std::string view = std::string("history.") + KindView(indoor);
    // One min or max a query: each is then one step along the index.
    Statement span = prepare(
        ("SELECT (SELECT min(Time) FROM " + view + "), (SELECT max(Time) FROM " + view + ")")
            .c_str());
    if (sqlite3_step(span.get()) != SQLITE_ROW)
        fail();
    if (sqlite3_column_type(span.get(), 0) == SQLITE_NULL)
        return std::nullopt;
    return std::pair(sqlite3_column_double(span.get(), 0), sqlite3_column_double(span.get(), 1));
}

std::string Archive::ReadSeries(bool indoor, std::span<const std::string_view> columns, double from,
                                double to, SeriesSink& earlier, SeriesSink& later)
{
    return ReadSeriesPoints(sqlite3_db_filename(m_db.get(), ArchiveSchema), KindView(indoor),
                            columns, from, to, earlier, later);
}

std::optional<bool> Archive::LatestUnitIsFahrenheit()
{
    Statement latest = prepare("SELECT Fahrenheit FROM history.KeptUnit");
    if (sqlite3_step(latest.get()) != SQLITE_ROW)
        fail();
    if (sqlite3_column_type(latest.get(), 0) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int(latest.get(), 0) != 0;
}

ForgetResult Archive::Forget(const std::string& stationFile)
{
    execute("BEGIN IMMEDIATE");
    Transaction transaction(m_db.get());
    ForgetResult result;
    Statement readings = prepare("DELETE FROM history.Readings WHERE File IN "
                                 "(SELECT Id FROM history.Files WHERE Name = ?1)");
    sqlite3_bind_text(readings.get(), 1, stationFile.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(readings.get()) != SQLITE_DONE)
        fail();
    result.readings = sqlite3_changes64(m_db.get());
    Statement files = prepare("DELETE FROM history.Files WHERE Name = ?1");
    sqlite3_bind_text(files.get(), 1, stationFile.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(files.get()) != SQLITE_DONE)
        fail();
    result.files = sqlite3_changes64(m_db.get());
    execute("COMMIT");
    transaction.committed();
    return result;
}

RememberedDateOrders Archive::BeginRewrite()
{
    execute("BEGIN IMMEDIATE");
    Transaction transaction(m_db.get());
    RememberedDateOrders orders;
    Statement remembered = prepare("SELECT Name, Indoor, DateOrder FROM history.Files "
                                   "WHERE DateOrder IS NOT NULL ORDER BY Id");
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(remembered.get())) == SQLITE_ROW) {
        const auto text = [&](int column) {
            return std::string(
                reinterpret_cast<const char*>(sqlite3_column_text(remembered.get(), column)));
        };
        orders[{text(0), sqlite3_column_int(remembered.get(), 1) != 0}] = text(2);
    }
    if (step != SQLITE_DONE)
        fail();
    remembered.reset();
    execute("DELETE FROM history.Readings; DELETE FROM history.Files;");
    transaction.committed(); // Commit() ends it, or the connection's close rolls it back
    return orders;
}

void Archive::Commit()
{
    execute("COMMIT");
}

} // namespace nimbra
