#include "recordstore.h"

#include "messageservice.h"
#include "oledate.h"
#include "seriesreader.h"

#include <algorithm>
#include <array>

namespace nimbra {

namespace {

// Column 0 is Time; 1..4 are the value columns a range may be asked for.
constexpr std::array<std::string_view, 5> Columns = {"Time", "Temperature", "Humidity", "Dewpoint",
                                                     "Heatindex"};

// One fixed text per value column: a column name is chosen, never spliced into SQL.
constexpr const char* CountStatements[] = {
    "SELECT count(*) FROM Records WHERE Time>?1 AND Time<=?2 AND Temperature<>65535",
    "SELECT count(*) FROM Records WHERE Time>?1 AND Time<=?2 AND Humidity<>65535",
    "SELECT count(*) FROM Records WHERE Time>?1 AND Time<=?2 AND Dewpoint<>65535",
    "SELECT count(*) FROM Records WHERE Time>?1 AND Time<=?2 AND Heatindex<>65535",
};
constexpr const char* SelectStatements[] = {
    "SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Records "
    "WHERE Time>?1 AND Time<=?2 AND Temperature<>65535 ORDER BY Time ASC",
    "SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Records "
    "WHERE Time>?1 AND Time<=?2 AND Humidity<>65535 ORDER BY Time ASC",
    "SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Records "
    "WHERE Time>?1 AND Time<=?2 AND Dewpoint<>65535 ORDER BY Time ASC",
    "SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Records "
    "WHERE Time>?1 AND Time<=?2 AND Heatindex<>65535 ORDER BY Time ASC",
};
constexpr auto StoredOrderStatement =
    "SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Records "
    "WHERE Time>=?1 AND Time<=?2 ORDER BY rowid";
// Each bound on its own, so that each is one step down the index rather than a walk over it.
constexpr auto ValidTimeSpanStatement = "SELECT (SELECT min(Time) FROM Records WHERE Time>0), "
                                        "(SELECT max(Time) FROM Records WHERE Time>0)";
constexpr auto DeferredIndexesStatement =
    "SELECT name, sql FROM sqlite_schema WHERE type='index' AND tbl_name='Records' "
    "AND sql IS NOT NULL";
constexpr auto InsertStatement = "INSERT INTO Records (Time, Temperature, Humidity, Dewpoint, "
                                 "Heatindex) VALUES (?1, ?2, ?3, ?4, ?5)";

// ASCII case folding, as SQLite compares column names; no locale is asked, because a reader
// names its column once per row.
char Fold(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return Fold(x) == Fold(y); });
}

int FindColumn(std::string_view column)
{
    const auto found = std::find_if(Columns.begin(), Columns.end(),
                                    [&](std::string_view name) { return SameName(name, column); });
    return found == Columns.end() ? -1 : static_cast<int>(found - Columns.begin());
}

} // namespace

std::string ComErrorText(int code, std::string_view message)
{
    return std::string(message) + " (SQLite error " + std::to_string(code) + ")";
}

RecordStore::RecordStore(MessageService& messages) : m_messages(messages) {}

// The cursor is finalised before the connection closes; closing rolls back an open
// replacement, so an abandoned import leaves the previous rows.
RecordStore::~RecordStore()
{
    m_cursor.reset();
    m_db.reset();
}

int RecordStore::report(int result, const std::string& text)
{
    m_messages.inform(QString::fromStdString(text));
    return result;
}

std::string RecordStore::lastError() const
{
    if (!m_db)
        return ComErrorText(SQLITE_MISUSE, "the database is not open");
    return ComErrorText(sqlite3_extended_errcode(m_db.get()), sqlite3_errmsg(m_db.get()));
}

int RecordStore::Open(const std::filesystem::path& database)
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
    m_replacing = false;
    m_droppedIndexes.clear();
    m_db.reset();
    sqlite3* raw = nullptr;
    const std::u8string name = database.u8string(); // SQLite takes UTF-8 on every platform
    const int result = sqlite3_open_v2(reinterpret_cast<const char*>(name.c_str()), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    // sqlite3_open_v2 hands out a connection even on failure, to carry the message.
    Database db(raw);
    if (result != SQLITE_OK) {
        const std::string text =
            raw ? ComErrorText(sqlite3_extended_errcode(raw), sqlite3_errmsg(raw))
                : ComErrorText(result, sqlite3_errstr(result));
        return report(-1, text + ": " + std::string(name.begin(), name.end()));
    }
    sqlite3_busy_timeout(db.get(), BusyTimeoutMs);
    // A write killed halfway leaves a journal that only a connection allowed to write can roll
    // back, on its first read; the series reader's read-only connections would fail on it. A
    // failure here shows with the read that meets it.
    sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    m_db = std::move(db);
    return 0;
}

