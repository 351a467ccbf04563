#include "recordingmessages.h"
#include "recordstore.h"
#include "seriescollector.h"
#include "seriesreader.h"
#include "tempdatabase.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <limits>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nimbra;
using nimbra::test::CollectedPoints;
using nimbra::test::RecordingMessages;
using nimbra::test::SeriesCollector;
using nimbra::test::TempDatabase;

namespace {

constexpr float None = float(NoValue);
constexpr double Noon = 42736.5; // 2017-01-01 12:00
constexpr double Hour = 1.0 / 24;

// Rows out of time order, three sharing one time, no-value cells in every column, and rows
// before and after the ranges below.
const std::vector<RecordRow> Shuffled = {
    {Noon + 3, 23.0f, 53, 11.0f, 23.5f},      {Noon - 9, 1.0f, 1, 1.0f, 1.0f},
    {Noon + 1, 21.3f, NoValue, 10.0f, 21.0f}, {Noon + 1, None, 51, 10.5f, None},
    {Noon, 20.0f, 50, 9.5f, 20.0f},           {Noon + 1, 21.7f, 52, None, 21.5f},
    {Noon + 2, 22.0f, 52, None, None},        {Noon + 4, None, NoValue, None, None},
    {Noon + 30, 2.0f, 2, 2.0f, 2.0f},
};

// A row an hour from a day before Noon to a day after, no-value cells here and there.
std::vector<RecordRow> Hourly()
{
    std::vector<RecordRow> rows;
    for (int i = 0; i <= 48; ++i) {
        const float value = 0.5f * float(i);
        rows.push_back({Noon + (i - 24) * Hour, i % 7 == 3 ? None : value, i % 5 == 1 ? NoValue : i,
                        i % 4 == 2 ? None : value - 3.0f, i % 6 == 5 ? None : value + 1.0f});
    }
    return rows;
}

// Each part of the rows rising in time, the later day stored before the earlier one.
std::vector<RecordRow> LaterDayFirst()
{
    std::vector<RecordRow> rows = Hourly();
    std::rotate(rows.begin(), rows.begin() + 25, rows.end());
    return rows;
}

// Rising in time but for two rows of one time, the warmer stored first: an index holding the
// temperature orders them the other way round.
std::vector<RecordRow> OneTimeTwice()
{
    std::vector<RecordRow> rows = Hourly();
    RecordRow warmer = rows[40];
    warmer.Time = rows[12].Time;
    rows.erase(rows.begin() + 40);
    rows.insert(rows.begin() + 12, warmer);
    return rows;
}

// The store as the previous template made it: every column in the index.
constexpr auto PreviousSchema =
    "CREATE TABLE Records (Time REAL, Temperature REAL, Humidity INTEGER, Dewpoint REAL, "
    "Heatindex REAL);"
    "CREATE INDEX RecordsByTime ON Records (Time, Temperature, Humidity, Dewpoint, Heatindex);"
    "CREATE TABLE Param (Name TEXT, Value TEXT);";

constexpr std::string_view TemperatureView[] = {"Temperature", "DewPoint", "Heatindex"};
constexpr std::string_view HumidityView[] = {"humidity"};

struct Range
{
    const char* start;
    const char* end;
};
const Range Ranges[] = {
    {"2017-01-01 12:00:00", "2017-01-04 12:00:00"}, // the start excluded, the end included
    {"2016-12-01 0:00:00", "2017-03-01 0:00:00"},   {"2017-01-02 12:00:00", "2017-01-02 12:00:00"},
    {"2017-01-02 11:59:59", "2017-01-02 12:00:00"}, {"2018-01-01 0:00:00", "2018-01-02 0:00:00"},
    {"2017-01-01 14:00:00", "2017-01-01 20:00:00"},
};

// The rows of one column as SelectRange gives them, read as the graph reads them.
CollectedPoints PerSeries(RecordStore& store, const std::filesystem::path& db, const Range& range,
                          std::string_view column)
{
    CollectedPoints points;
    EXPECT_EQ(store.Open(db), 0);
    EXPECT_EQ(store.SelectRange(range.start, range.end, column), 0);
    for (; !store.AtEnd(); store.MoveNext()) {
        points.times.push_back(store.ReadDate("Time"));
        points.values.push_back(store.ReadFloat(column));
    }
    return points;
}

void Replace(RecordStore& store, const std::filesystem::path& db,
             const std::vector<RecordRow>& rows)
{
    ASSERT_EQ(store.Open(db), 0);
    ASSERT_EQ(store.BeginReplace(), 0);
    ASSERT_EQ(store.ClearAll(), 0);
    RecordRow row;
    store.CurrentRow = &row;
    store.OpenForAppend();
    for (const RecordRow& r : rows) {
        row = r;
        ASSERT_EQ(store.AppendRow(), 0);
    }
    store.CloseCursor();
    ASSERT_EQ(store.CommitReplace(), 0);
}

// Ranges no text of a date reaches, for times that another program stored: from < Time <= to.
constexpr double Largest = std::numeric_limits<double>::max();
constexpr double Infinity = std::numeric_limits<double>::infinity();
const std::pair<double, double> TimeRanges[] = {
    {-Infinity, Infinity}, {-Largest, 1e308}, {-Largest, Largest}, {-Infinity, -1e308}};

// The points of one column over a range of times, straight from the table.
CollectedPoints Selected(const std::filesystem::path& db, std::string_view column,
                         std::pair<double, double> range)
{
    const Database connection = TempDatabase::Connect(db);
    const std::string sql = "SELECT Time, " + std::string(column) +
                            " FROM Records WHERE Time>?1 AND Time<=?2 AND " + std::string(column) +
                            "<>65535 ORDER BY Time";
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(connection.get(), sql.c_str(), -1, &raw, nullptr), SQLITE_OK);
    const Statement query(raw);
    sqlite3_bind_double(raw, 1, range.first);
    sqlite3_bind_double(raw, 2, range.second);
    CollectedPoints points;
    while (raw && sqlite3_step(raw) == SQLITE_ROW) {
        points.times.push_back(sqlite3_column_double(raw, 0));
        points.values.push_back(static_cast<float>(sqlite3_column_double(raw, 1)));
    }
    return points;
}

