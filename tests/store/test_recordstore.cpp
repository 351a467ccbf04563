#include "recordingmessages.h"
#include "recordstore.h"
#include "seriescollector.h"
#include "tempdatabase.h"

#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::RecordingMessages;
using nimbra::test::TempDatabase;

namespace {

constexpr float None = float(NoValue);

// Noon of 2017-01-01 .. 2017-01-05; one row lacks humidity, one dew point and heat index.
const RecordRow Rows[] = {
    {42736.5, 20.0f, 50, 9.5f, 20.0f},  {42737.5, 21.3f, NoValue, 10.0f, 21.0f},
    {42738.5, 22.0f, 52, None, None},   {42739.5, None, 53, 11.0f, 23.0f},
    {42740.5, 24.0f, 54, 12.0f, 24.0f},
};

class RecordStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_store.Open(m_db.path()), 0);
        RecordRow row;
        m_store.CurrentRow = &row;
        m_store.OpenForAppend();
        for (const RecordRow& r : Rows) {
            row = r;
            ASSERT_EQ(m_store.AppendRow(), 0);
        }
        m_store.CloseCursor();
    }

    int count(const char* start, const char* end, const char* column)
    {
        EXPECT_EQ(m_store.Open(m_db.path()), 0);
        EXPECT_EQ(m_store.CountRange(start, end, column), 0);
        return m_store.ReadCount();
    }

    std::vector<double> select(const char* start, const char* end, const char* column)
    {
        EXPECT_EQ(m_store.Open(m_db.path()), 0);
        EXPECT_EQ(m_store.SelectRange(start, end, column), 0);
        std::vector<double> times;
        for (; !m_store.AtEnd(); m_store.MoveNext())
            times.push_back(m_store.ReadDate("Time"));
        return times;
    }

    TempDatabase m_db;
    RecordingMessages m_messages;
    RecordStore m_store{m_messages};
};

struct RangeCase
{
    const char* start;
    const char* end;
    const char* column;
    std::vector<double> times;
};

} // namespace

TEST_F(RecordStoreTest, RangesAreOpenAtTheStartClosedAtTheEndAndSkipNoValue)
{
    const RangeCase cases[] = {
        {"2017-01-01 12:00:00", "2017-01-03 12:00:00", "Temperature", {42737.5, 42738.5}},
        {"2017-01-01 11:59:59", "2017-01-03 11:59:59", "Temperature", {42736.5, 42737.5}},
        {"2017-01-01 0:00:00",
         "2017-01-06 0:00:00",
         "Humidity",
         {42736.5, 42738.5, 42739.5, 42740.5}},
        {"2017-01-01 0:00:00",
         "2017-01-06 0:00:00",
         "DewPoint",
         {42736.5, 42737.5, 42739.5, 42740.5}},
        {"2017-01-01 0:00:00",
         "2017-01-06 0:00:00",
         "HEATINDEX",
         {42736.5, 42737.5, 42739.5, 42740.5}},
        {"2017-01-01 0:00:00",
         "2017-01-06 0:00:00",
         "temperature",
         {42736.5, 42737.5, 42738.5, 42740.5}},
        {"2018-01-01 0:00:00", "2018-02-01 0:00:00", "Temperature", {}},
        {"2017-01-05 12:00:00", "2017-01-01 12:00:00", "Temperature", {}},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " .. " + c.end + " " + c.column);
        EXPECT_EQ(count(c.start, c.end, c.column), static_cast<int>(c.times.size()));
        EXPECT_EQ(select(c.start, c.end, c.column), c.times);
    }
    EXPECT_TRUE(m_messages.texts().isEmpty());
}

// The graph counts its series and then keeps the store open; another program's import must
// still be able to commit.
TEST_F(RecordStoreTest, ACountHoldsNoLockOnceItIsRead)
{
    EXPECT_EQ(count("2017-01-01 0:00:00", "2018-01-01 0:00:00", "Humidity"), 4);
    EXPECT_EQ(m_db.exec("DELETE FROM Records"), "");
    EXPECT_EQ(m_store.ReadCount(), 4);
}

TEST_F(RecordStoreTest, ValuesReadBackAsSingleFloatsAndAnInteger)
{
    ASSERT_EQ(m_store.SelectRange("2017-01-02 0:00:00", "2017-01-02 23:00:00", "Temperature"), 0);
    ASSERT_FALSE(m_store.AtEnd());
    EXPECT_EQ(m_store.ReadFloat("Temperature"), 21.3f);
    EXPECT_EQ(m_store.ReadFloat("Humidity"), float(NoValue));
    EXPECT_EQ(m_store.ReadFloat("dewpoint"), 10.0f);
    EXPECT_EQ(m_store.ReadDate("time"), 42737.5);
    m_store.MoveNext();
    EXPECT_TRUE(m_store.AtEnd());
    EXPECT_THROW(m_store.ReadFloat("Temperature"), StoreError);
    EXPECT_EQ(m_db.rows()[0].Humidity, 50);
}