int RecordStore::ClearAll()
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    if (!connected())
        return report(1, lastError());
    if (sqlite3_exec(m_db.get(), "DELETE FROM Records", nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(m_db.get(), "DELETE FROM Param", nullptr, nullptr, nullptr) != SQLITE_OK)
        return report(1, lastError());
    return 0;
}

int RecordStore::BeginReplace()
{
    if (!connected())
        return report(1, lastError());
    // IMMEDIATE takes the write lock now, so a store that refuses writes says so before the
    // first row rather than at the commit.
    if (sqlite3_exec(m_db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return report(1, lastError());
    m_replacing = true;
    if (!deferIndexes()) {
        const std::string text = lastError();
        RollbackReplace();
        return report(1, text);
    }
    return 0;
}

// Rows appended to a table without indexes cost a fraction of rows that also update an index
// at every step, and an index built from all rows at once is sorted in one go. The index
// statements are kept as the file has them, so a store made by an older template keeps its own.
bool RecordStore::deferIndexes()
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), DeferredIndexesStatement, -1, &raw, nullptr) != SQLITE_OK)
        return false;
    const Statement query(raw);
    std::vector<std::string> names;
    int result = SQLITE_OK;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)));
        m_droppedIndexes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)));
    }
    if (result != SQLITE_DONE)
        return false;
    for (const std::string& name : names) {
        const std::unique_ptr<char, decltype(&sqlite3_free)> drop(
            sqlite3_mprintf("DROP INDEX \"%w\"", name.c_str()), &sqlite3_free);
        if (!drop || sqlite3_exec(m_db.get(), drop.get(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

bool RecordStore::rebuildIndexes()
{
    for (const std::string& create : m_droppedIndexes) {
        if (sqlite3_exec(m_db.get(), create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    m_droppedIndexes.clear();
    return true;
}

int RecordStore::CommitReplace()
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    if (!connected() || !m_replacing)
        return report(1, ComErrorText(SQLITE_MISUSE, "no replacement is running"));
    if (!rebuildIndexes() ||
        sqlite3_exec(m_db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string text = lastError();
        RollbackReplace();
        return report(1, text);
    }
    m_replacing = false;
    return 0;
}

void RecordStore::RollbackReplace()
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    if (connected() && !sqlite3_get_autocommit(m_db.get()))
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_replacing = false;
    m_droppedIndexes.clear();
}

void RecordStore::Attach(const std::filesystem::path& file, const char* schema)
{
    if (!connected())
        throw StoreError(lastError());
    const std::u8string name = file.u8string();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), "ATTACH DATABASE ?1 AS ?2", -1, &raw, nullptr) != SQLITE_OK)
        throw StoreError(lastError());
    const Statement attach(raw);
    sqlite3_bind_text(raw, 1, reinterpret_cast<const char*>(name.c_str()), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 2, schema, -1, SQLITE_STATIC);
    if (sqlite3_step(raw) != SQLITE_DONE)
        throw StoreError(lastError());
}

void RecordStore::OpenForAppend()
{
    if (!connected())
        throw StoreError(lastError());
    if (m_cursorKind != Cursor::None)
        throw StoreError(ComErrorText(SQLITE_MISUSE, "the cursor is already open"));
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(m_db.get(), InsertStatement, -1, SQLITE_PREPARE_PERSISTENT, &raw,
                           nullptr) != SQLITE_OK)
        throw StoreError(lastError());
    m_cursor.reset(raw);
    m_cursorKind = Cursor::Append;
}

int RecordStore::AppendRow()
{
    if (m_cursorKind != Cursor::Append || CurrentRow == nullptr)
        return report(2, ComErrorText(SQLITE_MISUSE, "no row to append"));
    sqlite3_stmt* insert = m_cursor.get();
    sqlite3_bind_double(insert, 1, CurrentRow->Time);
    sqlite3_bind_double(insert, 2, CurrentRow->Temperature);
    sqlite3_bind_int(insert, 3, CurrentRow->Humidity);
    sqlite3_bind_double(insert, 4, CurrentRow->Dewpoint);
    sqlite3_bind_double(insert, 5, CurrentRow->Heatindex);
    const int result = sqlite3_step(insert);
    sqlite3_reset(insert);
    if (result != SQLITE_DONE)
        return report(2, lastError());
    return 0;
}

void RecordStore::CloseCursor()
{
    if (m_cursorKind == Cursor::None)
        throw StoreError(ComErrorText(SQLITE_MISUSE, "the cursor is not open"));
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
}

int RecordStore::openRange(const char* const statements[], const std::string& start,
                           const std::string& end, std::string_view column)
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
    const int index = FindColumn(column);
    if (index < 1)
        return report(1,
                      ComErrorText(SQLITE_ERROR, "no such value column: " + std::string(column)));
    const auto from = ParseRangeTime(start);
    const auto to = ParseRangeTime(end);
    if (!from || !to)
        return report(1,
                      ComErrorText(SQLITE_ERROR, "not a date and time: " + (from ? end : start)));
    return openCursor(statements[index - 1], *from, *to);
}

int RecordStore::openCursor(const char* statement, double from, double to)
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
    if (!connected())
        return report(1, lastError());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), statement, -1, &raw, nullptr) != SQLITE_OK)
        return report(1, lastError());
    m_cursor.reset(raw);
    sqlite3_bind_double(raw, 1, from);
    sqlite3_bind_double(raw, 2, to);
    const int result = sqlite3_step(raw);
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        const std::string text = lastError();
        m_cursor.reset();
        return report(1, text);
    }
    m_hasRow = result == SQLITE_ROW;
    return 0;
}

