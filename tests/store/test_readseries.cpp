#include "recordingmessages.h"
#include "recordstore.h"
#include "tempdatabase.h"

#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::RecordingMessages;
using nimbra::test::TempDatabase;

namespace {

constexpr float None = float(NoValue);
constexpr double Noon = 42736.5; // 2017-01-01 12:00

// Rows out of time order, three sharing one time, no-value cells in every column, and rows
// before and after the ranges below.
const RecordRow Rows[] = {
    {Noon + 3, 23.0f, 53, 11.0f, 23.5f},      {Noon - 9, 1.0f, 1, 1.0f, 1.0f},
    {Noon + 1, 21.3f, NoValue, 10.0f, 21.0f}, {Noon + 1, None, 51, 10.5f, None},
    {Noon, 20.0f, 50, 9.5f, 20.0f},           {Noon + 1, 21.7f, 52, None, 21.5f},
    {Noon + 2, 22.0f, 52, None, None},        {Noon + 4, None, NoValue, None, None},
    {Noon + 30, 2.0f, 2, 2.0f, 2.0f},
};

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
};

// The rows of one column as SelectRange gives them, read as the graph reads them.
SeriesPoints PerSeries(RecordStore& store, const std::filesystem::path& db, const Range& range,
                       std::string_view column)
{
    SeriesPoints points;
    EXPECT_EQ(store.Open(db), 0);
    EXPECT_EQ(store.SelectRange(range.start, range.end, column), 0);
    for (; !store.AtEnd(); store.MoveNext()) {
        points.times.push_back(store.ReadDate("Time"));
        points.values.push_back(store.ReadFloat(column));
    }
    return points;
}

void Replace(RecordStore& store, const std::filesystem::path& db)
{
    ASSERT_EQ(store.Open(db), 0);
    ASSERT_EQ(store.BeginReplace(), 0);
    ASSERT_EQ(store.ClearAll(), 0);
    RecordRow row;
    store.CurrentRow = &row;
    store.OpenForAppend();
    for (const RecordRow& r : Rows) {
        row = r;
        ASSERT_EQ(store.AppendRow(), 0);
    }
    store.CloseCursor();
    ASSERT_EQ(store.CommitReplace(), 0);
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
            std::vector<SeriesPoints> series;
            ASSERT_EQ(store.Open(db), 0);
            ASSERT_EQ(store.ReadSeries(range.start, range.end, view, series), 0);
            ASSERT_EQ(series.size(), view.size());
            for (std::size_t i = 0; i < view.size(); ++i) {
                const SeriesPoints expected = PerSeries(store, db, range, view[i]);
                EXPECT_EQ(series[i].times, expected.times) << view[i];
                EXPECT_EQ(series[i].values, expected.values) << view[i];
            }
        }
    }
}

class ReadSeriesTest : public ::testing::Test
{
protected:
    void SetUp() override { Replace(m_store, m_db.path()); }

    TempDatabase m_db;
    RecordingMessages m_messages;
    RecordStore m_store{m_messages};
};

} // namespace

TEST_F(ReadSeriesTest, OnePassGivesThePointsOfThePerColumnSelections)
{
    // A cell with no value at all is left out as "<>65535" leaves it out, not read as 0.
    ASSERT_EQ(m_db.exec("INSERT INTO Records VALUES (42737.75, NULL, 54, NULL, 24)"), "");
    ExpectOnePassEqualsPerSeries(m_store, m_db.path());
    std::vector<SeriesPoints> series;
    ASSERT_EQ(m_store.ReadSeries(Ranges[0].start, Ranges[0].end, TemperatureView, series), 0);
    EXPECT_EQ(series[0].times, (std::vector<double>{Noon + 1, Noon + 1, Noon + 2, Noon + 3}));
    EXPECT_EQ(series[0].values[0], double(21.3f));
    EXPECT_TRUE(m_messages.texts().isEmpty());
}

TEST_F(ReadSeriesTest, AFailureLeavesEverySeriesEmptyWithAMessage)
{
    const std::string_view unknown[] = {"Temperature", "Time"};
    std::vector<SeriesPoints> series(1, SeriesPoints{{1.0}, {2.0}});
    EXPECT_EQ(m_store.ReadSeries(Ranges[1].start, Ranges[1].end, unknown, series), 1);
    EXPECT_EQ(series.size(), 2u);
    ASSERT_EQ(m_db.exec("ALTER TABLE Records DROP COLUMN Heatindex"), "");
    ASSERT_EQ(m_store.Open(m_db.path()), 0);
    EXPECT_EQ(m_store.ReadSeries(Ranges[1].start, Ranges[1].end, TemperatureView, series), 1);
    ASSERT_EQ(series.size(), 3u);
    for (const SeriesPoints& points : series)
        EXPECT_TRUE(points.times.empty() && points.values.empty());
    EXPECT_EQ(m_messages.texts().size(), 2);
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
    Replace(store, db.path());
    EXPECT_EQ(indexes(), before);
    EXPECT_EQ(db.rows().size(), std::size(Rows));
    ExpectOnePassEqualsPerSeries(store, db.path());

    ASSERT_EQ(store.Open(db.path()), 0);
    ASSERT_EQ(store.BeginReplace(), 0);
    ASSERT_EQ(store.ClearAll(), 0);
    store.RollbackReplace();
    EXPECT_EQ(indexes(), before);
    EXPECT_EQ(db.rows().size(), std::size(Rows));
    EXPECT_TRUE(messages.texts().isEmpty());
}
