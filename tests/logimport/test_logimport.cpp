#include "logimport.h"
#include "oledate.h"
#include "recordingmessages.h"
#include "tempdatabase.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace Qt::StringLiterals;
using nimbra::test::RecordingMessages;
using nimbra::test::TempDatabase;

namespace {

constexpr float None = float(NoValue);
const char* const OutdoorHeader = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";

class LogImportTest : public ::testing::Test
{
protected:
    ImportResult import(const std::string& name, const std::string& content,
                        DateOrder order = DateOrder::YearMonthDay, bool complete = true)
    {
        const auto path = m_db.folder() / name;
        std::ofstream(path, std::ios::binary) << content;
        return ImportLogFile(path, name, m_db.path(), order, m_messages, {.complete = complete});
    }

    TempDatabase m_db;
    RecordingMessages m_messages;
};

void ExpectRow(const RecordRow& actual, const RecordRow& expected)
{
    EXPECT_EQ(actual.Time, expected.Time);
    EXPECT_EQ(actual.Temperature, expected.Temperature);
    EXPECT_EQ(actual.Humidity, expected.Humidity);
    EXPECT_EQ(actual.Dewpoint, expected.Dewpoint);
    EXPECT_EQ(actual.Heatindex, expected.Heatindex);
}

double Ole(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return ToOleDate({year, month, day, hour, minute, second});
}

} // namespace

TEST_F(LogImportTest, OutdoorLinesBecomeRows)
{
    const std::string longField(100, 'x');
    const ImportResult result =
        import("20170304.csv", std::string(OutdoorHeader) +
                                   "2017-03-04 9:05:07,21.5C,55,10.2,21.5\n"
                                   "2017-03-04 9:10:07,--,--,--,--\n"
                                   "\n"
                                   "bad,1,2,3,4," +
                                   longField + "\n2017-03-04 9:20:07,\xB0,7");
    EXPECT_TRUE(result.opened);
    EXPECT_TRUE(result.stored);
    EXPECT_FALSE(result.indoor);
    EXPECT_EQ(result.unitLabel, QString::fromUtf8("(\u00B0C)"));
    ASSERT_EQ(result.rows, 5u);

    const auto rows = m_db.rows();
    ASSERT_EQ(rows.size(), 5u);
    ExpectRow(rows[0], {Ole(2017, 3, 4, 9, 5, 7), 21.5f, 55, 10.2f, 21.5f});
    ExpectRow(rows[1], {Ole(2017, 3, 4, 9, 10, 7), None, NoValue, None, None});
    ExpectRow(rows[2], {0.0, 0.0f, 0, 0.0f, 0.0f});
    ExpectRow(rows[3], {0.0, 1.0f, 2, 3.0f, 4.0f});
    // A short line: the split wraps around to the front of the line.
    ExpectRow(rows[4], {Ole(2017, 3, 4, 9, 20, 7), 0.0f, 0, 2017.0f, 0.0f});
    EXPECT_TRUE(m_messages.texts().isEmpty());
}

TEST_F(LogImportTest, IndoorFilesKeepExtraFieldsInTheHumidityText)
{
    const ImportResult result = import("IN20170304.csv", "Time,Temperature(F),Humidity(%)\n"
                                                         "2017-03-04 9:05:07,70.7,55,10.2,21.5\n"
                                                         "2017-03-04 9:10:07,70.9,--\n");
    EXPECT_TRUE(result.indoor);
    EXPECT_EQ(result.unitLabel, QString::fromUtf8("(\u00B0F)"));
    const auto rows = m_db.rows();
    ASSERT_EQ(rows.size(), 2u);
    ExpectRow(rows[0], {Ole(2017, 3, 4, 9, 5, 7), 70.7f, 55, None, None});
    ExpectRow(rows[1], {Ole(2017, 3, 4, 9, 10, 7), 70.9f, NoValue, None, None});
}

