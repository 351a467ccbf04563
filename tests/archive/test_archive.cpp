// The kept history: what an import keeps, what it replaces, what it refuses, how an earlier
// version's file is taken over, and how the store's queries read it.
#include "archive.h"
#include "archiverebuild.h"
#include "logimport.h"
#include "oledate.h"
#include "recordingmessages.h"
#include "tempdatabase.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

using namespace nimbra;
using nimbra::test::TempDatabase;

namespace {

const std::string Header = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";

// count lines a minute apart from minute first on 2026-12-09, each temperature the minute
// number (mod 50), in stamps of the given form.
std::string Lines(int first, int count, bool dayFirst = false)
{
    std::string text;
    for (int m = first; m < first + count; ++m) {
        const std::string date = dayFirst ? "09-12-2026 " : "2026-12-09 ";
        text += date + std::to_string(m / 60) + ':' + (m % 60 < 10 ? "0" : "") +
                std::to_string(m % 60) + ":00," + std::to_string(m % 50) + ".5,50,1.5,2.5\n";
    }
    return text;
}

class ArchiveTest : public ::testing::Test
{
protected:
    ImportResult import(const std::string& name, const std::string& content,
                        DateOrder order = DateOrder::YearMonthDay,
                        const std::string& folder = "card")
    {
        std::filesystem::create_directories(m_store.folder() / folder);
        const auto path = m_store.folder() / folder / name;
        std::ofstream(path, std::ios::binary) << content;
        return ImportLogFile(path, name, m_store.path(), order, m_messages);
    }
    std::filesystem::path archivePath() const { return ArchivePathBeside(m_store.path()); }
    std::vector<KeptReading> kept(bool indoor = false)
    {
        std::vector<KeptReading> all;
        Archive(archivePath()).ForEach(-1e9, 1e9, indoor, [&](const KeptReading& r) {
            all.push_back(r);
        });
        return all;
    }

