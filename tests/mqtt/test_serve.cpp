// nimbractl serve in one process against a real mosquitto: polling, publishing and fetching
// side by side, through a broker that dies and a station that is pulled out on the way.
#include "archive.h"
#include "brokerfixture.h"
#include "emulatedbus.h"
#include "headless.h"
#include "loggenerator.h"
#include "stationhold.h"
#include "stationtopics.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using namespace std::chrono;
using test::Broker;
using test::Subscriber;

constexpr const char* Path = "emulated:serve";
constexpr const char* Name = "20261201.csv";

std::string Log(int rows)
{
    LogRecipe recipe;
    recipe.start = sys_days(2026y / December / 1d);
    recipe.rows = rows;
    return generateLog(recipe);
}

class ServeTest : public ::testing::Test
{
protected:
    ServeTest()
    {
        m_station = m_bus.addStation(Path);
        m_station->putFile(Name, Log(300));
        m_env.out = std::tmpfile();
        m_env.err = std::tmpfile();
        m_env.transport = [this](const StationChoice&) -> HidTransport& { return m_bus; };
        m_env.timing = Timing{}.scaled(0.05);
        m_env.machineHolds = m_holds.path().toStdString();
        m_env.emulatedHolds = m_env.machineHolds;
        m_env.defaultDataFolder = m_data.path();
        const std::string db = m_data.filePath(QStringLiteral("7100.db")).toStdString();
        std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, db);
        std::filesystem::permissions(db, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    ~ServeTest() override
    {
        std::fclose(m_env.out);
        std::fclose(m_env.err);
    }
    QByteArray localCopy() const
    {
        QFile file(m_data.filePath(QString::fromLatin1(Name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool copyBecomes(const std::string& content, seconds limit)
    {
        const auto end = steady_clock::now() + limit;
        while (localCopy().toStdString() != content && steady_clock::now() < end)
            std::this_thread::sleep_for(100ms);
        return localCopy().toStdString() == content;
    }

    QTemporaryDir m_data;
    QTemporaryDir m_holds;
    EmulatedBus m_bus;
    std::shared_ptr<EmulatedStation> m_station;
    HeadlessEnvironment m_env;
};

TEST_F(ServeTest, PublishesAndFetchesThroughABrokerRestartAndAnUnplug)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    const std::string prefix = "nimbra/" + SafeStationId(Path); // named after the station
    int status = -1;
    std::thread serve([&] {
        status = *RunHeadlessCommand({"nimbractl", "serve", "--broker",
                                      QStringLiteral("127.0.0.1:%1").arg(broker.port()),
                                      "--interval", "5", "--fetch-every", "1s"},
                                     m_env);
    });
    {
        Subscriber watcher(broker.port());
        EXPECT_EQ(watcher.waitFor(prefix + "/availability", "online", 15s).payload, "online");
        // What Home Assistant reads, as the broker keeps it.
        StationTopics topics;
        topics.prefix = prefix;
        Subscriber late(broker.port()); // comes after the configs: gets the broker's copies
        const Subscriber::Message config =
            late.waitFor("homeassistant/sensor/" + topics.nodeId() + "/ch1_temperature/config",
                         [](const auto& m) { return m.count > 0; });
        EXPECT_TRUE(config.retained);
        const QJsonObject fields =
            QJsonDocument::fromJson(QByteArray::fromStdString(config.payload)).object();
        EXPECT_EQ(fields[u"state_topic"].toString().toStdString(), prefix + "/ch1/state");
        EXPECT_EQ(fields[u"expire_after"].toInt(), 15) << "three polls of 5 s";
        EXPECT_EQ(fields[u"suggested_display_precision"].toInt(), 1);
        EXPECT_EQ(fields[u"device"][u"name"].toString().toStdString(),
                  "Nimbra " + SafeStationId(Path));
        EXPECT_FALSE(fields[u"device"][u"sw_version"].toString().isEmpty());
        EXPECT_EQ(fields[u"origin"][u"name"].toString(), QStringLiteral("Nimbra"));
        EXPECT_EQ(fields[u"origin"][u"sw_version"], fields[u"device"][u"sw_version"]);
    }
    EXPECT_TRUE(copyBecomes(Log(300), 30s)) << "the first fetch";
    EXPECT_TRUE(StationHolds(m_env.machineHolds, "test").holder(Path)) << "serve holds it";

    broker.stop();
    ASSERT_TRUE(m_bus.unplug(Path));
    std::this_thread::sleep_for(6s);    // a poll without a station
    m_station->putFile(Name, Log(420)); // the station went on logging
    ASSERT_TRUE(m_bus.plug(Path));
    ASSERT_TRUE(broker.start());

    Subscriber watcher(broker.port());
    EXPECT_EQ(watcher.waitFor(prefix + "/availability", "online", 20s).payload, "online");
    EXPECT_GT(
        watcher.waitFor(prefix + "/ch1/state", [](const auto& m) { return m.count > 0; }).count, 0);
    EXPECT_TRUE(copyBecomes(Log(420), 30s)) << "the grown file, resumed";

    ::kill(::getpid(), SIGTERM);
    serve.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(watcher.waitFor(prefix + "/availability", "offline").payload, "offline");
    const ArchiveStats history =
        Archive(std::filesystem::path(m_data.path().toStdString()) / ArchiveFileName).Stats();
    EXPECT_EQ(history.rows, 420) << "each reading once";
}

} // namespace
} // namespace nimbra
