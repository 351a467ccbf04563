#include "datafolder.h"
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
#include <unistd.h>

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

// Copies of the real program, each test's on data folders of its own, so the locks are theirs
// alone.
class NimbraProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(m_runtime.isValid());
    }

    void TearDown() override
    {
        for (auto& process : m_processes) {
            process->kill();
            process->waitForFinished();
        }
    }

    // A copy with XDG_RUNTIME_DIR set to a private folder of its own, or with none at all.
    QProcess& start(const QString& dataFolder, const QString& program = QStringLiteral(NIMBRA_EXE),
                    bool runtimeFolder = true)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (runtimeFolder)
            environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        else
            environment.remove(u"XDG_RUNTIME_DIR"_s);
        // The shared temporary folder is not where the lock belongs.
        environment.insert(u"TMPDIR"_s, m_root.path());
        // Nothing of the user's home is read or written.
        environment.insert(u"HOME"_s, m_root.path());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, {u"--data-folder"_s, dataFolder});
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    // Where the program keeps the lock for a data folder: the same place for every copy of
    // this user, whatever its environment.
    static QString lockPath(const QString& dataFolder)
    {
        return SingleInstanceLock(DefaultLockFolder(), LockName(dataFolder)).fileName();
    }
    QString path(const QString& name) const { return m_root.filePath(name); }

    // The program takes the lock first and sets up its data folder next.
    ::testing::AssertionResult runsWithLock(QProcess& process, const QString& dataFolder)
    {
        if (!process.waitForStarted(StartTimeoutMs))
            return ::testing::AssertionFailure() << "did not start";
        const qint64 pid = process.processId();
        if (!WaitUntil([&] { return LockOwner(lockPath(dataFolder)) == pid; }))
            return ::testing::AssertionFailure() << "never held the lock";
        if (!WaitUntil([&] { return QFileInfo::exists(dataFolder + u"/7100.db"_s); }))
            return ::testing::AssertionFailure() << "never set up " << dataFolder.toStdString();
        return ::testing::AssertionSuccess();
    }

    QTemporaryDir m_root;
    QTemporaryDir m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace

TEST(SingleInstanceLock, OneHolderAtATimeUntilReleased)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SingleInstanceLock first(dir.path(), u"kv7100"_s);
    SingleInstanceLock second(dir.path(), u"kv7100"_s);
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
    for (const QString& folder : {dir.filePath(u"no/such/folder"_s), QString()}) {
        SingleInstanceLock lock(folder, u"kv7100"_s);
        EXPECT_TRUE(lock.acquire());
        EXPECT_FALSE(lock.held());
    }
    EXPECT_FALSE(QFileInfo::exists(u"kv7100"_s)) << "no folder is not the working folder";
}

