// nimbractl as a separate process: a round trip through the store, its failures, and an import
// killed halfway.
#include "ctlprocess.h"
#include "loggenerator.h"
#include "tempdatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace nimbra;
using namespace Qt::StringLiterals;

namespace {

using Outcome = test::CtlOutcome;

class NimbractlTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return m_root.filePath(name); }
    QString data() const { return path(u"data"_s); }
    std::filesystem::path database() const { return (data() + u"/7100.db"_s).toStdString(); }

    Outcome run(const QStringList& arguments) const
    {
        QProcess process;
        test::StartCtl(process, data(), arguments);
        return test::FinishCtl(process);
    }

    QString write(const QString& name, const std::string& content) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return file.fileName();
    }

    QTemporaryDir m_root;
};

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// A field of the exported CSV against the field of the log it came from.
bool SameValue(const std::string& exported, const std::string& logged)
{
    if (logged.find("--") != std::string::npos)
        return exported.empty();
    const auto number = [](const std::string& text) {
        float value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    };
    return !exported.empty() && number(exported) == number(logged);
}

// The station writes the hour without a leading zero, the export with two digits.
std::string twoDigitHour(std::string stamp)
{
    const std::size_t space = stamp.find(' ');
    if (space != std::string::npos && stamp.find(':', space) == space + 2)
        stamp.insert(space + 1, "0");
    return stamp;
}

} // namespace

TEST_F(NimbractlTest, ImportThenExportGivesBackTheLog)
{
    for (const bool indoor : {false, true}) {
        SCOPED_TRACE(indoor ? "indoor" : "outdoor");
        LogRecipe recipe;
        recipe.start = std::chrono::sys_days{std::chrono::year{2026} / 12 / 1};
        recipe.rows = 600;
        recipe.indoor = indoor;
        recipe.missingEvery = 7;
        const std::string log = generateLog(recipe);
        const QString name = QString::fromStdString(
            logFileName(std::chrono::sys_days{std::chrono::year{2026} / 12 / 1}, indoor));

        const Outcome import = run({u"import"_s, write(name, log)});
        ASSERT_EQ(import.exitCode, 0) << import.err.toStdString();
        EXPECT_EQ(import.out.toStdString(), indoor ? "600 rows imported, unit label (°C), indoor\n"
                                                   : "600 rows imported, unit label (°C)\n");
        const Outcome exported = run({u"export"_s, u"--output"_s, path(u"out.csv"_s)});
        ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
        QFile out(path(u"out.csv"_s));
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const auto lines = Split(out.readAll().toStdString(), '\n');
        const auto source = Split(log, '\n');
        ASSERT_EQ(lines.size(), source.size());
        EXPECT_EQ(lines[0], "Time,Temperature,Humidity,DewPoint,HeatIndex");
        for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
            SCOPED_TRACE(source[i]);
            const auto got = Split(lines[i], ',');
            const auto want = Split(source[i], ',');
            ASSERT_EQ(got.size(), 5u);
            EXPECT_EQ(got[0], twoDigitHour(want[0]));
            for (std::size_t f = 1; f < 5; ++f)
                EXPECT_TRUE(f < want.size() ? SameValue(got[f], want[f]) : got[f].empty());
        }
    }
    const Outcome range = run(
        {u"export"_s, u"--from"_s, u"2026-12-01 0:05:00"_s, u"--to"_s, u"2026-12-01 0:10:00"_s});
    EXPECT_EQ(range.exitCode, 0);
    EXPECT_EQ(range.out.count('\n'), 3);
}

// The store keeps a line whose time does not parse; the export gives it no invented time.
TEST_F(NimbractlTest, ARowWithoutATimeExportsAnEmptyTime)
{
    const std::string log = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n"
                            "abc,20.5,40,1,2\n2017-02-30 9:00:00,21,41,1,2\n"
                            "2017-03-04 9:00:00,22,42,1,2\n";
    ASSERT_EQ(run({u"import"_s, write(u"odd.csv"_s, log)}).exitCode, 0);
    EXPECT_EQ(run({u"export"_s}).out.toStdString(),
              "Time,Temperature,Humidity,DewPoint,HeatIndex\n,20.5,40,1,2\n,21,41,1,2\n"
              "2017-03-04 09:00:00,22,42,1,2\n");
}