// The same over ranges of times beyond any date: the two parts meet inside the range however
// far apart its first and last time lie.
void ExpectOnePassOverTimesEqualsSelections(const std::filesystem::path& db,
                                            std::span<const std::string_view> view)
{
    const Database connection = TempDatabase::Connect(db);
    for (const auto& range : TimeRanges) {
        SCOPED_TRACE(::testing::PrintToString(range));
        SeriesCollector earlier(view.size());
        SeriesCollector later(view.size());
        ASSERT_EQ(ReadSeriesPoints(sqlite3_db_filename(connection.get(), "main"), "Records", view,
                                   range.first, range.second, earlier, later),
                  "");
        for (std::size_t i = 0; i < view.size(); ++i) {
            CollectedPoints read = earlier.series[i];
            read.times.insert(read.times.end(), later.series[i].times.begin(),
                              later.series[i].times.end());
            read.values.insert(read.values.end(), later.series[i].values.begin(),
                               later.series[i].values.end());
            const CollectedPoints expected = Selected(db, view[i], range);
            EXPECT_EQ(read.times, expected.times) << view[i];
            EXPECT_EQ(read.values, expected.values) << view[i];
        }
    }
}

// Every range and view read in one pass equals the per-column selections, point for point.
void ExpectOnePassEqualsPerSeries(RecordStore& store, const std::filesystem::path& db)
{
    for (const Range& range : Ranges) {
        for (std::span<const std::string_view> view :
             {std::span<const std::string_view>(TemperatureView),
              std::span<const std::string_view>(HumidityView)}) {
            SCOPED_TRACE(std::string(range.start) + " .. " + range.end + " " +
                         std::string(view.front()));
            std::vector<CollectedPoints> series;
            ASSERT_EQ(store.Open(db), 0);
            ASSERT_EQ(test::ReadSeries(store, range.start, range.end, view, series), 0);
            ASSERT_EQ(series.size(), view.size());
            for (std::size_t i = 0; i < view.size(); ++i) {
                const CollectedPoints expected = PerSeries(store, db, range, view[i]);
                EXPECT_EQ(series[i].times, expected.times) << view[i];
                EXPECT_EQ(series[i].values, expected.values) << view[i];
            }
        }
    }
    for (std::span<const std::string_view> view :
         {std::span<const std::string_view>(TemperatureView),
          std::span<const std::string_view>(HumidityView)})
        ExpectOnePassOverTimesEqualsSelections(db, view);
}

// A cell with no value at all is left out as "<>65535" leaves it out, not read as 0. Stored
// after every other row, it keeps a store in time order.
constexpr auto NullCells = "INSERT INTO Records VALUES (42738.75, NULL, 54, NULL, 24)";