// The runtime folder the system made for the user, else one of the program's own in the
// temporary folder; never a folder another user made or may enter.
TEST(SingleInstanceLock, TheLockFolderIsTheUsersAlone)
{
    const uint me = ::getuid();
    const QString id = QString::number(me);
    enum Runtime
    {
        None,
        Private,
        OpenToOthers
    };
    struct Case
    {
        const char* name;
        Runtime runtime;
        QFileDevice::Permissions ownMode; // of an own folder already there; {} for none
        bool ownIsLink;
        const char* expected; // "runtime", "own" or "" (refused)
    };
    const QFileDevice::Permissions userOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const Case cases[] = {
        {"the system's runtime folder", Private, {}, false, "runtime"},
        {"no runtime folder", None, {}, false, "own"},
        {"a runtime folder others may enter", OpenToOthers, {}, false, "own"},
        {"an own folder from an earlier start", None, userOnly, false, "own"},
        {"an own folder others may enter", None, userOnly | QFileDevice::ExeOther, false, ""},
        {"a link in place of the own folder", None, {}, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir roots;
        ASSERT_TRUE(roots.isValid());
        QDir(roots.path()).mkpath(u"run/"_s + id);
        QDir(roots.path()).mkpath(u"tmp/elsewhere"_s);
        const QString runtime = roots.filePath(u"run/"_s + id);
        const QString own = roots.filePath(u"tmp/nimbra-"_s + id);
        if (c.runtime == None)
            ASSERT_TRUE(QDir(runtime).removeRecursively());
        else
            QFile::setPermissions(runtime,
                                  c.runtime == Private
                                      ? userOnly
                                      : userOnly | QFileDevice::ReadOther | QFileDevice::ExeOther);
        if (c.ownMode) {
            ASSERT_TRUE(QDir().mkdir(own));
            QFile::setPermissions(own, c.ownMode);
        }
        if (c.ownIsLink) {
            QFile::setPermissions(roots.filePath(u"tmp/elsewhere"_s), userOnly);
            ASSERT_TRUE(QFile::link(roots.filePath(u"tmp/elsewhere"_s), own));
        }
        const QString expected = c.expected == std::string("runtime") ? runtime
                                 : c.expected == std::string("own")   ? own
                                                                      : QString();
        EXPECT_EQ(PrivateLockFolder(roots.filePath(u"run"_s), roots.filePath(u"tmp"_s), me),
                  expected);
        if (expected == own) {
            EXPECT_EQ((QFileInfo(own).permissions() & 0x7077).toInt(), 0x7000);
        }
    }
}

// What this user made is another user's folder to that user: the names are the same, the
// owner is not, and both are refused.
TEST(SingleInstanceLock, AFolderAnotherUserOwnsIsRefused)
{
    QTemporaryDir roots;
    ASSERT_TRUE(roots.isValid());
    const uint other = ::getuid() + 1;
    ASSERT_TRUE(QDir(roots.path()).mkpath(u"run/"_s + QString::number(other)));
    ASSERT_TRUE(QDir(roots.path()).mkpath(u"tmp"_s));
    EXPECT_EQ(PrivateLockFolder(roots.filePath(u"run"_s), roots.filePath(u"tmp"_s), other),
              QString());
}

TEST(SingleInstanceLock, OneLockNamePerDataFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(LockName(DefaultDataFolder()), u"kv7100"_s);
    EXPECT_EQ(LockName(dir.filePath(u"a"_s)), LockName(dir.filePath(u"b/../a/"_s)));
    EXPECT_NE(LockName(dir.filePath(u"a"_s)), LockName(dir.filePath(u"b"_s)));
    EXPECT_NE(LockName(dir.filePath(u"a"_s)), u"kv7100"_s);
}

// The second copy is tried twice: against a fresh lock, and against one an hour old, which a
// lock that goes stale by age alone would hand over while its owner still runs. A copy that
// went past the lock would run its window and not end.
TEST_F(NimbraProcessTest, SecondCopyEndsAtOnceAndTheFirstRunsOn)
{
    const QString data = path(u"data"_s);
    QProcess& first = start(data);
    ASSERT_TRUE(runsWithLock(first, data));

    for (const bool aged : {false, true}) {
        SCOPED_TRACE(aged ? "aged lock" : "fresh lock");
        if (aged) {
            QFile lock(lockPath(data));
            ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
            ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                         QFileDevice::FileModificationTime));
        }
        QProcess& second = start(data);
        ASSERT_TRUE(second.waitForFinished(StartTimeoutMs)) << "the second copy went past the lock";
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_EQ(first.state(), QProcess::Running);
        EXPECT_EQ(LockOwner(lockPath(data)), first.processId());
    }
}

// The lock does not follow XDG_RUNTIME_DIR: a copy started with it and one started without it
// exclude each other, whichever comes first, and neither puts the lock in TMPDIR.
TEST_F(NimbraProcessTest, CopiesWithAndWithoutARuntimeFolderExcludeEachOther)
{
    for (const bool firstHasRuntime : {true, false}) {
        SCOPED_TRACE(firstHasRuntime ? "first with XDG_RUNTIME_DIR" : "first without");
        const QString data = path(firstHasRuntime ? u"with"_s : u"without"_s);
        QProcess& first = start(data, QStringLiteral(NIMBRA_EXE), firstHasRuntime);
        ASSERT_TRUE(runsWithLock(first, data));
        QProcess& second = start(data, QStringLiteral(NIMBRA_EXE), !firstHasRuntime);
        ASSERT_TRUE(second.waitForFinished(StartTimeoutMs)) << "both copies run";
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_EQ(LockOwner(lockPath(data)), first.processId());
        first.kill();
        first.waitForFinished();
    }
    EXPECT_TRUE(QDir(m_root.path()).entryList({u"kv7100*"_s}).isEmpty());
    EXPECT_TRUE(QDir(m_runtime.path()).entryList({u"kv7100*"_s}).isEmpty());
}

TEST_F(NimbraProcessTest, LockOfACopyThatDiedIsTakenOver)
{
    QProcess& crashed = start(path(u"data"_s));
    ASSERT_TRUE(runsWithLock(crashed, path(u"data"_s)));
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(StartTimeoutMs));
    ASSERT_TRUE(QFileInfo::exists(lockPath(path(u"data"_s))))
        << "a killed copy leaves its lock behind";

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
    EXPECT_FALSE(QFileInfo::exists(lockPath(path(u"file/sub"_s))))
        << "no start took the lock for good";
}