TEST_F(NimbractlTest, FailuresSayWhyOnOneLineAndLeaveTheStore)
{
    const QString log = write(u"a.csv"_s, "Time,Temperature(C)\n2017-03-04 9:00:00,1,1,1,1\n");
    ASSERT_EQ(run({u"import"_s, log}).exitCode, 0);

    const Outcome missing = run({u"import"_s, path(u"gone.csv"_s)});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.count('\n'), 1) << missing.err.toStdString();
    EXPECT_TRUE(missing.err.startsWith("nimbractl: cannot read"));

    const Outcome folder = run({u"import"_s, m_root.path()});
    EXPECT_EQ(folder.exitCode, 1);

    const Outcome tooLong = run(
        {u"import"_s, write(u"long.csv"_s, "Time,Temperature(C)\n1,1,1,1,1\n" +
                                               std::string(200 * 1024, '7') + "\n1,1,1,1,1\n")});
    EXPECT_EQ(tooLong.exitCode, 1);
    EXPECT_EQ(tooLong.err.count('\n'), 1) << tooLong.err.toStdString();
    EXPECT_TRUE(tooLong.err.startsWith("nimbractl: Line 3 of ")) << tooLong.err.toStdString();

    test::TempDatabase::Exec(database(), "CREATE TRIGGER refuse BEFORE INSERT ON Records BEGIN "
                                         "SELECT RAISE(ABORT, 'database or disk is full'); END");
    const Outcome refused = run({u"import"_s, log});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err.toStdString(),
              "nimbractl: database or disk is full (SQLite error 1811)\n");
    EXPECT_TRUE(refused.out.isEmpty());

    const Outcome usage = run({u"import"_s});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(usage.err.contains("Usage: nimbractl"));
    EXPECT_EQ(test::TempDatabase::Rows(database()).size(), 1u);
}

TEST_F(NimbractlTest, LoneCrLineEndsImportAndAnImportWithoutRowsSaysSo)
{
    struct Case
    {
        std::string log;
        const char* out;
        bool noReadings; // refused, the store keeps its rows
    };
    const Case cases[] = {
        {"Time,Temperature(C),Humidity(%)\r2017-03-04 9:00:00,1,1,1,1\r2017-03-04 "
         "9:05:00,2,2,2,2\r",
         "2 rows imported, unit label (°C)\n", false},
        {"Time,Temperature(C),Humidity(%)\r\n", "", true},
        {"", "", true},
    };
    for (const Case& c : cases) {
        const Outcome import = run({u"import"_s, write(u"a.csv"_s, c.log)});
        EXPECT_EQ(import.exitCode, c.noReadings ? 1 : 0);
        EXPECT_EQ(import.out.toStdString(), c.out);
        EXPECT_EQ(import.err.contains("a.csv holds no readings; the store is unchanged."),
                  c.noReadings)
            << import.err.toStdString();
        EXPECT_EQ(test::TempDatabase::Rows(database()).size(), 2u);
    }
}

// A store changed by other tools may hold humidities beyond any integer: they come out clamped.
TEST_F(NimbractlTest, HumiditiesBeyondTheIntegerRangeExportClamped)
{
    const QString log = write(u"a.csv"_s, "Time,Temperature(C)\n2017-03-04 9:00:00,1,1,1,1\n"
                                          "2017-03-04 9:05:00,2,2,2,2\n");
    ASSERT_EQ(run({u"import"_s, log}).exitCode, 0);
    ASSERT_EQ(test::TempDatabase::Exec(database(),
                                       "UPDATE Records SET Humidity=1e30 WHERE rowid=1;"
                                       "UPDATE Records SET Humidity=-1e30 WHERE rowid=2"),
              "");
    const Outcome exported = run({u"export"_s});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const auto lines = Split(exported.out.toStdString(), '\n');
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Split(lines[1], ',').at(2), "2147483647");
    EXPECT_EQ(Split(lines[2], ',').at(2), "-2147483648");
}

