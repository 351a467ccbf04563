// nimbractl's station commands end to end on one emulated station, in process, so that the
// station's card and the data folder carry over from one command to the next.
#include "archive.h"
#include "emulatedbus.h"
#include "fetchprogress.h"
#include "headless.h"
#include "livereadings.h"
#include "loggenerator.h"
#include "stationhold.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace nimbra;
using namespace std::chrono;
using namespace Qt::StringLiterals;
using namespace std::string_literals;

namespace {

constexpr const char* Path = "emulated:greenhouse";
const sys_days Today = 2026y / December / 1d;

// A stream whose text a test reads back.
class Capture
{
public:
    Capture() : m_file(std::tmpfile()) {}
    ~Capture() { std::fclose(m_file); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    std::FILE* file() const { return m_file; }
    // What was written since the last take.
    std::string take()
    {
        std::fflush(m_file);
        const long end = std::ftell(m_file);
        std::string text(static_cast<std::size_t>(end - m_read), '\0');
        std::fseek(m_file, m_read, SEEK_SET);
        text.resize(std::fread(text.data(), 1, text.size(), m_file));
        m_read = end;
        std::fseek(m_file, 0, SEEK_END);
        return text;
    }

private:
    std::FILE* m_file;
    long m_read = 0;
};

struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string Log(int daysAgo, int rows, bool indoor = false)
{
    LogRecipe recipe;
    recipe.start = Today - days(daysAgo);
    recipe.rows = rows;
    recipe.indoor = indoor;
    recipe.missingEvery = 7;
    return generateLog(recipe);
}

QStringList Words(const char* line)
{
    return QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts);
}

class HeadlessTest : public ::testing::Test
{
protected:
    HeadlessTest()
    {
        m_station = m_bus.addStation(Path);
        m_station->edit([](StationModel& model) {
            model.card().put("20261129.csv", Log(2, 288));
            model.card().put("IN20261130.csv", Log(1, 100, true));
            model.card().put("20261201.csv", Log(0, 40));
        });
        m_env.out = m_out.file();
        m_env.err = m_err.file();
        m_env.transport = [this](const StationChoice&) -> HidTransport& { return m_bus; };
        m_env.timing = Timing().scaled(0.05);
        m_env.machineHolds = m_holdFolder.path().toStdString();
        m_env.emulatedHolds = m_env.machineHolds;
        m_env.defaultDataFolder = m_data.path();
        // What start-up copies into a new data folder.
        std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, m_data.filePath(u"7100.db"_s).toStdString());
        std::filesystem::permissions(m_data.filePath(u"7100.db"_s).toStdString(),
                                     std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }

    // The words of a command line; a word may hold spaces.
    Outcome run(QStringList arguments)
    {
        arguments.prepend(u"nimbractl"_s);
        Outcome outcome;
        outcome.status = RunHeadlessCommand(arguments, m_env).value_or(-1);
        outcome.out = m_out.take();
        outcome.err = m_err.take();
        return outcome;
    }
    std::filesystem::path archive() const
    {
        return std::filesystem::path(m_data.path().toStdString()) / ArchiveFileName;
    }
    // The names of the files the station was asked for chunks of, and the first offset each.
    std::vector<std::pair<std::string, std::uint32_t>> chunkRequests() const
    {
        std::vector<std::pair<std::string, std::uint32_t>> asked;
        for (const ReceivedReport& report : m_station->received()) {
            const Payload payload = report.payload();
            if (payload[1] != std::uint8_t(Command::FileChunk))
                continue;
            // "{", code, the name, the start and end offsets (big-endian): our names end in
            // ".csv".
            const std::string bytes(payload.begin() + 2, payload.end());
            const std::size_t end = bytes.find(".csv") + 4;
            const std::string name = bytes.substr(0, end);
            std::uint32_t start = 0;
            for (std::size_t b = end; b < end + 4; ++b)
                start = start << 8 | static_cast<std::uint8_t>(bytes[b]);
            if (asked.empty() || asked.back().first != name)
                asked.emplace_back(name, start);
        }
        return asked;
    }

