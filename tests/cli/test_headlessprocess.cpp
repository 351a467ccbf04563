// nimbractl as a separate process: the station commands' wiring, the window's lock as another
// process holds it, and a history merge killed halfway.
#include "archive.h"
#include "ctlprocess.h"
#include "loggenerator.h"
#include "singleinstance.h"

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

TEST_F(HeadlessProcessTest, TheWindowsLockTurnsEveryStationCommandAway)
{
    // The window of this data folder, as the program names its lock.
    SingleInstanceLock window(DefaultLockFolder(), LockName(data()));
    ASSERT_TRUE(window.acquire());
    const Outcome refused = run({u"live"_s, u"--simulate"_s});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(refused.err.count('\n'), 1);
    EXPECT_TRUE(refused.err.contains("window")) << refused.err.toStdString();
    EXPECT_TRUE(window.held());
    window.release();
    EXPECT_EQ(run({u"live"_s, u"--simulate"_s}).exitCode, 0) << "free once the window is gone";
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