// Holds an exclusive lock on a database while it lives, as another program writing to it does.
class ExclusiveLock
{
public:
    explicit ExclusiveLock(const std::filesystem::path& database)
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        m_db.reset(raw);
        m_held = sqlite3_exec(raw, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    bool held() const { return m_held; }

private:
    Database m_db;
    bool m_held = false;
};

// A store that cannot be read leaves an earlier export as it was, byte for byte, and no
// half-written file beside it. The store opens lazily: most of these fail only at the first
// read, after the output has been opened.
TEST_F(NimbractlTest, AFailedExportLeavesTheOutputFileAsItWas)
{
    ASSERT_EQ(run({u"import"_s, write(u"a.csv"_s, "Time,Temperature(C)\n2017-03-04 9:00:00,1,1,"
                                                  "1,1\n")})
                  .exitCode,
              0);
    QFile store(data() + u"/7100.db"_s);
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    const QByteArray good = store.readAll();
    store.close();
    const auto replaceStore = [&](const QByteArray& bytes) {
        ASSERT_TRUE(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
        store.write(bytes);
        store.close();
    };
    std::mt19937 random(7);
    QByteArray noise(8192, 0);
    for (char& byte : noise)
        byte = static_cast<char>(random());

    struct Case
    {
        const char* name;
        std::function<void()> spoil;
    };
    std::unique_ptr<ExclusiveLock> lock;
    const Case cases[] = {
        {"no store", [&] { store.remove(); }},
        {"random bytes", [&] { replaceStore(noise); }},
        {"truncated", [&] { replaceStore(good.left(good.size() / 2)); }},
        {"foreign schema",
         [&] {
             store.remove();
             sqlite3* raw = nullptr;
             sqlite3_open_v2(database().c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
             const Database foreign(raw);
             sqlite3_exec(raw, "CREATE TABLE Readings (At REAL, Value REAL)", nullptr, nullptr,
                          nullptr);
         }},
        {"locked",
         [&] {
             lock = std::make_unique<ExclusiveLock>(database());
             ASSERT_TRUE(lock->held());
         }},
    };
    const QByteArray earlier("earlier export\n\0\xFF", 17);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        replaceStore(good);
        c.spoil();
        const QString output = write(u"out.csv"_s, earlier.toStdString());
        const Outcome exported = run({u"export"_s, u"--output"_s, output});
        lock.reset();
        EXPECT_EQ(exported.exitCode, 1);
        EXPECT_EQ(exported.err.count('\n'), 1) << exported.err.toStdString();
        QFile out(output);
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        EXPECT_EQ(out.readAll(), earlier);
        EXPECT_EQ(QDir(m_root.path()).entryList({u"out.csv*"_s}, QDir::Files),
                  QStringList{u"out.csv"_s});
    }
}

// The import is one transaction: a process killed in the middle of a million lines leaves the
// rows of the file before it, all of them.
TEST_F(NimbractlTest, AnImportKilledHalfwayLeavesThePreviousRows)
{
    const std::string small = "Time,Temperature(C)\n2017-03-04 9:00:00,1,1,1,1\n"
                              "2017-03-04 9:05:00,2,2,2,2\n2017-03-04 9:10:00,3,3,3,3\n";
    ASSERT_EQ(run({u"import"_s, write(u"small.csv"_s, small)}).exitCode, 0);
    const auto before = test::TempDatabase::Rows(database());
    ASSERT_EQ(before.size(), 3u);

    const QString big = path(u"big.csv"_s);
    {
        std::FILE* out = std::fopen(big.toLocal8Bit().constData(), "wb");
        std::fputs("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\r\n", out);
        for (int i = 0; i < 1000000; ++i)
            std::fprintf(out, "2018-%02d-%02d %d:%02d:00,%d.5,%d,10.5,21.5\r\n", i % 12 + 1,
                         i % 28 + 1, i % 24, i % 60, i % 40, i % 100);
        std::fclose(out);
    }
    QProcess victim;
    victim.start(QStringLiteral(NIMBRACTL_EXE), {u"--data-folder"_s, data(), u"import"_s, big});
    ASSERT_TRUE(victim.waitForStarted());
    // The journal appears with the first change to the database file; wait until the import
    // has written a good part beyond that.
    const QString journal = data() + u"/7100.db-journal"_s;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!QFile::exists(journal) && victim.state() == QProcess::Running &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(victim.state(), QProcess::Running) << "the import ended before it could be killed";
    victim.kill();
    ASSERT_TRUE(victim.waitForFinished());
    EXPECT_EQ(victim.exitStatus(), QProcess::CrashExit);

    const auto after = test::TempDatabase::Rows(database());
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].Time, before[i].Time);
        EXPECT_EQ(after[i].Temperature, before[i].Temperature);
    }
}