    QTemporaryDir m_data;
    QTemporaryDir m_holdFolder;
    EmulatedBus m_bus;
    std::shared_ptr<EmulatedStation> m_station;
    Capture m_out;
    Capture m_err;
    HeadlessEnvironment m_env;
};

TEST_F(HeadlessTest, LiveJsonIsTheEmulatorsChannels)
{
    m_station->edit([](StationModel& model) {
        for (int c = 1; c <= ChannelCount; ++c)
            model.channels().fix(c, static_cast<std::int16_t>(-95 + 37 * c),
                                 static_cast<std::uint8_t>(20 + 9 * c));
        model.channels().setTemperatureMissing(3);
        model.channels().setHumidityMissing(5);
    });
    const Outcome live = run({u"live"_s, u"--json"_s});
    ASSERT_EQ(live.status, 0) << live.err;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(live.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << live.out;
    const QJsonObject object = document.object();
    EXPECT_EQ(object["unit"_L1].toString(), u"\u00B0C"_s);
    EXPECT_TRUE(QDateTime::fromString(object["time"_L1].toString(), Qt::ISODate).isValid());
    const QJsonArray channels = object["channels"_L1].toArray();
    ASSERT_EQ(channels.size(), ChannelCount);
    for (int c = 1; c <= ChannelCount; ++c) {
        SCOPED_TRACE(c);
        const QJsonObject channel = channels[c - 1].toObject();
        const double temperature = (-95 + 37 * c) / 10.0;
        const int humidity = 20 + 9 * c;
        EXPECT_EQ(channel["channel"_L1].toInt(), c);
        if (c == 3)
            EXPECT_TRUE(channel["temperature"_L1].isNull());
        else
            EXPECT_NEAR(channel["temperature"_L1].toDouble(), temperature, 1e-9);
        if (c == 5)
            EXPECT_TRUE(channel["humidity"_L1].isNull());
        else
            EXPECT_EQ(channel["humidity"_L1].toInt(-1), humidity);
        if (c == 3 || c == 5)
            EXPECT_TRUE(channel["dew_point"_L1].isNull());
        else
            EXPECT_NEAR(channel["dew_point"_L1].toDouble(),
                        ComputeDewPoint(static_cast<float>(temperature), humidity), 0.051);
    }
}

TEST_F(HeadlessTest, TheNightlyFetchTakesOnlyWhatChanged)
{
    const Outcome first = run(Words("fetch --all --new"));
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(chunkRequests().size(), 3u);
    const ArchiveStats before = Archive(archive()).Stats();
    EXPECT_EQ(before.rows, 288 + 100 + 40);
    EXPECT_EQ(before.files, 3);

    m_station->clearReceived();
    const Outcome second = run(Words("fetch --all --new"));
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, "nothing to fetch\n");
    EXPECT_TRUE(chunkRequests().empty());

    // The station logs on into its newest file.
    const std::string grown = Log(0, 40 + 6);
    const std::size_t oldSize = m_station->state().files.back().content.size();
    ASSERT_EQ(grown.substr(0, oldSize), m_station->state().files.back().content);
    m_station->putFile("20261201.csv", grown);
    m_station->clearReceived();
    const Outcome third = run(Words("fetch --all --new"));
    ASSERT_EQ(third.status, 0) << third.err;
    const auto asked = chunkRequests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, "20261201.csv");
    EXPECT_EQ(asked[0].second, oldSize) << "resumed after the bytes it had";
    EXPECT_NE(third.out.find("46 rows imported, 6 new in the history"), std::string::npos)
        << third.out;
    const ArchiveStats after = Archive(archive()).Stats();
    EXPECT_EQ(after.rows, before.rows + 6);
    EXPECT_EQ(after.files, 3);