    TempDatabase m_store;
    test::RecordingMessages m_messages;
};

// Each step imports a file; the history then holds exactly the readings listed by minute.
TEST_F(ArchiveTest, EveryLoggedLineIsKeptOnceAndAReimportReplacesItsFile)
{
    struct Step
    {
        const char* what;
        std::string name;
        std::string content;
        DateOrder order;
        std::int64_t added;
        std::size_t total;
        const char* folder = "card";
    };
    const std::string dayFirst = Header + Lines(0, 10, true); // 09-12: 9 December or 12 September
    const std::vector<Step> steps = {
        {"first import", "A.csv", Header + Lines(0, 10), DateOrder::YearMonthDay, 10, 10},
        {"the same file again", "A.csv", Header + Lines(0, 10), DateOrder::YearMonthDay, 0, 10},
        {"the file grew", "A.csv", Header + Lines(0, 15), DateOrder::YearMonthDay, 5, 15},
        {"a card reader's copy of it", "A.csv", Header + Lines(0, 15), DateOrder::YearMonthDay, 0,
         15, "reader"},
        {"a cut copy keeps the lines beyond it", "A.csv", Header + Lines(0, 4),
         DateOrder::YearMonthDay, 0, 15},
        {"a reformatted card's new file of that name", "A.csv", Header + Lines(100, 3),
         DateOrder::YearMonthDay, 3, 18},
        {"a wrong day and month", "D.csv", dayFirst, DateOrder::MonthDayYear, 10, 28},
        {"mended by the right order", "D.csv", dayFirst, DateOrder::DayMonthYear, 0, 28},
    };
    for (const Step& step : steps) {
        const ImportResult result = import(step.name, step.content, step.order, step.folder);
        ASSERT_TRUE(result.stored) << step.what;
        ASSERT_TRUE(result.history) << step.what;
        EXPECT_EQ(result.history->added, step.added) << step.what;
        EXPECT_EQ(kept().size(), step.total) << step.what;
        EXPECT_EQ(Archive(archivePath()).Stats().rows, std::int64_t(step.total)) << step.what;
    }
    // Only 9 December remains of D.csv: nothing was left on 12 September.
    for (const KeptReading& reading : kept())
        EXPECT_EQ(FromOleDate(reading.row.Time).month, 12);
    EXPECT_TRUE(m_messages.texts().isEmpty()) << m_messages.texts().join(u'\n').toStdString();
}

// The autumn hour comes twice: both readings of each time are kept, in logged order.
TEST_F(ArchiveTest, ADaylightSavingFallBackFileKeepsAllItsLines)
{
    std::string log = Header;
    for (int pass = 0; pass < 2; ++pass)
        for (int m = 0; m < 60; m += 10)
            log += "2026-10-25 2:" + std::string(m ? "" : "0") + std::to_string(m) + ":00," +
                   std::to_string(10 + pass) + ",50,1,2\n";
    ASSERT_TRUE(import("20261025.csv", log).stored);
    const std::vector<KeptReading> readings = kept();
    ASSERT_EQ(readings.size(), 12u);
    for (std::size_t i = 0; i < readings.size(); i += 2) {
        EXPECT_EQ(readings[i].row.Time, readings[i + 1].row.Time);
        EXPECT_EQ(readings[i].row.Temperature, 10.0f) << "the first hour's reading first";
        EXPECT_EQ(readings[i + 1].row.Temperature, 11.0f);
    }
}

// The store takes every line as its rule says; the history only whole readings.
TEST_F(ArchiveTest, OnlyWholeReadingsInTheStationsRangeAreKept)
{
    const struct
    {
        const char* line;
        bool kept;
    } cases[] = {
        {"2026-12-10 3:00:00,21.5,40,10.1,21.5", true},
        {"2026-12-10 3:05:00,--,--,--,--", true},
        {"2026-12-10 3:06:00, -40.0 ,0,1,2", true},
        {"2026-12-10 3:07:00,60.0,100,1,2", true},
        {"2026-12-10 3:10:00,1.", false}, // cut off
        {"abc,20,40,1,2", false},
        {"9:05:00,21.5,40,1,2", false}, // a time without a date
        {"2026-12-10 3:15:00,abc,40,1,2", false},
        {"2026-12-10 3:16:00,21.5C,40,1,2", false},
        {"2026-12-10 3:17:00,60.1,40,1,2", false},
        {"2026-12-10 3:18:00,20,101,1,2", false},
        {"2026-12-10 3:19:00,20,40.5,1,2", false},
        {"2026-12-10 3:20:00,20,40,1,x", false},
        {"", false},
    };
    std::string log = Header;
    std::size_t keptCount = 0;
    std::size_t firstRefused = 0;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        log += std::string(cases[i].line) + '\n';
        keptCount += cases[i].kept;
        if (!cases[i].kept && firstRefused == 0)
            firstRefused = i + 2;
    }
    const ImportResult result = import("C.csv", log);
    ASSERT_TRUE(result.stored);
    EXPECT_EQ(m_store.rows().size(), std::size(cases)) << "the store imports every line";
    ASSERT_TRUE(result.history);
    EXPECT_EQ(result.history->notKept, std::size(cases) - keptCount);
    EXPECT_EQ(result.history->firstNotKept, firstRefused);
    EXPECT_EQ(kept().size(), keptCount);
    EXPECT_TRUE(ImportSummary(result, QStringLiteral("C.csv"), Language::English)
                    .contains(QStringLiteral("10 lines were not kept in the history; the first "
                                             "is line 6")));

    // A °F file's range is the °F one.
    const std::string hot = "Time,Temperature(F),Humidity(%)\n2026-12-10 3:00:00,140.0,40\n"
                            "2026-12-10 3:05:00,140.1,40\n";
    const ImportResult fahrenheit = import("IN_F.csv", hot);
    ASSERT_TRUE(fahrenheit.history);
    EXPECT_EQ(fahrenheit.history->notKept, 1u);
    ASSERT_EQ(kept(true).size(), 1u);
    EXPECT_TRUE(kept(true)[0].fahrenheit);
}

