// nimbractl as a separate process: the station commands' wiring, a station held by another
// process, and a history merge killed halfway.
#include "archive.h"
#include "ctlprocess.h"
#include "loggenerator.h"
#include "singleinstance.h"
#include "stationhold.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

class HeadlessProcessTest : public ::testing::Test
{
protected:
    QString data() const { return m_root.filePath(u"data"_s); }

    QProcess* start(QStringList arguments)
    {
        auto* process = new QProcess;
        test::StartCtl(*process, data(), arguments);
        m_processes.emplace_back(process);
        return process;
    }
    Outcome run(const QStringList& arguments) { return test::FinishCtl(*start(arguments)); }
    QString writeLog(const QString& name, int rows)
    {
        LogRecipe recipe;
        recipe.start = sys_days(2025y / 3 / 1);
        recipe.interval = minutes(1);
        recipe.rows = rows;
        const std::string content = generateLog(recipe);
        QFile file(m_root.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return file.fileName();
    }
    ArchiveStats stats() const
    {
        return Archive(std::filesystem::path(data().toStdString()) / ArchiveFileName).Stats();
    }

    QTemporaryDir m_root;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(HeadlessProcessTest, LiveOnTheEmulatorIsOneJsonObjectOfEightChannels)
{
    const Outcome live = run({u"live"_s, u"--json"_s, u"--simulate"_s});
    ASSERT_EQ(live.exitCode, 0) << live.err.toStdString();
    ASSERT_TRUE(live.out.endsWith('\n'));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(live.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << live.out.toStdString();
    const QJsonArray channels = document.object()["channels"_L1].toArray();
    ASSERT_EQ(channels.size(), 8);
    for (const QJsonValue& channel : channels)
        EXPECT_TRUE(channel.toObject()["temperature"_L1].isDouble());
}

// Emulated stations of this test's own: their holds never meet the user's programs.
QString StationOfThisTest(const char* name)
{
    return u"test-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(QLatin1String(name));
}

// Waits for the first line a watching process writes: by then it holds its station.
bool FirstLine(QProcess& process)
{
    process.waitForStarted();
    const auto deadline = steady_clock::now() + seconds(60);
    while (!process.canReadLine() && process.state() == QProcess::Running &&
           steady_clock::now() < deadline)
        process.waitForReadyRead(100);
    return process.canReadLine();
}

TEST_F(HeadlessProcessTest, OneStationOneHolderWhateverTheDataFoldersUntilItIsKilled)
{
    const QString station = StationOfThisTest("cellar");
    QProcess* holder =
        start({u"live"_s, u"--simulate"_s, u"--station"_s, station, u"--watch"_s, u"1"_s});
    ASSERT_TRUE(FirstLine(*holder));

    QProcess other;
    test::StartCtl(other, m_root.filePath(u"elsewhere"_s),
                   {u"live"_s, u"--simulate"_s, u"--station"_s, station});
    const Outcome refused = test::FinishCtl(other);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(refused.err.count('\n'), 1);
    EXPECT_TRUE(refused.err.contains(
        u"is held by nimbractl live (pid %1)"_s.arg(holder->processId()).toUtf8()))
        << refused.err.toStdString();

    holder->kill(); // SIGKILL: no chance to let go by itself
    ASSERT_TRUE(holder->waitForFinished());
    EXPECT_EQ(run({u"live"_s, u"--simulate"_s, u"--station"_s, station}).exitCode, 0)
        << "the dead holder's hold went with it";
}

TEST_F(HeadlessProcessTest, TwoStationsAreDrivenAtOnceByTwoPrograms)
{
    std::vector<QProcess*> watchers;
    for (const char* name : {"attic", "garage"})
        watchers.push_back(start({u"live"_s, u"--json"_s, u"--simulate"_s, u"--station"_s,
                                  StationOfThisTest(name), u"--watch"_s, u"1"_s}));
    for (QProcess* watcher : watchers) {
        ASSERT_TRUE(FirstLine(*watcher)) << watcher->readAllStandardError().toStdString();
        EXPECT_TRUE(QJsonDocument::fromJson(watcher->readLine()).isObject());
        EXPECT_TRUE(FirstLine(*watcher)) << "still reading while the other one runs";
    }
    for (QProcess* watcher : watchers) {
        watcher->terminate();
        watcher->waitForFinished();
    }
    // Ended by a signal, they could not remove their hold files; nothing of the test stays.
    const StationHolds holds(DefaultLockFolder().toStdString(), {});
    for (const char* name : {"attic", "garage"})
        QFile::remove(
            QString::fromStdString(holds.fileOf(StationOfThisTest(name).toStdString()).string()));
}

// Each run of the emulator is a process of its own; what was written to it stays in the data
// folder for the next one, as the window's emulator keeps it.
TEST_F(HeadlessProcessTest, TheEmulatorKeepsWhatWasWrittenToItInTheDataFolder)
{
    ASSERT_TRUE(QDir().mkpath(data()));
    ASSERT_EQ(run({u"interval"_s, u"35"_s, u"--simulate"_s}).exitCode, 0);
    const Outcome settings = run({u"settings"_s, u"--json"_s, u"--simulate"_s});
    ASSERT_EQ(settings.exitCode, 0) << settings.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(settings.out).object()["intervalMinutes"_L1].toInt(), 35);
}

// The merge is one transaction in a journal of its own: a process killed in the middle of
// half a million readings leaves the history as it was before, and whole.
TEST_F(HeadlessProcessTest, AMergeKilledHalfwayLeavesTheHistoryAsItWas)
{
    ASSERT_EQ(run({u"import"_s, writeLog(u"20250301.csv"_s, 50)}).exitCode, 0);
    const ArchiveStats before = stats();
    ASSERT_EQ(before.rows, 50);

    QProcess* victim = start({u"import"_s, writeLog(u"20250302.csv"_s, 500000)});
    ASSERT_TRUE(victim->waitForStarted());
    test::WaitForFile(*victim, data() + u"/history.db-journal"_s, milliseconds(100));
    ASSERT_EQ(victim->state(), QProcess::Running) << "the merge ended before it could be killed";
    victim->kill();
    ASSERT_TRUE(victim->waitForFinished());
    EXPECT_EQ(victim->exitStatus(), QProcess::CrashExit);

    const ArchiveStats after = stats();
    EXPECT_EQ(after.rows, before.rows);
    EXPECT_EQ(after.files, before.files);
    EXPECT_EQ(after.last, before.last);
    const Outcome csv = run({u"history"_s});
    EXPECT_EQ(csv.out.count('\n'), 1 + 50) << "the rows themselves, not just the count";
}

} // namespace
