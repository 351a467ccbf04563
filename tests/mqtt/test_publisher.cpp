// The readings of the emulated station through a real mosquitto broker.
#include "brokerfixture.h"
#include "emulatedbus.h"
#include "headless.h"
#include "publishcommand.h"
#include "readingspublisher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using test::Broker;
using test::Subscriber;

constexpr const char* Path = "emulated:station-1";

QJsonObject Json(const std::string& text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

class PublisherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.start());
        station = bus.addStation(Path);
        station->edit([](StationModel& model) {
            model.channels().fix(1, 250, 60);
            model.channels().fix(2, -105, 33);
            model.channels().setTemperatureMissing(3);
        });
        ASSERT_EQ(session.open(), SessionOpening::Opened);
        topics.prefix = "test/cellar";
        options.host = "127.0.0.1";
        options.port = broker.port();
        options.willTopic = topics.availability();
        options.backoffMin = 100ms;
        options.backoffMax = 400ms;
    }
    // A publisher, its readings and the poll; one poll made and seen by the broker.
    void startPolling()
    {
        publisher = std::make_unique<MqttPublisher>(options, status.sink());
        readings = std::make_unique<ReadingsPublisher>(*publisher, topics);
        cycle = std::make_unique<PublishCycle>(session, *readings);
        ASSERT_TRUE(cycle->step());
        Subscriber first(broker.port());
        ASSERT_EQ(first.waitFor(topics.availability(), "online").payload, "online");
    }
    // The end of the program: the publisher says goodbye.
    void stopPolling()
    {
        cycle.reset();
        readings.reset();
        publisher.reset();
    }

    Broker broker;
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station;
    QTemporaryDir holdFolder;
    const StationHolds holds{holdFolder.path().toStdString(), "nimbractl publish"};
    StationSession session{bus, Timing{}.scaled(0.05), holds};
    StationTopics topics;
    BrokerOptions options;
    test::StatusLines status;
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<ReadingsPublisher> readings;
    std::unique_ptr<PublishCycle> cycle;
};

TEST_F(PublisherTest, RetainedStatesAndDiscoveryCarryTheStationsValues)
{
    startPolling();
    // A subscriber that comes later still gets every state: they are retained.
    Subscriber late(broker.port());
    struct Expected
    {
        int channel;
        QJsonValue temperature, humidity, dewPoint;
    };
    for (const Expected& e :
         {Expected{1, 25.0, 60, 16.7}, Expected{2, -10.5, 33, -23.7},
          Expected{3, QJsonValue::Null, QJsonValue::Undefined, QJsonValue::Null}}) {
        SCOPED_TRACE(e.channel);
        const Subscriber::Message m =
            late.waitFor(topics.state(e.channel), [](const auto& m) { return m.count > 0; });
        EXPECT_TRUE(m.retained);
        const QJsonObject state = Json(m.payload);
        EXPECT_EQ(state[u"temperature"], e.temperature) << m.payload;
        EXPECT_EQ(state[u"dew_point"], e.dewPoint) << m.payload;
        if (!e.humidity.isUndefined()) {
            EXPECT_EQ(state[u"humidity"], e.humidity) << m.payload;
        }
        EXPECT_EQ(state[u"unit"].toString(), QStringLiteral("\u00B0C"));
    }
    const Subscriber::Message config =
        late.waitFor("homeassistant/sensor/test_cellar/ch1_temperature/config",
                     [](const auto& m) { return m.count > 0; });
    EXPECT_TRUE(config.retained);
    EXPECT_EQ(Json(config.payload)[u"state_topic"].toString().toStdString(), topics.state(1));
    const auto all = late.messages();
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const auto& m) { return m.first.ends_with("/config"); }),
              24);
    EXPECT_EQ(late.waitFor(topics.availability(), "online").retained, true);
}

// While the broker is away nothing piles up; once it is back, the latest state arrives within
// the back-off, and the discovery configs come again with the new connection.
TEST_F(PublisherTest, BrokerRestartResumesWithinTheBackoff)
{
    startPolling();
    const std::size_t topicsInUse = publisher->topicCount();
    broker.stop();
    for (int i = 0; i < 200; ++i)
        readings->readingsPolled(LiveSnapshot{}, false);
    EXPECT_EQ(publisher->topicCount(), topicsInUse) << "one message per topic, the latest";

    station->edit([](StationModel& model) { model.channels().fix(1, 199, 51); });
    ASSERT_TRUE(cycle->step());
    ASSERT_TRUE(broker.start());
    const auto restarted = std::chrono::steady_clock::now();
    Subscriber watcher(broker.port());
    const Subscriber::Message m = watcher.waitFor(topics.state(1), [](const auto& m) {
        return Json(m.payload)[u"temperature"] == QJsonValue(19.9);
    });
    EXPECT_EQ(Json(m.payload)[u"temperature"], QJsonValue(19.9)) << m.payload;
    EXPECT_LT(std::chrono::steady_clock::now() - restarted, options.backoffMax + 2s);
    EXPECT_GE(publisher->connections(), 2);
    EXPECT_EQ(watcher
                  .waitFor("homeassistant/sensor/test_cellar/ch8_humidity/config",
                           [](const auto& m) { return m.count > 0; })
                  .count,
              1);
    const std::vector<std::string> lines = status.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("lost the broker");
    }));
}