TEST(ArchiveUnit, TemperaturesConvertExactlyToOneDecimal)
{
    const struct
    {
        float value;
        bool fromF;
        bool toF;
        float expected;
    } cases[] = {
        {70.7f, true, false, 21.5f},
        {21.5f, false, true, 70.7f},
        {-40.0f, true, false, -40.0f},
        {32.0f, true, false, 0.0f},
        {21.3f, false, false, 21.3f},
        {0.0f, false, true, 32.0f},
        {float(NoValue), true, false, float(NoValue)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConvertTemperature(c.value, c.fromF, c.toF), c.expected) << c.value;
}

// Store and history are one transaction: a store that refuses the import keeps the history too.
TEST_F(ArchiveTest, AFailedImportLeavesStoreAndHistoryAsTheyWere)
{
    ASSERT_TRUE(import("A.csv", Header + Lines(0, 10)).stored);
    ASSERT_EQ(m_store.exec("CREATE TRIGGER refuse BEFORE INSERT ON Records WHEN NEW.Time > "
                           "46365.5 BEGIN SELECT RAISE(ABORT, 'refused'); END;"),
              "");
    const ImportResult failed = import("B.csv", Header + Lines(0, 20) + Lines(800, 5));
    EXPECT_FALSE(failed.stored);
    EXPECT_EQ(m_store.rows().size(), 10u);
    EXPECT_EQ(kept().size(), 10u);
    EXPECT_EQ(Archive(archivePath()).Stats().files, 1) << "the failed file is not listed";
    ASSERT_FALSE(m_messages.texts().isEmpty());
}

// A history that cannot be opened is said, and the store takes the import as before.
TEST_F(ArchiveTest, ABrokenHistoryIsToldAndTheStoreStillImports)
{
    std::ofstream(archivePath(), std::ios::binary) << std::string(8192, 'Z');
    const ImportResult result = import("B.csv", Header + Lines(0, 5));
    EXPECT_TRUE(result.stored);
    EXPECT_FALSE(result.history);
    EXPECT_EQ(m_store.rows().size(), 5u);
    ASSERT_EQ(m_messages.texts().size(), 1);
    EXPECT_TRUE(
        m_messages.texts()[0].startsWith(QStringLiteral("The history could not keep B.csv")))
        << m_messages.texts()[0].toStdString();
}

// The earlier version keyed readings by kind and time.
constexpr auto EarlierSchema = R"sql(
CREATE TABLE Files (Id INTEGER PRIMARY KEY, Name TEXT NOT NULL UNIQUE,
    UnitLabel TEXT NOT NULL DEFAULT '', Rows INTEGER NOT NULL DEFAULT 0);
CREATE TABLE Readings (Indoor INTEGER NOT NULL, Time REAL NOT NULL, Temperature REAL,
    Humidity INTEGER, Dewpoint REAL, Heatindex REAL, File INTEGER NOT NULL REFERENCES Files (Id),
    PRIMARY KEY (Indoor, Time)) WITHOUT ROWID;
CREATE VIEW Records AS SELECT Time, Temperature, Humidity, Dewpoint, Heatindex, Time AS rowid
    FROM Readings WHERE Indoor = 0;
INSERT INTO Files VALUES (1, 'A.csv', '(°C)', 2), (2, 'IN_A.csv', '(°F)', 1);
INSERT INTO Readings VALUES (0, 46365.1, 20.5, 50, 1, 2, 1), (0, 46365.0, 20, 50, 1, 2, 1),
    (1, 46365.0, 70.7, 40, 65535, 65535, 2);
)sql";