TEST_F(LogImportTest, LfCrLfAndLoneCrEndLinesAlike)
{
    const std::string lf = std::string(OutdoorHeader) + "2017-03-04 9:05:07,21.5,55,10.2,21.5\n"
                                                        "\n"
                                                        "2017-03-04 9:10:07,21.6,56,10.3,21.6\n";
    import("lf.csv", lf);
    const auto lfRows = m_db.rows();
    ASSERT_EQ(lfRows.size(), 3u);
    EXPECT_EQ(lfRows[1].Time, 0.0); // the blank line is a row
    for (const char* end : {"\r\n", "\r"}) {
        std::string other;
        for (char c : lf)
            other += c == '\n' ? std::string(end) : std::string(1, c);
        const ImportResult result = import("other.csv", other);
        EXPECT_EQ(result.unitLabel, QString::fromUtf8("(\u00B0C)"));
        const auto rows = m_db.rows();
        ASSERT_EQ(rows.size(), lfRows.size()) << "line end " << int(end[1]);
        for (std::size_t i = 0; i < lfRows.size(); ++i)
            ExpectRow(rows[i], lfRows[i]);
    }
}

// The reader takes the file in large pieces: a CR LF split between two of them is still one
// line end, and a line cut by a piece's end is still one line.
TEST_F(LogImportTest, LineEndsSplitBetweenReadsCountOnce)
{
    const std::string line = "2017-03-04 9:05:07,21.5,55,10.2,21.5";
    for (const std::size_t shift : {0, 1, 17}) {
        std::string log = OutdoorHeader;
        std::size_t lines = 0;
        // Up to the first piece's last byte, which falls on a CR (shift 0), within a line or
        // on an LF.
        const std::size_t piece = MaxLogLineLength + (std::size_t(1) << 20);
        while (log.size() + line.size() + 2 <= piece - shift) {
            log += line + "\r\n";
            ++lines;
        }
        log += std::string(piece - shift - log.size() - 1, ' ') + "\r\n" + line + "\r\n";
        lines += 2;
        const ImportResult result = import("split.csv", log);
        EXPECT_EQ(result.rows, lines) << "shift " << shift;
        EXPECT_EQ(m_db.rows().size(), lines) << "shift " << shift;
    }
}

TEST_F(LogImportTest, AnIncompleteCopyLeavesOutItsCutLastLine)
{
    const std::string whole = std::string(OutdoorHeader) + "2026-11-13 3:40:00,1,1,1,1\r\n";
    struct Case
    {
        std::string content;
        bool complete;
        std::size_t rows;
    };
    const Case cases[] = {
        {whole + "2026-11-13 3:44", false, 1},
        {whole + "2026-11-13 3:44", true, 2},
        {whole + "2026-11-13 3:45:00,2,2,2,2\r", false, 2},
        {whole, false, 1},
        {"Time,Temperature(C)", false, 0},
    };
    for (const Case& c : cases) {
        const ImportResult result =
            import("cut.csv", c.content, DateOrder::YearMonthDay, c.complete);
        EXPECT_TRUE(result.stored);
        EXPECT_EQ(result.rows, c.rows) << c.content;
        const auto rows = m_db.rows();
        ASSERT_EQ(rows.size(), c.rows) << c.content;
        for (const RecordRow& row : rows)
            EXPECT_NE(row.Time, Ole(2026, 11, 13, 3, 44)) << "the cut line was stored";
    }
    const ImportResult partial = import("cut.csv", whole + "2026", DateOrder::YearMonthDay, false);
    EXPECT_EQ(ImportSummary(partial, QStringLiteral("cut.csv"), Language::English),
              QStringLiteral("1 row was imported from the incomplete copy of cut.csv."));
    EXPECT_TRUE(m_messages.texts().isEmpty());
}