    // Outdoor and indoor come out apart, in the export's form.
    const Outcome outdoor = run({u"history"_s});
    ASSERT_EQ(outdoor.status, 0) << outdoor.err;
    EXPECT_EQ(std::count(outdoor.out.begin(), outdoor.out.end(), '\n'), 1 + 288 + 46);
    EXPECT_EQ(outdoor.out.substr(0, outdoor.out.find('\n')),
              "Time,Temperature(°C),Humidity(%),DewPoint(°C),HeatIndex(°C)");
    const Outcome indoor = run({u"history"_s, u"--indoor"_s, u"--from"_s, u"2026-11-30 0:00:00"_s,
                                u"--to"_s, u"2026-11-30 0:25:00"_s});
    ASSERT_EQ(indoor.status, 0) << indoor.err;
    EXPECT_EQ(std::count(indoor.out.begin(), indoor.out.end(), '\n'), 1 + 6);
    const Outcome stats = run(Words("history --stats"));
    EXPECT_NE(stats.out.find("rows:  434\nfirst: 2026-11-29 0:00:00\n"), std::string::npos)
        << stats.out;
}

// A history that cannot be read leaves an earlier output file as it was; a whole one replaces it.
TEST_F(HeadlessTest, HistoryReplacesItsOutputFileOnlyWhenWhole)
{
    const QString output = m_data.filePath(u"history.csv"_s);
    const auto contents = [&] {
        QFile file(output);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    {
        QFile file(output);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("an earlier export\n");
        QFile broken(QString::fromStdString(archive().string()));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(8192, '\x5a'));
    }
    const Outcome failed = run({u"history"_s, u"--output"_s, output});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("the history cannot be read"), std::string::npos) << failed.err;
    EXPECT_EQ(contents(), QByteArray("an earlier export\n"));

    std::filesystem::remove(archive());
    ASSERT_EQ(run(Words("fetch 20261201.csv")).status, 0);
    ASSERT_EQ(run({u"history"_s, u"--output"_s, output}).status, 0);
    EXPECT_TRUE(
        contents().startsWith("Time,Temperature(°C),Humidity(%),DewPoint(°C),HeatIndex(°C)\n"));
    EXPECT_EQ(contents().count('\n'), 1 + 40);
}

TEST_F(HeadlessTest, AStationPulledMidFetchIsResumedByTheNextRun)
{
    m_station->unplugAtDataReport(30); // within the first file's first chunk
    const Outcome pulled = run(Words("fetch --all --new"));
    EXPECT_EQ(pulled.status, 1);
    EXPECT_NE(pulled.out.find("20261129.csv: incomplete"), std::string::npos) << pulled.out;
    EXPECT_FALSE(pulled.err.empty());

    m_bus.plug(Path);
    m_station->clearReceived();
    const Outcome resumed = run(Words("fetch --all --new"));
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(Archive(archive()).Stats().rows, 288 + 100 + 40);
    const auto asked = chunkRequests();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0].first, "20261129.csv");
}

TEST_F(HeadlessTest, TheWindowKeepsTheStation)
{
    const StationHolds windows(m_env.machineHolds, "nimbra");
    const HoldAttempt window = windows.take(Path);
    ASSERT_TRUE(window.hold);
    const int opens = m_bus.openCount(Path);
    QTemporaryDir elsewhere; // the window has the station whatever folder we work on
    const QByteArray other = ("live --data-folder " + elsewhere.path()).toLocal8Bit();
    for (const char* line : {other.constData(), "live", "settings", "list", "fetch --all",
                             "set-clock", "interval 30"}) {
        SCOPED_TRACE(line);
        const Outcome refused = run(Words(line));
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
        EXPECT_NE(refused.err.find("held by nimbra (pid " + std::to_string(::getpid()) + ")"),
                  std::string::npos)
            << refused.err;
    }
    EXPECT_EQ(m_bus.openCount(Path), opens) << "the window's station was never touched";
    EXPECT_EQ(windows.holder(Path)->name, "nimbra");
}

