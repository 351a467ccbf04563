#include "logimport.h"
#include "oledate.h"
#include "recordingmessages.h"
#include "tempdatabase.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::RecordingMessages;
using nimbra::test::TempDatabase;

namespace {

constexpr float None = float(NoValue);
const char* const OutdoorHeader = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";

class LogImportTest : public ::testing::Test
{
protected:
    ImportResult import(const std::string& name, const std::string& content,
                        DateOrder order = DateOrder::YearMonthDay)
    {
        const auto path = m_db.folder() / name;
        std::ofstream(path, std::ios::binary) << content;
        return ImportLogFile(path, name, m_db.path(), order, m_messages, m_texts);
    }

    std::vector<std::string> row(std::size_t index) const
    {
        std::vector<std::string> cells;
        for (int column = 0; column < RecordTexts::Columns; ++column)
            cells.emplace_back(m_texts.field(index, column));
        return cells;
    }

    TempDatabase m_db;
    RecordingMessages m_messages;
    RecordTexts m_texts;
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

TEST_F(LogImportTest, OutdoorLinesBecomeRowsAndTexts)
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
    ASSERT_EQ(m_texts.size(), 5u);
    EXPECT_EQ(row(0),
              (std::vector<std::string>{"2017-03-04 9:05:07", "21.5C", "55", "10.2", "21.5"}));
    EXPECT_EQ(row(1), (std::vector<std::string>{"2017-03-04 9:10:07", "--", "--", "--", "--"}));
    EXPECT_EQ(row(2), (std::vector<std::string>{"", "", "", "", ""}));
    EXPECT_EQ(row(3), (std::vector<std::string>{"bad", "1", "2", "3", "4," + longField}));
    EXPECT_EQ(m_texts.cell(4, 1), QString::fromUtf8("\u00B0"));

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
    EXPECT_EQ(row(0),
              (std::vector<std::string>{"2017-03-04 9:05:07", "70.7", "55,10.2,21.5", "", ""}));
    const auto rows = m_db.rows();
    ASSERT_EQ(rows.size(), 2u);
    ExpectRow(rows[0], {Ole(2017, 3, 4, 9, 5, 7), 70.7f, 55, None, None});
    ExpectRow(rows[1], {Ole(2017, 3, 4, 9, 10, 7), 70.9f, NoValue, None, None});
}

TEST_F(LogImportTest, CrLfAndLfFilesImportAlike)
{
    const std::string lf = std::string(OutdoorHeader) + "2017-03-04 9:05:07,21.5,55,10.2,21.5\n"
                                                        "\n"
                                                        "2017-03-04 9:10:07,21.6,56,10.3,21.6\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);

    import("lf.csv", lf);
    const auto lfRows = m_db.rows();
    const auto lfLine = std::string(m_texts.line(2));
    import("crlf.csv", crlf);
    const auto crlfRows = m_db.rows();
    ASSERT_EQ(lfRows.size(), 3u);
    ASSERT_EQ(crlfRows.size(), 3u);
    for (std::size_t i = 0; i < lfRows.size(); ++i)
        ExpectRow(crlfRows[i], lfRows[i]);
    EXPECT_EQ(std::string(m_texts.line(2)), lfLine);
    EXPECT_EQ(m_texts.line(1), "");
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
    EXPECT_EQ(m_texts.size(), 1u);
    EXPECT_TRUE(m_texts.indoor());
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
    EXPECT_EQ(m_texts.size(), 100u);
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
                                               DateOrder::YearMonthDay, m_messages, m_texts);
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.stored);
    EXPECT_TRUE(m_messages.texts().isEmpty());
    EXPECT_EQ(m_db.rows().size(), 1u);

    const auto log = m_db.folder() / "first.csv";
    const ImportResult noDatabase = ImportLogFile(log, "first.csv", m_db.folder() / "none.db",
                                                  DateOrder::YearMonthDay, m_messages, m_texts);
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
    const ImportResult result = ImportLogFile(unreadable, "copy.csv", m_db.path(),
                                              DateOrder::YearMonthDay, m_messages, m_texts);
    EXPECT_TRUE(result.opened);
    EXPECT_FALSE(result.stored);
    ASSERT_EQ(m_messages.texts().size(), 1);
    EXPECT_TRUE(m_messages.texts()[0].endsWith(QStringLiteral("copy.csv")))
        << m_messages.texts()[0].toStdString();
    EXPECT_EQ(m_db.rows().size(), 1u);

    ImportLogFile(unreadable, "copy.csv", m_db.path(), DateOrder::YearMonthDay, m_messages, m_texts,
                  Language::German);
    ASSERT_EQ(m_messages.texts().size(), 2);
    EXPECT_TRUE(m_messages.texts()[1].startsWith(QStringLiteral("Lesefehler: ")))
        << m_messages.texts()[1].toStdString();
}

TEST_F(LogImportTest, AnEmptyFileEmptiesTheStore)
{
    import("first.csv", std::string(OutdoorHeader) + "2017-03-04 9:00:00,1,1,1,1\n");
    const ImportResult result = import("empty.csv", "");
    EXPECT_TRUE(result.stored);
    EXPECT_EQ(result.rows, 0u);
    EXPECT_EQ(result.unitLabel, QString());
    EXPECT_TRUE(m_db.rows().empty());
}