int RecordStore::CountRange(const std::string& start, const std::string& end,
                            std::string_view column)
{
    const int result = openRange(CountStatements, start, end, column);
    if (result != 0)
        return result;
    // A statement standing on its row holds a read lock until it is let go, and while it is
    // held no other connection can commit an import: the count is taken now and the statement
    // finalised.
    m_count = m_hasRow ? sqlite3_column_int(m_cursor.get(), 0) : 0;
    m_cursor.reset();
    m_cursorKind = Cursor::Count;
    return 0;
}

int RecordStore::ReadCount()
{
    if (m_cursorKind != Cursor::Count || !m_hasRow)
        throw StoreError(ComErrorText(SQLITE_MISUSE, "no count to read"));
    return m_count;
}

int RecordStore::SelectRange(const std::string& start, const std::string& end,
                             std::string_view column)
{
    const int result = openRange(SelectStatements, start, end, column);
    if (result == 0)
        m_cursorKind = Cursor::Select;
    return result;
}

int RecordStore::SelectStored(double from, double to)
{
    const int result = openCursor(StoredOrderStatement, from, to);
    if (result == 0)
        m_cursorKind = Cursor::Select;
    return result;
}

int RecordStore::ReadSeries(const std::string& start, const std::string& end,
                            std::span<const std::string_view> columns, SeriesSink& earlier,
                            SeriesSink& later)
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
    // Emptied here for the refusals before the pass; the pass empties them if it fails.
    earlier.clear();
    later.clear();
    return readSeries(start, end, columns, earlier, later) ? 0 : 1;
}

bool RecordStore::readSeries(const std::string& start, const std::string& end,
                             std::span<const std::string_view> columns, SeriesSink& earlier,
                             SeriesSink& later)
{
    std::vector<std::string_view> names;
    for (std::string_view column : columns) {
        const int index = FindColumn(column);
        if (index < 1) {
            report(1, ComErrorText(SQLITE_ERROR, "no such value column: " + std::string(column)));
            return false;
        }
        names.push_back(Columns[index]);
    }
    const auto from = ParseRangeTime(start);
    const auto to = ParseRangeTime(end);
    if (!from || !to) {
        report(1, ComErrorText(SQLITE_ERROR, "not a date and time: " + (from ? end : start)));
        return false;
    }
    if (!connected()) {
        report(1, lastError());
        return false;
    }
    const std::string failure = ReadSeriesPoints(sqlite3_db_filename(m_db.get(), "main"), "Records",
                                                 names, *from, *to, earlier, later);
    if (!failure.empty()) {
        report(1, failure);
        return false;
    }
    return true;
}