TEST_F(LogImportTest, ALineAbove64KiBIsRefusedByNumberAndTheStoreKeepsItsRows)
{
    import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n");
    const std::string good = "2017-03-04 9:05:00,2,2,2,2\n";
    const std::string longest =
        "2017-03-04 9:05:00,3,3,3," + std::string(MaxLogLineLength - 25, '4');
    ASSERT_EQ(longest.size(), MaxLogLineLength);

    const ImportResult fits = import("fits.csv", OutdoorHeader + good + longest);
    EXPECT_TRUE(fits.stored);
    EXPECT_EQ(fits.rows, 2u);
    EXPECT_TRUE(m_messages.texts().isEmpty());

    import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n");
    int messages = 0;
    for (const std::string& end : {std::string("\n"), std::string()}) {
        const ImportResult refused =
            import("long.csv", OutdoorHeader + good + longest + "4" + end + good);
        EXPECT_FALSE(refused.stored);
        EXPECT_EQ(refused.tooLongLine, 3u);
        ASSERT_EQ(m_messages.texts().size(), ++messages);
        EXPECT_TRUE(m_messages.texts().last().startsWith(QStringLiteral("Line 3 of ")))
            << m_messages.texts().last().toStdString();
        const auto rows = m_db.rows();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].Temperature, 1.0f);
    }
}

TEST_F(LogImportTest, AmbiguousStampsFollowTheStationsDateFormatElseTheLocale)
{
    const std::string log = std::string(OutdoorHeader) + "03-04-2017 9:00:00,1,1,1,1\n";
    import("a.csv", log, DateOrder::DayMonthYear);
    EXPECT_EQ(m_db.rows().at(0).Time, Ole(2017, 4, 3, 9));
    import("a.csv", log, DateOrder::MonthDayYear);
    EXPECT_EQ(m_db.rows().at(0).Time, Ole(2017, 3, 4, 9));
    import("a.csv", log, DateOrder::Unknown);
    EXPECT_EQ(m_db.rows().at(0).Time, SystemDateOrder() == DateOrder::DayMonthYear
                                          ? Ole(2017, 4, 3, 9)
                                          : Ole(2017, 3, 4, 9));
}

TEST_F(LogImportTest, ASecondImportReplacesTheFirst)
{
    import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n"
                                                     "2017-03-04 9:05:00,2,2,2,2\n");
    ASSERT_EQ(m_db.exec("INSERT INTO Param VALUES ('a', 'b')"), "");
    const ImportResult second = import("IN2.csv", "Time,Temperature(C),Humidity(%)\n"
                                                  "2018-01-01 0:00:00,3,3\n");
    EXPECT_TRUE(second.stored);
    const auto rows = m_db.rows();
    ASSERT_EQ(rows.size(), 1u);
    ExpectRow(rows[0], {Ole(2018, 1, 1), 3.0f, 3, None, None});
    EXPECT_TRUE(second.indoor);
}

TEST_F(LogImportTest, AStoreThatRefusesWritesSaysSoOnceAndKeepsItsRows)
{
    import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n");
    // Refuses the third row, as a full disk would in the middle of a file.
    ASSERT_EQ(m_db.exec("CREATE TRIGGER refuse BEFORE INSERT ON Records WHEN NEW.Humidity = 3 "
                        "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END"),
              "");
    std::string log = OutdoorHeader;
    for (int i = 1; i <= 100; ++i)
        log += "2017-03-05 9:00:00,5," + std::to_string(i) + ",5,5\n";
    const ImportResult result = import("second.csv", log);
    EXPECT_TRUE(result.opened);
    EXPECT_FALSE(result.stored);
    EXPECT_EQ(result.rows, 100u);
    ASSERT_EQ(m_messages.texts().size(), 1);
    EXPECT_TRUE(m_messages.texts()[0].startsWith(QStringLiteral("database or disk is full")))
        << m_messages.texts()[0].toStdString();
    const auto rows = m_db.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Temperature, 1.0f);
}

TEST_F(LogImportTest, AMissingCopyOrDatabaseIsReportedAndNothingIsLost)
{
    import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n");
    const ImportResult missing = ImportLogFile(m_db.folder() / "gone.csv", "gone.csv", m_db.path(),
                                               DateOrder::YearMonthDay, m_messages);
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.stored);
    EXPECT_TRUE(m_messages.texts().isEmpty());
    EXPECT_EQ(m_db.rows().size(), 1u);

    const auto log = m_db.folder() / "first.csv";
    const ImportResult noDatabase = ImportLogFile(log, "first.csv", m_db.folder() / "none.db",
                                                  DateOrder::YearMonthDay, m_messages);
    EXPECT_TRUE(noDatabase.opened);
    EXPECT_FALSE(noDatabase.stored);
    EXPECT_EQ(noDatabase.rows, 1u);
    EXPECT_EQ(m_messages.texts().size(), 1);
}