// Times at both ends of the doubles, as another program may store them: after every other
// row, or the lower ones before the first row so that the table stays in time order.
constexpr auto ExtremeTimesAfter =
    "INSERT INTO Records VALUES (1e999, 1, 1, 1, 1), (-1.7976931348623157e308, 2, 2, 2, 2), "
    "(1e308, 3, 3, 3, 3), (-1e308, 4, 4, 4, 4), (1.7976931348623157e308, 5, 5, 5, 5), "
    "(-1e999, 6, 6, 6, 6)";
constexpr auto ExtremeTimesAround =
    "INSERT INTO Records (rowid, Time, Temperature, Humidity, Dewpoint, Heatindex) VALUES "
    "(-2, -1e999, 6, 6, 6, 6), (-1, -1.7976931348623157e308, 2, 2, 2, 2), (0, -1e308, 4, 4, 4, 4);"
    "INSERT INTO Records VALUES (1e308, 3, 3, 3, 3), (1.7976931348623157e308, 5, 5, 5, 5), "
    "(1e999, 1, 1, 1, 1)";

} // namespace

// However the rows lie in the table (in time order, in two runs, with times shared, out of
// order, rowids or times at both ends of their range), and whatever the range covers of it.
TEST(ReadSeries, OnePassGivesThePointsOfThePerColumnSelections)
{
    constexpr auto ExtremeRowids =
        "UPDATE Records SET rowid=-9223372036854775808 WHERE rowid=1;"
        "UPDATE Records SET rowid=9223372036854775807 WHERE rowid=(SELECT max(rowid) FROM Records)";
    const struct
    {
        const char* name;
        std::vector<RecordRow> rows;
        const char* sql;
    } stores[] = {
        {"in time order", Hourly(), NullCells},
        {"the later day first", LaterDayFirst(), NullCells},
        {"one time twice", OneTimeTwice(), NullCells},
        {"shuffled", Shuffled, NullCells},
        {"extreme rowids", Hourly(), ExtremeRowids},
        {"extreme times in time order", Hourly(), ExtremeTimesAround},
        {"extreme times shuffled", Shuffled, ExtremeTimesAfter},
    };
    for (const auto& [name, rows, sql] : stores) {
        SCOPED_TRACE(name);
        TempDatabase db;
        RecordingMessages messages;
        RecordStore store(messages);
        Replace(store, db.path(), rows);
        ASSERT_EQ(db.exec(sql), "");
        ExpectOnePassEqualsPerSeries(store, db.path());
        EXPECT_TRUE(messages.texts().isEmpty());
    }
}

TEST(ReadSeries, AFailureLeavesEverySeriesEmptyWithAMessage)
{
    TempDatabase db;
    RecordingMessages messages;
    RecordStore store(messages);
    Replace(store, db.path(), Hourly());
    const std::string_view unknown[] = {"Temperature", "Time"};
    SeriesCollector earlier(2);
    SeriesCollector later(2);
    earlier.add(0, 1.0, 2.0);
    later.add(1, 1.0, 2.0);
    EXPECT_EQ(store.ReadSeries(Ranges[1].start, Ranges[1].end, unknown, earlier, later), 1);
    ASSERT_EQ(db.exec("ALTER TABLE Records DROP COLUMN Heatindex"), "");
    ASSERT_EQ(store.Open(db.path()), 0);
    earlier.add(0, 1.0, 2.0);
    EXPECT_EQ(store.ReadSeries(Ranges[1].start, Ranges[1].end, TemperatureView, earlier, later), 1);
    for (const SeriesCollector* sink : {&earlier, &later}) {
        for (const CollectedPoints& points : sink->series)
            EXPECT_TRUE(points.times.empty() && points.values.empty());
    }
    EXPECT_EQ(messages.texts().size(), 2);
}

