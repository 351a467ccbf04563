// The kept history: what a merge adds, what it refuses, and how the store's queries read it.
#include "archive.h"
#include "oledate.h"
#include "recordingmessages.h"
#include "tempdatabase.h"

#include <charconv>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::TempDatabase;

namespace {

constexpr double Day = 45000.0;

double Minute(int m)
{
    return Day + m / 1440.0;
}

// Rows a minute apart from minute first on a fixed day, each temperature the minute number.
std::string RowsSql(int first, int count)
{
    std::string sql = "BEGIN; DELETE FROM Records;";
    for (int m = first; m < first + count; ++m) {
        char time[32];
        *std::to_chars(time, time + sizeof time - 1, Minute(m)).ptr = 0;
        sql += "INSERT INTO Records VALUES (" + std::string(time) + "," + std::to_string(m) +
               ",50,1.5,65535);";
    }
    return sql + "COMMIT;";
}

class ArchiveTest : public ::testing::Test
{
protected:
    // The store as an import of count rows from minute first leaves it, merged as file.
    std::int64_t import(int first, int count, const std::string& file, bool indoor = false)
    {
        EXPECT_EQ(m_store.exec(RowsSql(first, count)), "");
        return Archive(archivePath()).Merge(m_store.path(), file, indoor, "(°C)");
    }
    std::filesystem::path archivePath() const { return ArchivePathBeside(m_store.path()); }
    std::vector<RecordRow> rows(bool indoor)
    {
        std::vector<RecordRow> all;
        Archive(archivePath()).ForEach(-1e9, 1e9, indoor, [&](const RecordRow& r) {
            all.push_back(r);
        });
        return all;
    }

    std::int64_t Count(const char* sql) const
    {
        sqlite3* raw = nullptr;
        sqlite3_open(archivePath().string().c_str(), &raw);
        const Database db(raw);
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(raw, sql, -1, &query, nullptr);
        const Statement owned(query);
        return query && sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
    }

    TempDatabase m_store;
};

TEST_F(ArchiveTest, EachReadingIsKeptOnceWhateverTheImportsOverlap)
{
    EXPECT_EQ(import(0, 100, "A.csv"), 100);
    EXPECT_EQ(import(0, 100, "A.csv"), 0);
    EXPECT_EQ(import(60, 100, "B.csv"), 60);           // minutes 60..99 came with A already
    EXPECT_EQ(import(60, 150, "IN_B.csv", true), 150); // indoor times are readings of their own

    const std::vector<RecordRow> outdoor = rows(false);
    ASSERT_EQ(outdoor.size(), 160u);
    for (std::size_t i = 0; i < outdoor.size(); ++i)
        ASSERT_FLOAT_EQ(outdoor[i].Temperature, float(i)) << "ascending, each minute once";
    EXPECT_EQ(rows(true).size(), 150u);

    const ArchiveStats stats = Archive(archivePath()).Stats();
    EXPECT_EQ(stats.rows, 310);
    EXPECT_EQ(stats.files, 3);
    EXPECT_DOUBLE_EQ(*stats.first, Minute(0));
    EXPECT_DOUBLE_EQ(*stats.last, Minute(209)); // an indoor reading
    // Each reading names the file it first came from.
    EXPECT_EQ(Count("SELECT count(*) FROM Readings r JOIN Files f ON r.File = f.Id "
                    "WHERE Indoor = 0 AND Name = 'A.csv'"),
              100);
    EXPECT_EQ(Count("SELECT count(*) FROM Readings r JOIN Files f ON r.File = f.Id "
                    "WHERE Indoor = 0 AND Name = 'B.csv' AND Time > 45000.069"),
              60);
}

TEST_F(ArchiveTest, RowsWithoutATimeOrWithOddValuesAreTakenSafely)
{
    ASSERT_EQ(m_store.exec("INSERT INTO Records VALUES (0, 1, 2, 3, 4);"
                           "INSERT INTO Records VALUES (45000.5, NULL, 1e12, NULL, 7);"),
              "");
    EXPECT_EQ(Archive(archivePath()).Merge(m_store.path(), "C.csv", false, ""), 1);
    const std::vector<RecordRow> kept = rows(false);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].Temperature, float(NoValue));
    EXPECT_EQ(kept[0].Humidity, 2147483647);
    EXPECT_EQ(kept[0].Heatindex, 7.0f);
}

TEST_F(ArchiveTest, AFailedMergeLeavesTheArchiveAsItWasAndSaysSo)
{
    import(0, 10, "A.csv");
    ASSERT_EQ(m_store.exec("DROP TABLE Records; CREATE TABLE Records (Time REAL);"), "");
    test::RecordingMessages messages;
    EXPECT_FALSE(ArchiveImport(m_store.path(), "B.csv", false, "", messages));
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(messages.texts()[0].contains(QLatin1String("B.csv")));
    const ArchiveStats stats = Archive(archivePath()).Stats();
    EXPECT_EQ(stats.rows, 10);
    EXPECT_EQ(stats.files, 1) << "the failed file is not listed";
}

// The graph and the export read the archive through the record store's own queries.
TEST_F(ArchiveTest, TheStoreReadsTheOutdoorReadingsOfTheArchive)
{
    import(0, 30, "A.csv");
    import(0, 50, "IN_A.csv", true);
    test::RecordingMessages messages;
    RecordStore store(messages);
    ASSERT_EQ(store.Open(archivePath()), 0);
    ASSERT_EQ(store.SelectStored(-1e9, 1e9), 0);
    int rows = 0;
    for (; !store.AtEnd(); store.MoveNext(), ++rows)
        EXPECT_FLOAT_EQ(store.ReadFloat("Temperature"), float(rows));
    EXPECT_EQ(rows, 30);
    ASSERT_EQ(store.CountRange(FormatRangeTime(FromOleDate(Minute(0))),
                               FormatRangeTime(FromOleDate(Minute(14))), "Dewpoint"),
              0);
    EXPECT_EQ(store.ReadCount(), 14); // minutes 1..14: the range's start is excluded
    const auto span = store.ValidTimeSpan();
    ASSERT_TRUE(span.has_value());
    EXPECT_DOUBLE_EQ(span->second, Minute(29));
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join(u'\n').toStdString();
}

} // namespace
