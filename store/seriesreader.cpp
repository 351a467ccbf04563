#include "seriesreader.h"

#include "novalue.h"
#include "sqlitehandles.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <new>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>

namespace nimbra {

namespace {

std::string ErrorText(sqlite3* db)
{
    return ComErrorText(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

// Where a part lies: times after `after` up to `upTo`; in a pass along the table, the rowid
// that divides it. A part's statement takes them as ?1, ?2 and ?3.
struct Bounds
{
    double after = 0.0;
    double upTo = 0.0;
    std::int64_t rowid = 0;
};

// How a pass reads. A stepped pass returns the rows ordered by Time, one sqlite3_step each.
// A collecting pass runs an aggregate that hands every row straight to the sink, about a
// third cheaper, in whatever order the engine visits them; it counts only while the times
// it meets rise strictly, because only then is that order the one of any ORDER BY Time.
enum class Pass
{
    Stepped,
    Collecting
};

struct Plan
{
    std::array<std::string, 2> statements; // of each part
    Pass pass = Pass::Stepped;
    std::array<Bounds, 2> parts;
    std::array<std::size_t, 2> reserve{}; // points a series of each part may hold
};

constexpr auto Collect = "nimbra_collect_points";

// The span of the range and of the table: the rows with the first and last time in the
// range, and the first and last rowid of the table. nullopt when the range holds no row or
// the query failed (error then says why). Each is one step down an index or the table.
struct Survey
{
    std::int64_t firstRow = 0;
    double firstTime = 0.0;
    std::int64_t lastRow = 0;
    double lastTime = 0.0;
    std::int64_t minRow = 0;
    std::int64_t maxRow = 0;
};

std::optional<Survey> SurveyRange(sqlite3* db, std::string_view relation, double from, double to,
                                  std::string& error)
{
    const std::string table(relation);
    const std::string text =
        "SELECT f.rowid, f.Time, l.rowid, l.Time, (SELECT min(rowid) FROM " + table +
        "), (SELECT max(rowid) FROM " + table + ") FROM (SELECT rowid, Time FROM " + table +
        " WHERE Time>?1 AND Time<=?2 ORDER BY Time ASC LIMIT 1) AS f, (SELECT rowid, Time FROM " +
        table + " WHERE Time>?1 AND Time<=?2 ORDER BY Time DESC LIMIT 1) AS l";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        error = ErrorText(db);
        return std::nullopt;
    }
    const Statement query(raw);
    sqlite3_bind_double(raw, 1, from);
    sqlite3_bind_double(raw, 2, to);
    const int result = sqlite3_step(raw);
    if (result != SQLITE_ROW) {
        if (result != SQLITE_DONE)
            error = ErrorText(db);
        return std::nullopt;
    }
    return Survey{sqlite3_column_int64(raw, 0), sqlite3_column_double(raw, 1),
                  sqlite3_column_int64(raw, 2), sqlite3_column_double(raw, 3),
                  sqlite3_column_int64(raw, 4), sqlite3_column_int64(raw, 5)};
}

std::string Selection(std::string_view head, std::span<const std::string_view> columns,
                      std::string_view tail)
{
    std::string statement(head);
    for (std::string_view column : columns) {
        statement += ", ";
        statement += column;
    }
    statement += tail;
    return statement;
}

// The range in two halves of its time span; rows of equal time fall in the same half. Another
// program may store any REAL as a time: the midpoint is taken without a difference, which would
// overflow to infinity for times near both ends of the doubles.
Plan TimeHalves(const Survey& survey, double from, double to)
{
    const double middle = std::midpoint(survey.firstTime, survey.lastTime);
    Plan plan;
    plan.parts = {Bounds{from, middle}, Bounds{middle, to}};
    return plan;
}

// The distance between two rowids, which may lie anywhere in the 64-bit range.
std::uint64_t Distance(std::int64_t a, std::int64_t b)
{
    return a < b ? static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a)
                 : static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b);
}

// A range over most of the table is read along the table itself, in two halves of its rowids:
// for a table stored in time order that is the cheapest walk, and it saves a lookup a row.
// A smaller one goes down the time index. The guess only decides the speed: the collecting
// pass checks the order it meets. (The history's views have the time as their rowid: their
// halves are then halves of the days, just as exact.)
Plan CollectingPlan(const Survey& survey, std::string_view relation,
                    std::span<const std::string_view> columns, double from, double to)
{
    const std::string table = " FROM " + std::string(relation);
    const std::uint64_t rows = Distance(survey.minRow, survey.maxRow);
    const std::uint64_t covered = Distance(survey.firstRow, survey.lastRow);
    const std::string head = std::string("SELECT ") + Collect + "(Time";
    Plan plan;
    if (covered < rows / 2) {
        plan = TimeHalves(survey, from, to);
        const std::string statement =
            Selection(head, columns, ")" + table + " WHERE Time>?1 AND Time<=?2");
        plan.statements = {statement, statement};
    } else {
        const auto middle =
            static_cast<std::int64_t>(static_cast<std::uint64_t>(survey.minRow) + rows / 2);
        constexpr auto InRange = " AND Time>?1 AND Time<=?2";
        plan.statements = {
            Selection(head, columns, ")" + table + " NOT INDEXED WHERE rowid<=?3" + InRange),
            Selection(head, columns, ")" + table + " NOT INDEXED WHERE rowid>?3" + InRange)};
        plan.parts = {Bounds{from, to, middle}, Bounds{from, to, middle}};
    }
    plan.pass = Pass::Collecting;
    plan.reserve = {covered + 1, covered / 2 + 1};
    return plan;
}

Plan SteppedPlan(const Survey& survey, std::string_view relation,
                 std::span<const std::string_view> columns, double from, double to)
{
    Plan plan = TimeHalves(survey, from, to);
    const std::string statement =
        Selection("SELECT Time", columns,
                  " FROM " + std::string(relation) + " WHERE Time>?1 AND Time<=?2 ORDER BY Time");
    plan.statements = {statement, statement};
    return plan;
}

// One part of the range on a connection of its own, filling its own sink.
class Part
{
public:
    enum class Outcome
    {
        Read,
        Disordered, // a collecting pass met a time not above the one before
        Failed
    };