TEST_F(ArchiveTest, AnEarlierVersionsHistoryIsTakenOverInOneTransaction)
{
    // A table in the way of the upgrade makes it fail halfway: nothing of it may remain.
    std::ofstream(archivePath()).close(); // an empty file is an empty database
    ASSERT_EQ(TempDatabase::Exec(archivePath(),
                                 std::string(EarlierSchema) + "CREATE TABLE OldReadings (x);"),
              "");
    EXPECT_THROW(Archive{archivePath()}, StoreError);
    EXPECT_EQ(TempDatabase::Query(archivePath(), "SELECT count(*) FROM Readings WHERE Indoor = 0"),
              std::vector<std::string>{"2"});
    ASSERT_EQ(TempDatabase::Exec(archivePath(), "DROP TABLE OldReadings;"), "");

    const ArchiveStats stats = Archive(archivePath()).Stats();
    EXPECT_EQ(stats.rows, 3);
    EXPECT_EQ(stats.files, 2);
    ASSERT_EQ(kept().size(), 2u);
    EXPECT_EQ(kept()[0].row.Temperature, 20.0f);
    ASSERT_EQ(kept(true).size(), 1u);
    EXPECT_TRUE(kept(true)[0].fahrenheit);
    // The first import of a taken-over file replaces its readings by its lines.
    const ImportResult again = import("A.csv", Header + Lines(0, 3));
    ASSERT_TRUE(again.history);
    EXPECT_EQ(again.history->added, 1);
    EXPECT_EQ(kept().size(), 3u);
}

// The version before files remembered their date order, with one reading of each kind.
constexpr auto Version2Schema = R"sql(
CREATE TABLE Files (Id INTEGER PRIMARY KEY, Name TEXT NOT NULL, FirstLine INTEGER,
    Indoor INTEGER NOT NULL, UnitLabel TEXT NOT NULL DEFAULT '', Rows INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX FileIdentity ON Files (Name, Indoor, FirstLine);
CREATE TABLE Readings (File INTEGER NOT NULL REFERENCES Files (Id), Line INTEGER NOT NULL,
    Indoor INTEGER NOT NULL, Time REAL NOT NULL, Temperature REAL, Humidity INTEGER,
    Dewpoint REAL, Heatindex REAL, Fahrenheit INTEGER NOT NULL, PRIMARY KEY (File, Line))
    WITHOUT ROWID;
CREATE INDEX ReadingsByTime ON Readings (Indoor, Time);
CREATE VIEW Records AS SELECT Time, Temperature, Humidity, Dewpoint, Heatindex, Time AS rowid
    FROM Readings WHERE Indoor = 0;
INSERT INTO Files VALUES (1, 'A.csv', 7, 0, '(°C)', 1), (2, 'IN_A.csv', 8, 1, '(°F)', 1);
INSERT INTO Readings VALUES (1, 2, 0, 46365.0, 20, 50, 1, 2, 0), (2, 2, 1, 46365.0, 70.7, 40,
    65535, 65535, 1);
PRAGMA user_version = 2;
)sql";

TEST_F(ArchiveTest, AHistoryWithoutDateOrdersIsTakenOverInOneTransaction)
{
    std::ofstream(archivePath()).close();
    ASSERT_EQ(TempDatabase::Exec(archivePath(),
                                 std::string(Version2Schema) + "CREATE TABLE IndoorRecords (x);"),
              "");
    EXPECT_THROW(Archive{archivePath()}, StoreError);
    EXPECT_EQ(TempDatabase::Query(archivePath(), "PRAGMA user_version"),
              std::vector<std::string>{"2"});
    EXPECT_EQ(TempDatabase::Query(archivePath(), "SELECT count(*) FROM pragma_table_info('Files') "
                                                 "WHERE name = 'DateOrder'"),
              std::vector<std::string>{"0"});
    ASSERT_EQ(TempDatabase::Exec(archivePath(), "DROP TABLE IndoorRecords;"), "");

    Archive history(archivePath());
    EXPECT_EQ(history.Stats().rows, 2);
    // Both kinds in the unit of the latest outdoor reading: 70.7 °F is 21.5 °C.
    EXPECT_EQ(TempDatabase::Query(archivePath(), "SELECT Temperature FROM IndoorRecords"),
              std::vector<std::string>{"21.5"});
    EXPECT_EQ(TempDatabase::Query(archivePath(), "SELECT Temperature FROM Records"),
              std::vector<std::string>{"20.0"});
}

