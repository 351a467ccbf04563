#include "sqlitelimit.h"

#include "oledate.h"
#include "sqlitehandles.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace nimbra::bench {

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Database Connect(const std::filesystem::path& database)
{
    sqlite3* raw = nullptr;
    sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    return Database(raw);
}

// Says what SQLite refused; always false, for use in a condition.
bool Refused(sqlite3* db, const char* doing)
{
    std::fprintf(stderr, "SQLite's limit: %s: %s\n", doing, db ? sqlite3_errmsg(db) : "no memory");
    return false;
}

bool Exec(sqlite3* db, const std::string& sql)
{
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ||
           Refused(db, sql.c_str());
}

// The CREATE statements of the indexes of Records, after dropping them.
bool DropIndexes(sqlite3* db, std::vector<std::string>& creates)
{
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT name, sql FROM sqlite_schema WHERE type='index' AND "
                       "tbl_name='Records' AND sql IS NOT NULL",
                       -1, &raw, nullptr);
    const Statement query(raw);
    std::vector<std::string> names;
    while (raw && sqlite3_step(raw) == SQLITE_ROW) {
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)));
        creates.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)));
    }
    for (const std::string& name : names) {
        if (!Exec(db, "DROP INDEX \"" + name + "\""))
            return false;
    }
    return true;
}

// Binds the five values of row from parameter first on and runs the statement.
bool Insert(sqlite3_stmt* statement, int first, const RecordRow& row)
{
    sqlite3_bind_double(statement, first, row.Time);
    sqlite3_bind_double(statement, first + 1, row.Temperature);
    sqlite3_bind_int(statement, first + 2, row.Humidity);
    sqlite3_bind_double(statement, first + 3, row.Dewpoint);
    sqlite3_bind_double(statement, first + 4, row.Heatindex);
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    return done;
}

bool InsertRows(sqlite3* db, long rows, bool history)
{
    sqlite3_stmt* kept = nullptr;
    if (history &&
        (!Exec(db,
               "INSERT INTO history.Files (Id, Name, FirstLine, Indoor) VALUES (1, 'b', 1, 0)") ||
         sqlite3_prepare_v2(db,
                            "INSERT INTO history.Readings VALUES (1, ?1, 0, ?2, ?3, ?4, ?5, ?6, 0)",
                            -1, &kept, nullptr) != SQLITE_OK))
        return Refused(db, "prepare");
    const Statement keep(kept);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO Records (Time, Temperature, Humidity, Dewpoint, "
                           "Heatindex) VALUES (?1, ?2, ?3, ?4, ?5)",
                           -1, &raw, nullptr) != SQLITE_OK)
        return Refused(db, "prepare");
    const Statement insert(raw);
    for (long i = 0; i < rows; ++i) {
        const RecordRow row = BenchRow(i);
        if (!Insert(raw, 1, row))
            return Refused(db, "insert");
        if (!kept)
            continue;
        sqlite3_bind_int64(kept, 1, i + 2);
        if (!Insert(kept, 2, row))
            return Refused(db, "insert into the history");
    }
    return true;
}

} // namespace

double ProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

RecordRow BenchRow(long index)
{
    static const double first = ToOleDate({2017, 1, 1});
    const int tenths = 150 + static_cast<int>(index * 7919 % 200);
    const auto decimal = [](int whole, int tenth) { return float(whole + tenth / 10.0); };
    return {first + index * 5.0 / 1440.0, decimal(tenths / 10, tenths % 10),
            40 + static_cast<int>(index % 50), decimal(tenths / 20, tenths % 10),
            decimal(tenths / 10, (tenths + 3) % 10)};
}

double SqliteBulkInsertSeconds(const std::filesystem::path& templateDb,
                               const std::filesystem::path& database, long rows,
                               const std::filesystem::path& history)
{
    std::error_code error;
    std::filesystem::remove(database, error);
    if (!std::filesystem::copy_file(templateDb, database, error)) {
        std::fprintf(stderr, "SQLite's limit: cannot copy %s\n", templateDb.c_str());
        return -1.0;
    }
    std::filesystem::permissions(database, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    const Database db = Connect(database);
    if (!history.empty() &&
        !Exec(db.get(), "ATTACH DATABASE '" + history.string() + "' AS history"))
        return -1.0;
    const auto started = Clock::now();
    std::vector<std::string> creates;
    if (!Exec(db.get(), "BEGIN IMMEDIATE") || !DropIndexes(db.get(), creates) ||
        !InsertRows(db.get(), rows, !history.empty()))
        return -1.0;
    for (const std::string& create : creates) {
        if (!Exec(db.get(), create))
            return -1.0;
    }
    return Exec(db.get(), "COMMIT") ? Since(started) : -1.0;
}

double SqliteTimeOrderedScanSeconds(const std::filesystem::path& database)
{
    const Database db = Connect(database);
    const auto started = Clock::now();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(),
                           "SELECT Time, Temperature, Dewpoint, Heatindex FROM Records "
                           "WHERE Time>-1e9 AND Time<=1e9 ORDER BY Time",
                           -1, &raw, nullptr) != SQLITE_OK) {
        Refused(db.get(), "prepare");
        return -1.0;
    }
    const Statement query(raw);
    double sum = 0.0;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        for (int column = 0; column < 4; ++column)
            sum += sqlite3_column_double(raw, column);
    }
    const double seconds = Since(started);
    // The sum keeps the reads from being optimised away.
    return sum != 0.0 ? seconds : -1.0;
}

double SqliteOpenSeconds(const std::filesystem::path& database)
{
    const auto started = Clock::now();
    const Database db = Connect(database);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(
            db.get(), "SELECT (SELECT min(Time) FROM Records), (SELECT max(Time) FROM Records)", -1,
            &raw, nullptr) != SQLITE_OK) {
        Refused(db.get(), "prepare");
        return -1.0;
    }
    const Statement query(raw);
    return sqlite3_step(raw) == SQLITE_ROW ? Since(started) : -1.0;
}

void PrintBesideLimit(const char* what, double oursSeconds, double limitSeconds, const char* whose)
{
    std::printf("%s: %.3f s; %s limit %.3f s; ours / limit %.3f\n", what, oursSeconds, whose,
                limitSeconds, limitSeconds > 0.0 ? oursSeconds / limitSeconds : 0.0);
    std::fflush(stdout);
}

} // namespace nimbra::bench