    Part(SeriesSink& sink, std::string_view relation, std::size_t columns)
        : m_sink(sink), m_relation(relation), m_columns(columns)
    {
    }

    // Empty when the connection is open.
    std::string open(const char* file)
    {
        sqlite3* raw = nullptr;
        const int opened =
            sqlite3_open_v2(file, &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        m_db.reset(raw);
        if (opened != SQLITE_OK)
            return raw ? ErrorText(raw) : ComErrorText(opened, sqlite3_errstr(opened));
        sqlite3_busy_timeout(raw, RecordStore::BusyTimeoutMs);
        if (sqlite3_create_function_v2(raw, Collect, static_cast<int>(m_columns) + 1,
                                       SQLITE_UTF8 | SQLITE_DIRECTONLY, this, nullptr, &collect,
                                       &finish, nullptr) != SQLITE_OK)
            return ErrorText(raw);
        return {};
    }

    void read(const Plan& plan, std::size_t index)
    {
        m_outcome = Outcome::Read;
        m_error.clear();
        m_any = false;
        try {
            m_sink.clear();
            m_sink.reserve(plan.reserve[index]);
            sqlite3_stmt* raw = nullptr;
            if (sqlite3_prepare_v2(m_db.get(), plan.statements[index].c_str(), -1, &raw, nullptr) !=
                SQLITE_OK) {
                fail(ErrorText(m_db.get()));
                return;
            }
            const Statement query(raw);
            bind(raw, plan.parts[index]);
            step(raw, plan.pass);
        } catch (const std::bad_alloc&) {
            fail(ComErrorText(SQLITE_NOMEM, sqlite3_errstr(SQLITE_NOMEM)));
        }
    }

    // Opens a read transaction and takes the store's read lock with it, waiting for a writer
    // about to commit only where `wait`. The transaction ends with the connection.
    int begin(bool wait)
    {
        sqlite3_busy_timeout(m_db.get(), wait ? RecordStore::BusyTimeoutMs : 0);
        const std::string take = "BEGIN; SELECT 1 FROM " + std::string(m_relation) + " LIMIT 1";
        const int result = sqlite3_exec(m_db.get(), take.c_str(), nullptr, nullptr, nullptr);
        if (result != SQLITE_OK && !sqlite3_get_autocommit(m_db.get()))
            sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(m_db.get(), RecordStore::BusyTimeoutMs);
        return result;
    }
    void rollback() { sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr); }
    sqlite3* connection() const { return m_db.get(); }

    Outcome outcome() const { return m_outcome; }
    const std::string& error() const { return m_error; }
    // The first and last time read; nullopt when the part held no row.
    std::optional<std::pair<double, double>> times() const
    {
        return m_any ? std::optional(std::pair(m_first, m_last)) : std::nullopt;
    }

private:
    static void bind(sqlite3_stmt* query, const Bounds& bounds)
    {
        sqlite3_bind_double(query, 1, bounds.after);
        sqlite3_bind_double(query, 2, bounds.upTo);
        if (sqlite3_bind_parameter_count(query) == 3)
            sqlite3_bind_int64(query, 3, bounds.rowid);
    }

    void step(sqlite3_stmt* query, Pass pass)
    {
        int result = SQLITE_OK;
        while ((result = sqlite3_step(query)) == SQLITE_ROW) {
            if (pass == Pass::Collecting)
                continue;
            noteTime(sqlite3_column_double(query, 0));
            for (std::size_t i = 0; i < m_columns; ++i) {
                const int column = static_cast<int>(i) + 1;
                const int type = sqlite3_column_type(query, column);
                take(i, type, sqlite3_column_double(query, column));
            }
        }
        if (result != SQLITE_DONE && m_outcome == Outcome::Read)
            fail(ErrorText(m_db.get()));
    }