// A rebuild reads each local copy's stamps in the order its import read them; a copy the
// history never kept, in the rebuild's own.
TEST_F(ArchiveTest, ARebuildKeepsEachFilesReadingsOnTheirDays)
{
    const std::string dayFirst = Header + Lines(0, 2, true); // 09-12-2026
    const struct
    {
        const char* file;
        std::optional<DateOrder> imported;
        int month;
        int day;
    } cases[] = {{"A.csv", DateOrder::DayMonthYear, 12, 9},
                 {"B.csv", DateOrder::MonthDayYear, 9, 12},
                 {"C.csv", std::nullopt, 9, 12}};
    for (const auto& copy : cases) {
        if (copy.imported)
            import(copy.file, dayFirst, *copy.imported);
        else
            std::ofstream(m_store.folder() / "card" / copy.file, std::ios::binary) << dayFirst;
    }
    // A wrong second import is mended by a right third one, and remembered as such.
    import("A.csv", dayFirst, DateOrder::MonthDayYear);
    import("A.csv", dayFirst, DateOrder::DayMonthYear);

    const RebuildResult rebuilt = RebuildArchive(m_store.folder() / "card", archivePath(),
                                                 DateOrder::MonthDayYear, [](auto&&...) {});
    EXPECT_EQ(rebuilt.files, 3u);
    EXPECT_EQ(rebuilt.readings, 6);
    std::vector<std::pair<int, int>> days;
    for (const KeptReading& reading : kept()) {
        const DateTimeParts parts = FromOleDate(reading.row.Time);
        days.emplace_back(parts.month, parts.day);
    }
    std::vector<std::pair<int, int>> expected;
    for (const auto& copy : cases)
        expected.insert(expected.end(), 2, {copy.month, copy.day});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(days, expected);
}

TEST_F(ArchiveTest, ForgetDropsOneFilesReadings)
{
    import("A.csv", Header + Lines(0, 10));
    import("B.csv", Header + Lines(20, 5));
    const ForgetResult forgotten = Archive(archivePath()).Forget("A.csv");
    EXPECT_EQ(forgotten.files, 1);
    EXPECT_EQ(forgotten.readings, 10);
    EXPECT_EQ(kept().size(), 5u);
    EXPECT_EQ(Archive(archivePath()).Forget("A.csv").files, 0);
}

// The graph and the export read the archive through the record store's own queries.
TEST_F(ArchiveTest, TheStoreReadsTheOutdoorReadingsOfTheArchive)
{
    import("A.csv", Header + Lines(0, 30));
    import("IN_A.csv", "Time,Temperature(C),Humidity(%)\n2026-12-09 5:00:00,1,2\n");
    test::RecordingMessages messages;
    RecordStore store(messages);
    ASSERT_EQ(store.Open(archivePath()), 0);
    ASSERT_EQ(store.SelectStored(-1e9, 1e9), 0);
    int rows = 0;
    for (; !store.AtEnd(); store.MoveNext(), ++rows)
        EXPECT_FLOAT_EQ(store.ReadFloat("Temperature"), float(rows % 50) + 0.5f);
    EXPECT_EQ(rows, 30);
    const double first = kept().front().row.Time;
    ASSERT_EQ(store.CountRange(FormatRangeTime(FromOleDate(first)),
                               FormatRangeTime(FromOleDate(first + 14 / 1440.0)), "Dewpoint"),
              0);
    EXPECT_EQ(store.ReadCount(), 14); // minutes 1..14: the range's start is excluded
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join(u'\n').toStdString();
}

} // namespace
