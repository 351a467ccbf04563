// The kept history through nimbractl processes: imports at once, one unit, honest failures,
// and forget and rebuild killed halfway.
#include "archive.h"
#include "ctlprocess.h"
#include "loggenerator.h"
#include "tempdatabase.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace nimbra;
using namespace std::chrono;
using namespace Qt::StringLiterals;

namespace {

using Outcome = test::CtlOutcome;

const std::string OutdoorHeader = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";

// rows five-minute lines from 2026-12-09 0:00 on, every temperature the same.
std::string Log(const std::string& header, int rows, const std::string& values, int day = 9)
{
    std::string log = header;
    for (int i = 0; i < rows; ++i) {
        const int minute = i * 5;
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "2026-12-%02d %d:%02d:00,", day + minute / 1440,
                      minute / 60 % 24, minute % 60);
        log += stamp + values + '\n';
    }
    return log;
}

class HistoryProcessTest : public ::testing::Test
{
protected:
    QString data() const { return m_root.filePath(u"data"_s); }
    std::filesystem::path database() const { return (data() + u"/7100.db"_s).toStdString(); }
    std::filesystem::path archive() const { return (data() + u"/history.db"_s).toStdString(); }

    QProcess* start(const QStringList& arguments, const QString& folder = {})
    {
        auto* process = new QProcess;
        test::StartCtl(*process, folder.isEmpty() ? data() : folder, arguments);
        m_processes.emplace_back(process);
        return process;
    }
    Outcome run(const QStringList& arguments, const QString& folder = {})
    {
        return test::FinishCtl(*start(arguments, folder));
    }
    QString write(const QString& name, const std::string& content) const
    {
        QFile file(m_root.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return file.fileName();
    }
    ArchiveStats stats() const { return Archive(archive()).Stats(); }
    // Kills the process once its first change reached the history's journal.
    void killWhenWriting(QProcess* victim)
    {
        ASSERT_TRUE(victim->waitForStarted());
        test::WaitForFile(*victim, data() + u"/history.db-journal"_s, milliseconds(0));
        victim->kill();
        victim->waitForFinished();
    }

    QTemporaryDir m_root;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// Each import keeps exactly the rows it parsed, whatever the other one does meanwhile.
TEST_F(HistoryProcessTest, TwentyConcurrentImportPairsNeverMix)
{
    const QString outdoor = write(u"A.csv"_s, Log(OutdoorHeader, 3000, "11.1,40,1.5,11.1"));
    const QString indoor =
        write(u"IN_A.csv"_s, Log("Time,Temperature(C),Humidity(%)\n", 3000, "33.3,40"));
    for (int pair = 0; pair < 20; ++pair) {
        QProcess* first = start({u"import"_s, outdoor});
        QProcess* second = start({u"import"_s, indoor});
        const Outcome a = test::FinishCtl(*first);
        const Outcome b = test::FinishCtl(*second);
        ASSERT_EQ(a.exitCode, 0) << a.err.toStdString();
        ASSERT_EQ(b.exitCode, 0) << b.err.toStdString();
    }
    for (const bool inside : {false, true}) {
        std::int64_t count = 0;
        Archive(archive()).ForEach(-1e9, 1e9, inside, [&](const KeptReading& reading) {
            ++count;
            ASSERT_EQ(reading.row.Temperature, inside ? 33.3f : 11.1f);
        });
        EXPECT_EQ(count, 3000);
    }
    EXPECT_EQ(stats().rows, 6000);
    const auto rows = test::TempDatabase::Rows(database());
    ASSERT_EQ(rows.size(), 3000u);
    EXPECT_EQ(rows.front().Temperature, rows.back().Temperature) << "the store holds one file";
}

TEST_F(HistoryProcessTest, FahrenheitAndCelsiusFilesComeOutInOneUnit)
{
    ASSERT_EQ(
        run({u"import"_s, write(u"C.csv"_s, Log(OutdoorHeader, 2, "21.5,40,10.0,21.5"))}).exitCode,
        0);
    const std::string fahrenheit = "Time,Temperature(F),Humidity(%),DewPoint(F),HeatIndex(F)\n";
    ASSERT_EQ(
        run({u"import"_s, write(u"F.csv"_s, Log(fahrenheit, 2, "70.7,40,50.0,70.7", 10))}).exitCode,
        0);
    const Outcome celsius = run({u"history"_s, u"--unit"_s, u"C"_s});
    ASSERT_EQ(celsius.exitCode, 0) << celsius.err.toStdString();
    EXPECT_EQ(celsius.out, "Time,Temperature(°C),Humidity(%),DewPoint(°C),HeatIndex(°C)\n"
                           "2026-12-09 00:00:00,21.5,40,10,21.5\n"
                           "2026-12-09 00:05:00,21.5,40,10,21.5\n"
                           "2026-12-10 00:00:00,21.5,40,10,21.5\n"
                           "2026-12-10 00:05:00,21.5,40,10,21.5\n");
    // By default the unit the station logged in last.
    const Outcome latest =
        run({u"history"_s, u"--from"_s, u"2026-12-09"_s, u"--to"_s, u"2026-12-09"_s});
    EXPECT_EQ(latest.out, "Time,Temperature(°F),Humidity(%),DewPoint(°F),HeatIndex(°F)\n"
                          "2026-12-09 00:00:00,70.7,40,50,70.7\n"
                          "2026-12-09 00:05:00,70.7,40,50,70.7\n");
}

TEST_F(HistoryProcessTest, DailySummariesComeFromTheHistoryInOneUnit)
{
    const std::string celsius = OutdoorHeader + "2026-12-09 1:00:00,20.5,40,1,2\n"
                                                "2026-12-09 13:00:00,22.5,--,1,2\n"
                                                "2026-12-10 1:00:00,--,60,1,2\n";
    ASSERT_EQ(run({u"import"_s, write(u"C.csv"_s, celsius)}).exitCode, 0);
    const std::string fahrenheit = "Time,Temperature(F),Humidity(%),DewPoint(F),HeatIndex(F)\n"
                                   "2026-12-11 1:00:00,70.7,50,1,2\n";
    ASSERT_EQ(run({u"import"_s, write(u"F.csv"_s, fahrenheit)}).exitCode, 0);
    const Outcome csv = run({u"history"_s, u"--daily"_s, u"--unit"_s, u"C"_s});
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    EXPECT_EQ(csv.out, "Day,Readings,TemperatureMin(°C),TemperatureMax(°C),TemperatureMean(°C),"
                       "HumidityMin(%),HumidityMax(%),HumidityMean(%)\n"
                       "2026-12-09,2,20.5,22.5,21.5,40.0,40.0,40.0\n"
                       "2026-12-10,1,,,,60.0,60.0,60.0\n"
                       "2026-12-11,1,21.5,21.5,21.5,50.0,50.0,50.0\n");
    const Outcome json =
        run({u"history"_s, u"--daily"_s, u"--json"_s, u"--from"_s, u"2026-12-10"_s});
    EXPECT_EQ(json.out, R"({"days":[{"day":"2026-12-10","humidity":{"max":60,"mean":60,"min":60},)"
                        R"("readings":1,"temperature":null},{"day":"2026-12-11","humidity":)"
                        R"({"max":50,"mean":50,"min":50},"readings":1,"temperature":{"max":70.7,)"
                        R"("mean":70.7,"min":70.7}}],"unit":"F"})"
                        "\n");
}

// Every failure says so, exits with its status and leaves the output file and the store alone.
TEST_F(HistoryProcessTest, FailuresExitWithTheirStatusAndChangeNothing)
{
    ASSERT_EQ(run({u"import"_s, write(u"B.csv"_s, Log(OutdoorHeader, 3, "20,40,1,2"))}).exitCode,
              0);
    const QString keep = write(u"keep.csv"_s, "kept as it was\n");
    const QString missing = m_root.filePath(u"missing"_s);
    const QString aFile = keep;
    const struct
    {
        QStringList arguments;
        QString folder;
        int status;
        const char* says;
    } cases[] = {
        {{u"history"_s, u"--output"_s, keep}, missing, 1, "no data folder"},
        {{u"history"_s, u"--stats"_s}, missing, 1, "no data folder"},
        {{u"history"_s, u"--stats"_s}, aFile, 1, "no data folder"},
        {{u"history"_s, u"--from"_s, u"2026-12-10"_s, u"--to"_s, u"2026-12-09"_s, u"--output"_s,
          keep},
         {},
         2,
         "later than"},
        {{u"export"_s, u"--from"_s, u"2026-12-10"_s, u"--to"_s, u"2026-12-09"_s, u"--output"_s,
          keep},
         {},
         2,
         "later than"},
        {{u"history"_s, u"--forget"_s, u"never.csv"_s}, {}, 1, "keeps nothing of never.csv"},
        {{u"import"_s, write(u"picture.csv"_s, std::string("\x89PNG\r\n\x1a\n\0\0,(", 12))},
         {},
         1,
         "is not a station log"},
        {{u"import"_s, write(u"empty.csv"_s, "")}, {}, 1, "holds no readings"},
        {{u"import"_s, write(u"header.csv"_s, OutdoorHeader)},
         {},
         1,
         "holds no readings; the store is unchanged"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(c.arguments, c.folder);
        const std::string line = c.arguments.join(u' ').toStdString();
        EXPECT_EQ(outcome.exitCode, c.status) << line;
        EXPECT_TRUE(outcome.err.contains(c.says)) << line << ": " << outcome.err.toStdString();
        QFile kept(keep);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "kept as it was\n") << line;
        EXPECT_EQ(test::TempDatabase::Rows(database()).size(), 3u) << line;
        EXPECT_EQ(stats().rows, 3) << line;
    }
}

TEST_F(HistoryProcessTest, ARenamedFileIsImportedAsTheKindItIsSaidToBe)
{
    const QString renamed =
        write(u"garden.csv"_s, Log("Time,Temperature(C),Humidity(%)\n", 4, "20,40"));
    const Outcome outcome = run({u"import"_s, renamed, u"--indoor"_s});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.contains(", indoor")) << outcome.out.toStdString();
    EXPECT_EQ(run({u"history"_s, u"--indoor"_s}).out.count('\n'), 1 + 4);
    EXPECT_EQ(run({u"import"_s, renamed, u"--indoor"_s, u"--outdoor"_s}).exitCode, 2);
}

// Forget and rebuild are one transaction each: killed in the middle, the history is as before.
TEST_F(HistoryProcessTest, ForgetAndRebuildKilledHalfwayLeaveTheHistoryAsItWas)
{
    ASSERT_EQ(
        run({u"import"_s, write(u"small.csv"_s, Log(OutdoorHeader, 50, "20,40,1,2"))}).exitCode, 0);
    // Local copies, as fetch leaves them, for the rebuild to read.
    LogRecipe recipe;
    recipe.start = sys_days(2025y / 3 / 1);
    recipe.interval = minutes(1);
    recipe.rows = 150000;
    for (const char* name : {"20261201.csv", "20261202.csv", "20261203.csv"}) {
        QFile copy(data() + u'/' + QLatin1String(name));
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(QByteArray::fromStdString(generateLog(recipe)));
        ++recipe.seed;
    }
    ASSERT_EQ(run({u"import"_s, data() + u"/20261201.csv"_s}).exitCode, 0);
    const ArchiveStats before = stats();
    ASSERT_EQ(before.rows, 50 + 150000);

    killWhenWriting(start({u"history"_s, u"--rebuild"_s}));
    EXPECT_EQ(stats().rows, before.rows);
    EXPECT_EQ(stats().files, before.files);

    QProcess* forget = start({u"history"_s, u"--forget"_s, u"20261201.csv"_s});
    killWhenWriting(forget);
    const ArchiveStats forgotten = stats();
    if (forget->exitStatus() == QProcess::NormalExit)
        EXPECT_EQ(forgotten.rows, 50) << "it ended before the kill: all of it went";
    else
        EXPECT_EQ(forgotten.rows, before.rows);
    EXPECT_EQ(run({u"history"_s}).out.count('\n'), 1 + forgotten.rows) << "the rows themselves";

    const Outcome rebuilt = run({u"history"_s, u"--rebuild"_s});
    ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.err.toStdString();
    EXPECT_TRUE(rebuilt.out.contains("3/3 20261203.csv\n")) << rebuilt.out.toStdString();
    EXPECT_EQ(stats().rows, 3 * 150000) << "from the local copies alone";
    EXPECT_EQ(stats().files, 3);
}

} // namespace