// A copy that opens but cannot be read (a folder, which only POSIX lets fopen open) is half a
// file at best: the store keeps its rows and the message names the copy.
TEST_F(LogImportTest, ACopyThatCannotBeReadKeepsThePreviousRows)
{
#ifdef _WIN32
    GTEST_SKIP() << "a folder cannot be opened as a file here";
#endif
    import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n");
    const auto unreadable = m_db.folder() / "copy.csv";
    ASSERT_TRUE(std::filesystem::create_directory(unreadable));
    const ImportResult result =
        ImportLogFile(unreadable, "copy.csv", m_db.path(), DateOrder::YearMonthDay, m_messages);
    EXPECT_TRUE(result.opened);
    EXPECT_FALSE(result.stored);
    ASSERT_EQ(m_messages.texts().size(), 1);
    EXPECT_TRUE(m_messages.texts()[0].endsWith(QStringLiteral("copy.csv")))
        << m_messages.texts()[0].toStdString();
    EXPECT_EQ(m_db.rows().size(), 1u);

    ImportLogFile(unreadable, "copy.csv", m_db.path(), DateOrder::YearMonthDay, m_messages,
                  {.language = Language::German});
    ASSERT_EQ(m_messages.texts().size(), 2);
    EXPECT_TRUE(m_messages.texts()[1].startsWith(QStringLiteral("Lesefehler: ")))
        << m_messages.texts()[1].toStdString();
}

TEST_F(LogImportTest, AFileWithoutReadingsEmptiesTheStoreAndSaysSo)
{
    for (const char* content : {"", OutdoorHeader, "Time,Temperature(C)\r"}) {
        import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n");
        const ImportResult result = import("empty.csv", content);
        EXPECT_TRUE(result.stored);
        EXPECT_EQ(result.rows, 0u);
        EXPECT_TRUE(m_db.rows().empty());
        EXPECT_EQ(ImportSummary(result, QStringLiteral("empty.csv"), Language::English),
                  QStringLiteral("empty.csv holds no readings: 0 rows were imported."));
    }
    const ImportResult some = import("some.csv", std::string(OutdoorHeader) + "1,1,1,1,1");
    EXPECT_EQ(ImportSummary(some, QStringLiteral("some.csv"), Language::English),
              QStringLiteral("1 line was not kept in the history: line 2."));
}

// One counted thing reads in the singular, more in the plural, in both languages.
TEST(ImportSummaryTest, CountsReadInTheSingularForOne)
{
    struct Case
    {
        std::size_t rows;
        std::size_t notKept;
        Language language;
        QString said;
    };
    const Case cases[] = {
        {1, 0, Language::German,
         u"1 Zeile wurde aus der unvollständigen Kopie von a.csv importiert."_s},
        {2, 0, Language::German,
         u"2 Zeilen wurden aus der unvollständigen Kopie von a.csv importiert."_s},
        {0, 1, Language::German,
         u"0 Zeilen wurden aus der unvollständigen Kopie von a.csv importiert.\n"
         u"1 Zeile wurde nicht in den Verlauf übernommen: Zeile 7."_s},
        {0, 3, Language::English,
         u"0 rows were imported from the incomplete copy of a.csv.\n"
         u"3 lines were not kept in the history; the first is line 7."_s},
    };
    for (const Case& c : cases) {
        ImportResult result;
        result.stored = true;
        result.complete = false;
        result.rows = c.rows;
        result.history = ArchiveWriteResult{};
        result.history->notKept = c.notKept;
        result.history->firstNotKept = 7;
        EXPECT_EQ(ImportSummary(result, u"a.csv"_s, c.language), c.said) << c.rows << c.notKept;
    }
}