bool RecordStore::AtEnd()
{
    if (m_cursorKind != Cursor::Select)
        throw StoreError(ComErrorText(SQLITE_MISUSE, "no selection is open"));
    return !m_hasRow;
}

void RecordStore::requireRow() const
{
    if (m_cursorKind != Cursor::Select || !m_hasRow)
        throw StoreError(ComErrorText(SQLITE_MISUSE, "the cursor stands on no row"));
}

double RecordStore::ReadDate(std::string_view column)
{
    requireRow();
    const int index = FindColumn(column);
    if (index < 0)
        throw StoreError(ComErrorText(SQLITE_ERROR, "no such column: " + std::string(column)));
    return sqlite3_column_double(m_cursor.get(), index);
}

float RecordStore::ReadFloat(std::string_view column)
{
    return static_cast<float>(ReadDate(column));
}

void RecordStore::step()
{
    const int result = sqlite3_step(m_cursor.get());
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        m_hasRow = false;
        throw StoreError(lastError());
    }
    m_hasRow = result == SQLITE_ROW;
}

void RecordStore::MoveNext()
{
    requireRow();
    step();
}

std::optional<std::pair<double, double>> RecordStore::ValidTimeSpan()
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
    if (!connected()) {
        report(1, lastError());
        return std::nullopt;
    }
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), ValidTimeSpanStatement, -1, &raw, nullptr) != SQLITE_OK) {
        report(1, lastError());
        return std::nullopt;
    }
    const Statement query(raw);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        report(1, lastError());
        return std::nullopt;
    }
    if (sqlite3_column_type(raw, 0) == SQLITE_NULL)
        return std::nullopt;
    return std::pair(sqlite3_column_double(raw, 0), sqlite3_column_double(raw, 1));
}

} // namespace nimbra

namespace nimbra {

std::optional<std::pair<std::int64_t, std::int64_t>> RecordStore::StoredRowids()
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
    sqlite3_stmt* raw = nullptr;
    // Each bound on its own is one step down the table; both in one select walk every row.
    if (!connected() || sqlite3_prepare_v2(m_db.get(),
                                           "SELECT (SELECT min(rowid) FROM Records), "
                                           "(SELECT max(rowid) FROM Records)",
                                           -1, &raw, nullptr) != SQLITE_OK)
        return std::nullopt;
    const Statement query(raw);
    if (sqlite3_step(raw) != SQLITE_ROW || sqlite3_column_type(raw, 0) == SQLITE_NULL)
        return std::nullopt;
    return std::pair(sqlite3_column_int64(raw, 0), sqlite3_column_int64(raw, 1));
}

int RecordStore::ReadStoredRows(std::int64_t first, std::size_t count, std::vector<RecordRow>& rows)
{
    m_cursor.reset();
    m_cursorKind = Cursor::None;
    m_hasRow = false;
    rows.clear();
    sqlite3_stmt* raw = nullptr;
    if (!connected() ||
        sqlite3_prepare_v2(m_db.get(),
                           "SELECT Time, Temperature, Humidity, Dewpoint, Heatindex FROM Records "
                           "WHERE rowid>=?1 ORDER BY rowid LIMIT ?2",
                           -1, &raw, nullptr) != SQLITE_OK)
        return 1;
    // Finalised on return: a statement left open would hold a read lock that keeps the next
    // import from committing.
    const Statement query(raw);
    sqlite3_bind_int64(raw, 1, first);
    sqlite3_bind_int64(raw, 2, static_cast<sqlite3_int64>(count));
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW)
        rows.push_back(
            {sqlite3_column_double(raw, 0), static_cast<float>(sqlite3_column_double(raw, 1)),
             sqlite3_column_int(raw, 2), static_cast<float>(sqlite3_column_double(raw, 3)),
             static_cast<float>(sqlite3_column_double(raw, 4))});
    if (result != SQLITE_DONE) {
        rows.clear();
        return 1;
    }
    return 0;
}

} // namespace nimbra