// Unplugged: "offline"; plugged in again: "online". A clean end says "offline" too.
TEST_F(PublisherTest, AvailabilityFollowsTheStationAndTheProgram)
{
    Subscriber watcher(broker.port());
    startPolling();
    ASSERT_TRUE(bus.unplug(Path));
    EXPECT_FALSE(cycle->step());
    EXPECT_EQ(watcher.waitFor(topics.availability(), "offline").payload, "offline");
    EXPECT_FALSE(cycle->step()) << "still gone";

    ASSERT_TRUE(bus.plug(Path));
    EXPECT_TRUE(cycle->step());
    EXPECT_EQ(watcher.waitFor(topics.availability(), "online").payload, "online");
    stopPolling();
    EXPECT_EQ(watcher.waitFor(topics.availability(), "offline").payload, "offline")
        << "a clean end";
}

// nimbractl publish from its command line to the broker, and its clean end on a signal.
class PublishCommandTest : public ::testing::Test
{
protected:
    PublishCommandTest()
    {
        bus.addStation(Path);
        env.out = std::tmpfile();
        env.err = std::tmpfile();
        env.transport = [this](const StationChoice&) -> HidTransport& { return bus; };
        env.timing = Timing{}.scaled(0.05);
        env.machineHolds = folder.path().toStdString();
        env.emulatedHolds = env.machineHolds;
        env.defaultDataFolder = folder.path();
    }
    ~PublishCommandTest() override
    {
        std::fclose(env.out);
        std::fclose(env.err);
    }
    int run(QStringList arguments)
    {
        arguments.prepend(QStringLiteral("nimbractl"));
        return *RunHeadlessCommand(arguments, env);
    }
    std::string errors() const
    {
        std::rewind(env.err);
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), env.err));
        return text;
    }

    QTemporaryDir folder;
    EmulatedBus bus;
    HeadlessEnvironment env;
};

TEST_F(PublishCommandTest, RefusesWhatItCannotUseAndNeverEchoesAPassword)
{
    const QString password = folder.filePath(QStringLiteral("pw"));
    struct Case
    {
        QStringList arguments;
        const char* said;
    };
    const Case cases[] = {
        {{"publish"}, "needs --broker"},
        {{"publish", "--broker", "host:99999"}, "HOST or HOST:PORT"},
        {{"publish", "--broker", "h", "--password", "s3cret"}, "Unknown option 'password'"},
        {{"publish", "--broker", "h", "--password-file", password}, "user name"},
        {{"publish", "--broker", "h", "--username", "u", "--password-file", password},
         "cannot read the password file"},
        {{"publish", "--broker", "h", "--interval", "1"}, "5 to 86400"},
        {{"publish", "--broker", "h", "--topic-prefix", "a/+/b"}, "prefix"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        std::freopen(nullptr, "w+", env.err);
        EXPECT_EQ(run(c.arguments), 2);
        EXPECT_NE(errors().find(c.said), std::string::npos) << errors();
        EXPECT_EQ(errors().find("s3cret"), std::string::npos);
    }
}

TEST_F(PublishCommandTest, PublishesUntilToldToStop)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    Subscriber watcher(broker.port());
    int status = -1;
    std::thread command([&] {
        status = run({"publish", "--broker", QStringLiteral("127.0.0.1:%1").arg(broker.port()),
                      "--topic-prefix", "e2e", "--interval", "5"});
    });
    const Subscriber::Message online = watcher.waitFor("e2e/availability", "online");
    EXPECT_GT(watcher.waitFor("e2e/ch1/state", [](const auto& m) { return m.count > 0; }).count, 0);
    ::kill(::getpid(), SIGINT);
    command.join();
    EXPECT_EQ(online.payload, "online");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(watcher.waitFor("e2e/availability", "offline").payload, "offline");
    EXPECT_NE(errors().find("connected to the broker 127.0.0.1:"), std::string::npos) << errors();
}

// No station at start is no reason to end: the service waits, says so once, reports the station
// unavailable, and takes the station when it is plugged in.
TEST_F(PublishCommandTest, WaitsForAStationThatIsNotThereAtStart)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    Subscriber watcher(broker.port());
    ASSERT_TRUE(bus.unplug(Path));
    int status = -1;
    std::thread command([&] {
        status = run({"publish", "--broker", QStringLiteral("127.0.0.1:%1").arg(broker.port()),
                      "--topic-prefix", "late", "--interval", "5"});
    });
    EXPECT_EQ(watcher.waitFor("late/availability", "offline").payload, "offline");
    ASSERT_TRUE(bus.plug(Path));
    // Looked for again at the next poll, up to the interval of 5 s later.
    EXPECT_EQ(watcher.waitFor("late/availability", "online", 15s).payload, "online");
    EXPECT_GT(watcher.waitFor("late/ch1/state", [](const auto& m) { return m.count > 0; }).count,
              0);
    ::kill(::getpid(), SIGINT);
    command.join();
    EXPECT_EQ(status, 0);
    const std::string said = errors();
    const auto waiting = said.find("waiting for the station: no station found");
    EXPECT_NE(waiting, std::string::npos) << said;
    EXPECT_EQ(said.find("waiting for the station", waiting + 1), std::string::npos) << "once";
}

// A publisher killed where it stands says nothing itself: its last will does.
TEST(LastWill, KilledPublisherLeavesOffline)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    BrokerOptions options;
    options.host = "127.0.0.1";
    options.port = broker.port();
    options.willTopic = "test/killed/availability";
    // Forked before any thread of this test runs, so the child may start its own.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        MqttPublisher publisher(options, {});
        publisher.publish(options.willTopic, "online");
        for (int i = 0; i < 100 && !publisher.connected(); ++i)
            std::this_thread::sleep_for(20ms);
        std::this_thread::sleep_for(300ms);
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    Subscriber watcher(broker.port());
    const Subscriber::Message m = watcher.waitFor(options.willTopic, "offline");
    EXPECT_EQ(m.payload, "offline") << "the will replaces the retained online";
    EXPECT_TRUE(m.retained);
}

} // namespace
} // namespace nimbra