TEST_F(HeadlessTest, StationsListsEachIdPathAndHolder)
{
    m_bus.addStation("emulated:attic", 2, "SN-7");
    const StationHolds windows(m_env.machineHolds, "nimbra");
    const HoldAttempt window = windows.take("SN-7");
    ASSERT_TRUE(window.hold);
    const Outcome listed = run(Words("stations --json"));
    ASSERT_EQ(listed.status, 0) << listed.err;
    const QJsonArray stations =
        QJsonDocument::fromJson(QByteArray::fromStdString(listed.out)).array();
    ASSERT_EQ(stations.size(), 2);
    EXPECT_EQ(stations[0].toObject(), (QJsonObject{{"id"_L1, QString::fromLatin1(Path)},
                                                   {"path"_L1, QString::fromLatin1(Path)},
                                                   {"heldBy"_L1, QJsonValue::Null}}));
    EXPECT_EQ(stations[1].toObject(),
              (QJsonObject{{"id"_L1, "SN-7"_L1},
                           {"path"_L1, "emulated:attic"_L1},
                           {"heldBy"_L1, QJsonObject{{"name"_L1, "nimbra"_L1},
                                                     {"pid"_L1, double(::getpid())}}}}));
    const Outcome chosen = run(Words("live --station SN-7"));
    EXPECT_EQ(chosen.status, 1);
    EXPECT_NE(chosen.err.find("SN-7 is held by nimbra"), std::string::npos) << chosen.err;
    const Outcome first = run(Words("live"));
    EXPECT_EQ(first.status, 0) << "the free one";
}

TEST_F(HeadlessTest, NoStationIsOneLineAndStatusOne)
{
    m_bus.unplug(Path);
    for (const char* line :
         {"live", "settings", "list", "fetch --all --new", "set-clock", "interval 30"}) {
        SCOPED_TRACE(line);
        const Outcome failed = run(Words(line));
        EXPECT_EQ(failed.status, 1);
        EXPECT_EQ(failed.err, "nimbractl: no station found (is it plugged in?)\n");
    }
}

TEST_F(HeadlessTest, TheStationTakesTheIntervalAndTheClock)
{
    m_station->edit([](StationModel& model) { model.clock().set(sys_days(2020y / 1 / 1)); });
    EXPECT_EQ(run(Words("interval 45")).status, 0);
    EXPECT_EQ(m_station->state().intervalMinutes, 45);
    EXPECT_EQ(run(Words("set-clock")).status, 0);
    const DateTimeParts clock = m_station->state().clock;
    EXPECT_EQ(clock.year, QDate::currentDate().year()) << "the computer's local time";
}

TEST_F(HeadlessTest, EveryCommandHasHelpAndRefusesABadLine)
{
    for (const char* command : {"live", "settings", "list", "fetch", "set-clock", "interval",
                                "history", "stations", "serve"}) {
        SCOPED_TRACE(command);
        const Outcome help = run({QString::fromLatin1(command), u"--help"_s});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: nimbractl "s + command, 0), 0u) << help.out;
    }
    const char* const bad[] = {"interval 4",
                               "interval 241",
                               "interval 1.5",
                               "interval",
                               "fetch",
                               "fetch --all 20261201.csv",
                               "live --watch 0",
                               "live now",
                               "settings --watch 5",
                               "history --from yesterday",
                               "history --stats --indoor",
                               "list --bogus"};
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        const Outcome refused = run(Words(line));
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.err.find("Usage: nimbractl"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(m_bus.openCount(Path), 0) << "a bad line never reaches the station";
    EXPECT_FALSE(RunHeadlessCommand({u"nimbractl"_s, u"export"_s}, m_env).has_value());
}

TEST(FetchProgressText, BytesRateAndTimeLeft)
{
    struct Case
    {
        std::uint64_t done, size;
        double rate;
        const char* expected;
    };
    const Case cases[] = {
        {0, 2048, 0, "a.csv [........................] 0 B / 2.0 KiB  0 B/s  --:-- left"},
        {1024, 2048, 512, "a.csv [############............] 1.0 KiB / 2.0 KiB  512 B/s  0:02 left"},
        {3 << 20, 3 << 20, 100e3,
         "a.csv [########################] 3.0 MiB / 3.0 MiB  97.7 KiB/s  0:00 left"},
        {0, 0, 0, "a.csv [########################] 0 B / 0 B  0 B/s  --:-- left"},
        {0, 10 << 20, 1024,
         "a.csv [........................] 0 B / 10.0 MiB  1.0 KiB/s  170:40 left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FetchProgress::BarText(u"a.csv"_s, c.done, c.size, c.rate).toStdString(),
                  c.expected);
}

} // namespace