TEST_F(RecordStoreTest, ColumnsOutsideTheFourAreRefusedWithAMessage)
{
    const char* refused[] = {
        "Time",      "", "Param", "Temperature<>0 OR 1=1 --", "Temperature;DELETE FROM Records",
        "Temperatur"};
    for (const char* column : refused) {
        SCOPED_TRACE(column);
        const auto before = m_messages.texts().size();
        EXPECT_EQ(m_store.CountRange("2017-01-01 0:00:00", "2018-01-01 0:00:00", column), 1);
        EXPECT_EQ(m_store.SelectRange("2017-01-01 0:00:00", "2018-01-01 0:00:00", column), 1);
        const std::string_view columns[] = {"Temperature", column};
        std::vector<test::CollectedPoints> series;
        EXPECT_EQ(
            test::ReadSeries(m_store, "2017-01-01 0:00:00", "2018-01-01 0:00:00", columns, series),
            1);
        EXPECT_EQ(m_messages.texts().size(), before + 3);
        EXPECT_THROW(m_store.AtEnd(), StoreError);
    }
    EXPECT_EQ(m_store.SelectRange("2017-01-01", "2018-01-01 0:00:00", "Temperature"), 1);
    EXPECT_EQ(m_db.rows().size(), std::size(Rows));
}

TEST_F(RecordStoreTest, ClearAllEmptiesBothTablesAndSucceedsOnAnEmptyStore)
{
    ASSERT_EQ(m_db.exec("INSERT INTO Param VALUES ('a', 'b')"), "");
    EXPECT_EQ(m_store.ClearAll(), 0);
    EXPECT_EQ(m_store.ClearAll(), 0);
    EXPECT_TRUE(m_db.rows().empty());
    EXPECT_EQ(count("2017-01-01 0:00:00", "2018-01-01 0:00:00", "Temperature"), 0);
    EXPECT_FALSE(m_store.ValidTimeSpan());
    EXPECT_TRUE(m_messages.texts().isEmpty());
}

TEST_F(RecordStoreTest, AReplacementIsSeenWholeOrNotAtAll)
{
    RecordRow row{43000.0, 1.0f, 1, 1.0f, 1.0f};
    {
        RecordStore writer(m_messages);
        writer.CurrentRow = &row;
        ASSERT_EQ(writer.Open(m_db.path()), 0);
        ASSERT_EQ(writer.BeginReplace(), 0);
        ASSERT_EQ(writer.ClearAll(), 0);
        writer.OpenForAppend();
        ASSERT_EQ(writer.AppendRow(), 0);
        // A second connection still sees the previous contents.
        EXPECT_EQ(count("2017-01-01 0:00:00", "2018-01-01 0:00:00", "Temperature"), 4);
        // Destroyed without a commit, as when the import is cut off.
    }
    EXPECT_EQ(m_db.rows().size(), std::size(Rows));

    ASSERT_EQ(m_store.BeginReplace(), 0);
    ASSERT_EQ(m_store.ClearAll(), 0);
    m_store.CurrentRow = &row;
    m_store.OpenForAppend();
    ASSERT_EQ(m_store.AppendRow(), 0);
    m_store.CloseCursor();
    ASSERT_EQ(m_store.CommitReplace(), 0);
    ASSERT_EQ(m_db.rows().size(), 1u);
    EXPECT_EQ(m_db.rows()[0].Time, 43000.0);
}

TEST_F(RecordStoreTest, ValidTimeSpanSkipsRowsWithoutARealTime)
{
    ASSERT_EQ(m_db.exec("INSERT INTO Records VALUES (0, 1, 1, 1, 1), (-1, 1, 1, 1, 1)"), "");
    const auto span = m_store.ValidTimeSpan();
    ASSERT_TRUE(span);
    EXPECT_EQ(span->first, 42736.5);
    EXPECT_EQ(span->second, 42740.5);
}

TEST(RecordStore, OpenOnAMissingFileShowsTheEnginesErrorAndLeavesAStoreThatRefusesCleanly)
{
    RecordingMessages messages;
    TempDatabase db;
    RecordStore store(messages);
    EXPECT_EQ(store.Open(db.folder() / "missing.db"), -1);
    EXPECT_FALSE(std::filesystem::exists(db.folder() / "missing.db"));
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(messages.texts()[0].contains(QStringLiteral("SQLite error 14")))
        << messages.texts()[0].toStdString();
    EXPECT_EQ(store.ClearAll(), 1);
    EXPECT_EQ(store.CountRange("2017-01-01 0:00:00", "2018-01-01 0:00:00", "Temperature"), 1);
    EXPECT_THROW(store.OpenForAppend(), StoreError);
    EXPECT_EQ(store.AppendRow(), 2);
    EXPECT_EQ(messages.texts().size(), 4);
}

TEST(RecordStore, AStoreWithoutItsTablesReportsAtTheFirstStatement)
{
    RecordingMessages messages;
    TempDatabase db;
    ASSERT_EQ(db.exec("DROP TABLE Records"), "");
    RecordStore store(messages);
    ASSERT_EQ(store.Open(db.path()), 0);
    EXPECT_EQ(store.ClearAll(), 1);
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(messages.texts()[0].startsWith(QStringLiteral("no such table: Records (SQLite")))
        << messages.texts()[0].toStdString();
}