    static void collect(sqlite3_context* context, int count, sqlite3_value** values)
    {
        auto* part = static_cast<Part*>(sqlite3_user_data(context));
        const double time = sqlite3_value_double(values[0]);
        if (part->m_any && !(time > part->m_last)) {
            part->m_outcome = Outcome::Disordered;
            sqlite3_result_error(context, "rows out of time order", -1);
            return;
        }
        part->noteTime(time);
        try {
            for (int i = 1; i < count; ++i) {
                // The type first: it is undefined once the value was read as another type.
                const int type = sqlite3_value_type(values[i]);
                part->take(static_cast<std::size_t>(i - 1), type, sqlite3_value_double(values[i]));
            }
        } catch (const std::bad_alloc&) {
            part->fail(ComErrorText(SQLITE_NOMEM, sqlite3_errstr(SQLITE_NOMEM)));
            sqlite3_result_error_nomem(context);
        }
    }
    static void finish(sqlite3_context*) {}

    void noteTime(double time)
    {
        if (!m_any)
            m_first = time;
        m_any = true;
        m_last = time;
    }

    // A cell is a point where SQL's "column<>65535" is true: not a NULL, nor a number equal
    // to 65535. Text and blobs never equal a number, and read as a selection reads them.
    void take(std::size_t series, int type, double value)
    {
        const bool numeric = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
        if (type == SQLITE_NULL || (numeric && value == NoValue))
            return;
        m_sink.add(series, m_last, static_cast<float>(value));
    }

    void fail(std::string error)
    {
        m_outcome = Outcome::Failed;
        m_error = std::move(error);
    }

    SeriesSink& m_sink;
    const std::string_view m_relation;
    const std::size_t m_columns;
    Database m_db;
    Outcome m_outcome = Outcome::Read;
    std::string m_error;
    bool m_any = false;
    double m_first = 0.0;
    double m_last = 0.0; // also the time of the row being taken
};

// Both parts at once, the later on a thread of its own; where no thread can be started, one
// after the other. The thread is joined before either part is looked at.
void ReadBoth(const Plan& plan, Part& earlier, Part& later)
{
    std::jthread thread;
    try {
        thread = std::jthread([&plan, &later] { later.read(plan, 1); });
    } catch (const std::system_error&) {
        later.read(plan, 1);
    }
    earlier.read(plan, 0);
}

// The first failure's text; nullopt when both parts were read.
std::optional<std::string> Failure(const Part& earlier, const Part& later)
{
    for (const Part* part : {&earlier, &later}) {
        if (part->outcome() == Part::Outcome::Failed)
            return part->error();
    }
    return std::nullopt;
}

// Whether a collecting pass met strictly rising times, within and across the parts.
bool RoseStrictly(const Part& earlier, const Part& later)
{
    if (earlier.outcome() == Part::Outcome::Disordered ||
        later.outcome() == Part::Outcome::Disordered)
        return false;
    const auto first = earlier.times();
    const auto second = later.times();
    return !first || !second || first->second < second->first;
}

// Both parts read one state of the store, in its rollback-journal mode: while the first holds
// its read lock no writer can commit, so the second's lock, taken next, sees the same state,
// and both keep their locks to the end of the pass. The second does not wait: a writer that
// already waits for the first lock to go would keep it waiting until the time-out. Then the
// first lets go for a moment, the writer commits, and both try again.
std::string BeginTogether(Part& first, Part& second)
{
    constexpr auto Pause = std::chrono::milliseconds(10);
    for (int waited = 0;; waited += Pause.count()) {
        if (first.begin(true) != SQLITE_OK)
            return ErrorText(first.connection());
        const int result = second.begin(false);
        if (result == SQLITE_OK)
            return {};
        const std::string error = ErrorText(second.connection());
        first.rollback();
        if (result != SQLITE_BUSY || waited >= RecordStore::BusyTimeoutMs)
            return error;
        std::this_thread::sleep_for(Pause);
    }
}

} // namespace

std::string ReadSeriesPoints(const char* file, std::string_view relation,
                             std::span<const std::string_view> columns, double from, double to,
                             SeriesSink& earlier, SeriesSink& later)
{
    earlier.clear();
    later.clear();
    Part first(earlier, relation, columns.size());
    Part second(later, relation, columns.size());
    std::string error;
    for (Part* part : {&first, &second}) {
        error = part->open(file);
        if (!error.empty())
            return error;
    }
    error = BeginTogether(first, second);
    if (!error.empty())
        return error;
    const auto survey = SurveyRange(first.connection(), relation, from, to, error);
    if (!survey)
        return error;
    ReadBoth(CollectingPlan(*survey, relation, columns, from, to), first, second);
    auto failure = Failure(first, second);
    if (!failure && !RoseStrictly(first, second)) {
        ReadBoth(SteppedPlan(*survey, relation, columns, from, to), first, second);
        failure = Failure(first, second);
    }
    if (!failure)
        return {};
    earlier.clear();
    later.clear();
    return *failure;
}

} // namespace nimbra
