#include "singleinstance.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace nimbra;
using namespace Qt::StringLiterals;

namespace {

// Generous: under the sanitizers a start of the program takes a second or more.
constexpr int StartTimeoutMs = 20000;

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = StartTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

qint64 LockOwner(const QString& lockPath)
{
    qint64 pid = 0;
    QLockFile(lockPath).getLockInfo(&pid, nullptr, nullptr);
    return pid;
}

// Copies of the real program with a private temporary folder, so the lock is theirs alone.
class NimbraProcessTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    void TearDown() override
    {
        for (auto& process : m_processes) {
            process->kill();
            process->waitForFinished();
        }
    }

    QProcess& start(const QString& dataFolder, const QString& program = QStringLiteral(NIMBRA_EXE))
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, m_root.path());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, {u"--data-folder"_s, dataFolder});
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    QString lockPath() const { return m_root.filePath(u"kv7100"_s); }
    QString path(const QString& name) const { return m_root.filePath(name); }

    // The program takes the lock first and sets up its data folder next.
    ::testing::AssertionResult runsWithLock(QProcess& process, const QString& dataFolder)
    {
        if (!process.waitForStarted(StartTimeoutMs))
            return ::testing::AssertionFailure() << "did not start";
        const qint64 pid = process.processId();
        if (!WaitUntil([&] { return LockOwner(lockPath()) == pid; }))
            return ::testing::AssertionFailure() << "never held the lock";
        if (!WaitUntil([&] { return QFileInfo::exists(dataFolder + u"/7100.db"_s); }))
            return ::testing::AssertionFailure() << "never set up " << dataFolder.toStdString();
        return ::testing::AssertionSuccess();
    }

    QTemporaryDir m_root;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace

TEST(SingleInstanceLock, OneHolderAtATimeUntilReleased)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SingleInstanceLock first(dir.path());
    SingleInstanceLock second(dir.path());
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(u"kv7100"_s)));

    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.held());

    first.release();
    EXPECT_FALSE(first.held());
    EXPECT_TRUE(second.acquire());
    EXPECT_TRUE(second.held());
}

TEST(SingleInstanceLock, AnUncreatableLockDoesNotStopTheStart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SingleInstanceLock lock(dir.filePath(u"no/such/folder"_s));
    EXPECT_TRUE(lock.acquire());
    EXPECT_FALSE(lock.held());
}

// The second copy is tried twice: against a fresh lock, and against one an hour old, which a
// lock that goes stale by age alone would hand over while its owner still runs.
TEST_F(NimbraProcessTest, SecondCopyEndsAtOnceAndTheFirstRunsOn)
{
    QProcess& first = start(path(u"data"_s));
    ASSERT_TRUE(runsWithLock(first, path(u"data"_s)));

    for (const bool aged : {false, true}) {
        SCOPED_TRACE(aged ? "aged lock" : "fresh lock");
        if (aged) {
            QFile lock(lockPath());
            ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
            ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                         QFileDevice::FileModificationTime));
        }
        QProcess& second = start(path(u"second"_s));
        ASSERT_TRUE(second.waitForFinished(StartTimeoutMs));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_FALSE(QFileInfo::exists(path(u"second"_s))) << "the second copy went past the lock";
        EXPECT_EQ(first.state(), QProcess::Running);
        EXPECT_EQ(LockOwner(lockPath()), first.processId());
    }
}

TEST_F(NimbraProcessTest, LockOfACopyThatDiedIsTakenOver)
{
    QProcess& crashed = start(path(u"data"_s));
    ASSERT_TRUE(runsWithLock(crashed, path(u"data"_s)));
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(StartTimeoutMs));
    ASSERT_TRUE(QFileInfo::exists(lockPath())) << "a killed copy leaves its lock behind";

    QProcess& next = start(path(u"data"_s));
    EXPECT_TRUE(runsWithLock(next, path(u"data"_s)));
    EXPECT_EQ(next.state(), QProcess::Running);
}

TEST_F(NimbraProcessTest, InstalledLayoutCopiesItsTemplatesIntoAFreshDataFolder)
{
    const QString bin = path(u"prefix/bin"_s);
    const QString share = path(u"prefix/share/nimbra"_s);
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(share));
    ASSERT_TRUE(QFile::copy(QStringLiteral(NIMBRA_EXE), bin + u"/nimbra"_s));
    ASSERT_TRUE(QFile::copy(QStringLiteral(NIMBRA_TEMPLATE_DB), share + u"/7100.db"_s));
    {
        QFile ini(share + u"/Main.ini"_s);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Language]\nLanguage=Deutsch\n");
    }

    const QString data = path(u"fresh/KV7100"_s);
    QProcess& installed = start(data, bin + u"/nimbra"_s);
    ASSERT_TRUE(runsWithLock(installed, data));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(data + u"/Main.ini"_s); }));

    QFile template_(QStringLiteral(NIMBRA_TEMPLATE_DB));
    QFile copy(data + u"/7100.db"_s);
    ASSERT_TRUE(template_.open(QIODevice::ReadOnly));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), template_.readAll());
}

TEST_F(NimbraProcessTest, HelpVersionBadUsageAndAnUnusableFolderEndWithTheirStatus)
{
    QFile file(path(u"file"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    struct Case
    {
        QStringList arguments;
        int exitCode;
        const char* stdoutStart;
        const char* stderrPart;
    };
    const Case cases[] = {
        {{u"--help"_s}, 0, "Usage: nimbra", ""},
        {{u"--version"_s}, 0, "nimbra 1.", ""},
        {{u"--bogus"_s}, 2, "", "nimbra: Unknown option 'bogus'.\nUsage: nimbra"},
        {{u"--data-folder"_s}, 2, "", "nimbra: Missing value after '--data-folder'."},
        {{u"--data-folder"_s, path(u"file/sub"_s)}, 1, "", "nimbra: cannot create the data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, m_root.path());
        // --help and --version need no display; the others get the offscreen one.
        environment.insert(u"QT_QPA_PLATFORM"_s, c.exitCode == 0 ? u"xcb"_s : u"offscreen"_s);
        environment.remove(u"DISPLAY"_s);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(NIMBRA_EXE), c.arguments);
        ASSERT_TRUE(process.waitForFinished(StartTimeoutMs));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.exitCode);
        EXPECT_TRUE(process.readAllStandardOutput().startsWith(c.stdoutStart));
        const QByteArray errors = process.readAllStandardError();
        EXPECT_TRUE(errors.contains(c.stderrPart)) << errors.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(lockPath())) << "no start took the lock for good";
}
