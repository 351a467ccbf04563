#include "seriesreader.h"

#include "novalue.h"
#include "sqlitehandles.h"

#include <optional>
#include <thread>
#include <utility>

namespace nimbra {

namespace {

std::string ErrorText(sqlite3* db)
{
    return ComErrorText(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

// The first and last time inside the range, each one step down the time index; nullopt
// when the range holds no row or the query failed (error then says why).
std::optional<std::pair<double, double>> TimeSpan(sqlite3* db, double from, double to,
                                                  std::string& error)
{
    constexpr auto Span = "SELECT (SELECT min(Time) FROM Records WHERE Time>?1 AND Time<=?2), "
                          "(SELECT max(Time) FROM Records WHERE Time>?1 AND Time<=?2)";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, Span, -1, &raw, nullptr) != SQLITE_OK) {
        error = ErrorText(db);
        return std::nullopt;
    }
    const Statement query(raw);
    sqlite3_bind_double(raw, 1, from);
    sqlite3_bind_double(raw, 2, to);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        error = ErrorText(db);
        return std::nullopt;
    }
    if (sqlite3_column_type(raw, 0) == SQLITE_NULL)
        return std::nullopt;
    return std::pair(sqlite3_column_double(raw, 0), sqlite3_column_double(raw, 1));
}

// One part of the range. A value is left out where SQL's "column<>65535" is not true: a NULL,
// or a number equal to 65535. Text and blobs never equal a number, and read as a selection
// reads them.
std::string ReadPart(sqlite3* db, const std::string& statement, double from, double to,
                     std::vector<SeriesPoints>& series)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, statement.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return ErrorText(db);
    const Statement query(raw);
    sqlite3_bind_double(raw, 1, from);
    sqlite3_bind_double(raw, 2, to);
    const int count = static_cast<int>(series.size());
    int result = SQLITE_OK;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
        const double time = sqlite3_column_double(raw, 0);
        for (int i = 0; i < count; ++i) {
            const int type = sqlite3_column_type(raw, i + 1);
            const double value = sqlite3_column_double(raw, i + 1);
            const bool numeric = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
            if (type == SQLITE_NULL || (numeric && value == NoValue))
                continue;
            series[i].times.push_back(time);
            series[i].values.push_back(static_cast<float>(value));
        }
    }
    return result == SQLITE_DONE ? std::string() : ErrorText(db);
}

// The later half on a connection of its own; the thread is joined before its results are read.
class LaterHalf
{
public:
    LaterHalf(sqlite3* db, const std::string& statement, double from, double to,
              std::size_t columns)
        : m_series(columns)
    {
        sqlite3* raw = nullptr;
        const int opened = sqlite3_open_v2(sqlite3_db_filename(db, "main"), &raw,
                                           SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        m_db.reset(raw);
        if (opened != SQLITE_OK) {
            m_error = raw ? ErrorText(raw) : ComErrorText(opened, sqlite3_errstr(opened));
            return;
        }
        sqlite3_busy_timeout(raw, RecordStore::BusyTimeoutMs);
        m_thread = std::thread([this, statement, from, to] {
            m_error = ReadPart(m_db.get(), statement, from, to, m_series);
        });
    }
    ~LaterHalf()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    // Waits for the thread; empty when its half was read.
    std::string finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_error;
    }
    std::vector<SeriesPoints>& series() { return m_series; }

private:
    Database m_db;
    // Written by the thread, read after it was joined.
    std::vector<SeriesPoints> m_series;
    std::string m_error;
    std::thread m_thread; // last, so it starts after everything it uses
};

} // namespace

std::string ReadSeriesPoints(sqlite3* db, std::span<const std::string_view> columns, double from,
                             double to, std::vector<SeriesPoints>& series)
{
    std::string statement = "SELECT Time";
    for (std::string_view column : columns) {
        statement += ", ";
        statement += column;
    }
    statement += " FROM Records WHERE Time>?1 AND Time<=?2 ORDER BY Time ASC";
    series.assign(columns.size(), {});
    std::string error;
    const auto span = TimeSpan(db, from, to, error);
    if (!span)
        return error;
    // Rows of equal time fall in the same half, so the halves one after the other are the
    // whole range in the order of one query.
    const double middle = span->first + (span->second - span->first) / 2;
    LaterHalf later(db, statement, middle, to, columns.size());
    error = ReadPart(db, statement, from, middle, series);
    const std::string laterError = later.finish();
    if (error.empty())
        error = laterError;
    if (!error.empty()) {
        series.assign(columns.size(), {});
        return error;
    }
    for (std::size_t i = 0; i < series.size(); ++i) {
        SeriesPoints& part = later.series()[i];
        series[i].times.insert(series[i].times.end(), part.times.begin(), part.times.end());
        series[i].values.insert(series[i].values.end(), part.values.begin(), part.values.end());
        part = {};
    }
    return {};
}

} // namespace nimbra