// An import killed halfway leaves its journal beside the store. The first read after it finds
// the rows as they were before that import: a read-only connection could not roll it back.
TEST(ReadSeries, AStoreLeftByAKilledImportReadsAtOnce)
{
    TempDatabase db;
    RecordingMessages messages;
    RecordStore store(messages);
    Replace(store, db.path(), Hourly());
    std::vector<CollectedPoints> before;
    ASSERT_EQ(test::ReadSeries(store, Ranges[1].start, Ranges[1].end, TemperatureView, before), 0);
    const pid_t child = fork();
    if (child == 0) {
        // Rows beyond the cache make SQLite write the store before the commit that never comes.
        sqlite3* raw = nullptr;
        sqlite3_open(db.path().c_str(), &raw);
        sqlite3_exec(
            raw,
            "PRAGMA cache_size = 10; BEGIN; DELETE FROM Records;"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)"
            "INSERT INTO Records SELECT 1.0, i, 1, 1, 1 FROM n;",
            nullptr, nullptr, nullptr);
        std::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GT(std::filesystem::file_size(db.path().string() + "-journal"), 0u);

    // As the graph opens the store for each drawing.
    ASSERT_EQ(store.Open(db.path()), 0);
    std::vector<CollectedPoints> series;
    EXPECT_EQ(test::ReadSeries(store, Ranges[1].start, Ranges[1].end, TemperatureView, series), 0);
    ASSERT_EQ(series.size(), before.size());
    for (std::size_t i = 0; i < series.size(); ++i)
        EXPECT_EQ(series[i].values, before[i].values);
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join(u'\n').toStdString();
}

// A sink that, each time a part starts, tries to replace the store as another program's import
// would, without waiting, and counts the commits that got through.
class CommittingSink final : public SeriesSink
{
public:
    CommittingSink(const std::filesystem::path& db, std::size_t count)
        : m_writer(TempDatabase::Connect(db)), m_points(count)
    {
    }

    void reserve(std::size_t) override
    {
        if (sqlite3_exec(m_writer.get(), "BEGIN IMMEDIATE; DELETE FROM Records; COMMIT", nullptr,
                         nullptr, nullptr) == SQLITE_OK)
            ++commits;
        else if (!sqlite3_get_autocommit(m_writer.get()))
            sqlite3_exec(m_writer.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void add(std::size_t series, double time, double value) override
    {
        m_points.add(series, time, value);
    }
    void clear() override { m_points.clear(); }
    const std::vector<CollectedPoints>& series() const { return m_points.series; }

    int commits = 0;

private:
    Database m_writer;
    SeriesCollector m_points;
};

// Both parts of a pass, and the second pass over a store out of time order, see the store as it
// was when the pass began: a commit in between would mix two states in one graph.
TEST(ReadSeries, NoCommitComesBetweenThePartsOfAPass)
{
    TempDatabase db;
    RecordingMessages messages;
    RecordStore store(messages);
    Replace(store, db.path(), LaterDayFirst());
    const Range& range = Ranges[1];
    CommittingSink earlier(db.path(), 1);
    CommittingSink later(db.path(), 1);
    ASSERT_EQ(store.Open(db.path()), 0);
    ASSERT_EQ(store.ReadSeries(range.start, range.end, HumidityView, earlier, later), 0);
    EXPECT_EQ(earlier.commits + later.commits, 0);
    std::vector<double> times = earlier.series()[0].times;
    times.insert(times.end(), later.series()[0].times.begin(), later.series()[0].times.end());
    EXPECT_EQ(times, PerSeries(store, db.path(), range, HumidityView[0]).times);
    EXPECT_EQ(times.size(), 39u);

    later.reserve(0);
    EXPECT_EQ(later.commits, 1);
    EXPECT_TRUE(db.rows().empty());
    EXPECT_TRUE(messages.texts().isEmpty());
}

// An import drops the indexes while it writes; the commit must bring them back as they were,
// and a rollback must leave them untouched.
TEST(ReadSeries, AStoreOfThePreviousTemplateImportsAndGraphsAndKeepsItsIndex)
{
    TempDatabase db;
    ASSERT_EQ(db.exec("DROP TABLE Records; DROP TABLE Param;"), "");
    ASSERT_EQ(db.exec(PreviousSchema), "");
    const auto indexes = [&db] {
        return TempDatabase::Query(db.path(), "SELECT sql FROM sqlite_schema WHERE type='index'");
    };
    const auto before = indexes();
    ASSERT_EQ(before.size(), 1u);

    RecordingMessages messages;
    RecordStore store(messages);
    for (const std::vector<RecordRow>& rows : {Hourly(), OneTimeTwice(), Shuffled}) {
        Replace(store, db.path(), rows);
        EXPECT_EQ(indexes(), before);
        EXPECT_EQ(db.rows().size(), rows.size());
        ExpectOnePassEqualsPerSeries(store, db.path());
    }

    ASSERT_EQ(store.Open(db.path()), 0);
    ASSERT_EQ(store.BeginReplace(), 0);
    ASSERT_EQ(store.ClearAll(), 0);
    store.RollbackReplace();
    EXPECT_EQ(indexes(), before);
    EXPECT_EQ(db.rows().size(), Shuffled.size());
    EXPECT_TRUE(messages.texts().isEmpty());
}
