#include "archive.h"

#include "messageservice.h"

#include <QString>
#include <algorithm>

namespace nimbra {

namespace {

// An import may still hold the store, or a second program the archive, for a moment.
constexpr int BusyTimeoutMs = 10000;

// The key is the reading's kind and time, so importing a file twice or two files that overlap
// keeps each reading once. WITHOUT ROWID: the rows live in the key's order, so a time range is
// one walk along the table and the first and last time are one step each.
constexpr auto Schema = R"sql(
CREATE TABLE IF NOT EXISTS Files (
    Id INTEGER PRIMARY KEY,
    Name TEXT NOT NULL UNIQUE,
    UnitLabel TEXT NOT NULL DEFAULT '',
    Rows INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS Readings (
    Indoor INTEGER NOT NULL,
    Time REAL NOT NULL,
    Temperature REAL,
    Humidity INTEGER,
    Dewpoint REAL,
    Heatindex REAL,
    File INTEGER NOT NULL REFERENCES Files (Id),
    PRIMARY KEY (Indoor, Time)
) WITHOUT ROWID;
CREATE VIEW IF NOT EXISTS Records AS
    SELECT Time, Temperature, Humidity, Dewpoint, Heatindex, Time AS rowid
    FROM Readings WHERE Indoor = 0;
)sql";

// Ends a transaction that was not committed, and lets go of the attached store, whatever
// path the merge leaves by.
class MergeScope
{
public:
    explicit MergeScope(sqlite3* db) : m_db(db) {}
    ~MergeScope()
    {
        if (!m_committed)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "DETACH DATABASE import", nullptr, nullptr, nullptr);
    }
    MergeScope(const MergeScope&) = delete;
    MergeScope& operator=(const MergeScope&) = delete;
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

Archive::Archive(const std::filesystem::path& file)
{
    sqlite3* raw = nullptr;
    const int result =
        sqlite3_open_v2(Utf8(file).c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db.reset(raw);
    if (result != SQLITE_OK) {
        if (!raw)
            throw StoreError(ComErrorText(result, sqlite3_errstr(result)));
        fail();
    }
    sqlite3_busy_timeout(m_db.get(), BusyTimeoutMs);
    // Even "IF NOT EXISTS" writes (and syncs) the file: a reader of an existing archive would
    // pay for it every time.
    Statement known = prepare("SELECT count(*) FROM sqlite_schema WHERE name = 'Records'");
    if (sqlite3_step(known.get()) != SQLITE_ROW)
        fail();
    if (sqlite3_column_int(known.get(), 0) == 0)
        execute(Schema);
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

std::int64_t Archive::Merge(const std::filesystem::path& database, const std::string& stationFile,
                            bool indoor, const std::string& unitLabel)
{
    {
        Statement attach = prepare("ATTACH DATABASE ?1 AS import");
        const std::string name = Utf8(database);
        sqlite3_bind_text(attach.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(attach.get()) != SQLITE_DONE)
            fail();
    }
    MergeScope scope(m_db.get());
    execute("BEGIN IMMEDIATE");

    Statement file = prepare("INSERT INTO Files (Name, UnitLabel) VALUES (?1, ?2) "
                             "ON CONFLICT (Name) DO UPDATE SET UnitLabel = ?2 RETURNING Id");
    sqlite3_bind_text(file.get(), 1, stationFile.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(file.get(), 2, unitLabel.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(file.get()) != SQLITE_ROW)
        fail();
    const std::int64_t fileId = sqlite3_column_int64(file.get(), 0);
    file.reset();

    // One statement from file to file: SQLite streams the rows, nothing is held here. A value
    // the store holds as NULL (a NaN) is no value; a humidity beyond the integer range is
    // clamped, as the export does, so that every reader can take it as an integer.
    Statement copy =
        prepare("INSERT OR IGNORE INTO Readings SELECT ?1, Time, coalesce(Temperature, 65535), "
                "coalesce(max(min(Humidity, 2147483647), -2147483648), 65535), "
                "coalesce(Dewpoint, 65535), coalesce(Heatindex, 65535), ?2 FROM import.Records "
                "WHERE Time > 0");
    sqlite3_bind_int(copy.get(), 1, indoor ? 1 : 0);
    sqlite3_bind_int64(copy.get(), 2, fileId);
    if (sqlite3_step(copy.get()) != SQLITE_DONE)
        fail();
    const std::int64_t added = sqlite3_changes64(m_db.get());
    copy.reset();

    Statement count = prepare("UPDATE Files SET Rows = Rows + ?1 WHERE Id = ?2");
    sqlite3_bind_int64(count.get(), 1, added);
    sqlite3_bind_int64(count.get(), 2, fileId);
    if (sqlite3_step(count.get()) != SQLITE_DONE)
        fail();
    count.reset();

    execute("COMMIT");
    scope.committed();
    return added;
}

ArchiveStats Archive::Stats()
{
    ArchiveStats stats;
    // The row count is kept per file by the merges: counting ten million rows would take
    // seconds, their sum over the files takes nothing.
    Statement totals = prepare("SELECT coalesce(sum(Rows), 0), count(*) FROM Files");
    if (sqlite3_step(totals.get()) != SQLITE_ROW)
        fail();
    stats.rows = sqlite3_column_int64(totals.get(), 0);
    stats.files = sqlite3_column_int64(totals.get(), 1);
    // One min or max a query and per kind: only then is each one step along the key (a query
    // that asks for both walks the whole table).
    Statement span = prepare("SELECT (SELECT min(Time) FROM Readings WHERE Indoor = 0), "
                             "(SELECT min(Time) FROM Readings WHERE Indoor = 1), "
                             "(SELECT max(Time) FROM Readings WHERE Indoor = 0), "
                             "(SELECT max(Time) FROM Readings WHERE Indoor = 1)");
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
                              const std::function<void(const RecordRow&)>& onRow)
{
    Statement select =
        prepare("SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Readings "
                "WHERE Indoor = ?1 AND Time >= ?2 AND Time <= ?3 ORDER BY Time");
    sqlite3_bind_int(select.get(), 1, indoor ? 1 : 0);
    sqlite3_bind_double(select.get(), 2, from);
    sqlite3_bind_double(select.get(), 3, to);
    std::int64_t rows = 0;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        RecordRow row;
        row.Time = sqlite3_column_double(select.get(), 0);
        row.Temperature = static_cast<float>(sqlite3_column_double(select.get(), 1));
        row.Humidity = static_cast<std::int32_t>(sqlite3_column_int64(select.get(), 2));
        row.Dewpoint = static_cast<float>(sqlite3_column_double(select.get(), 3));
        row.Heatindex = static_cast<float>(sqlite3_column_double(select.get(), 4));
        onRow(row);
        ++rows;
    }
    if (step != SQLITE_DONE)
        fail();
    return rows;
}

std::optional<std::int64_t> ArchiveImport(const std::filesystem::path& database,
                                          const std::string& stationFile, bool indoor,
                                          const std::string& unitLabel, MessageService& messages)
{
    try {
        return Archive(ArchivePathBeside(database)).Merge(database, stationFile, indoor, unitLabel);
    } catch (const StoreError& error) {
        messages.inform(QStringLiteral("The history could not keep %1: %2")
                            .arg(QString::fromLatin1(stationFile.c_str()),
                                 QString::fromStdString(error.what())));
        return std::nullopt;
    }
}

} // namespace nimbra
