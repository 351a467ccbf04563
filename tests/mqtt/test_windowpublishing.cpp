// The window publishes from its own poll cycle: what it shows goes to a real broker, and the
// station's unplug and return show as its availability.
#include "brokerfixture.h"
#include "emulatedbus.h"
#include "my7100dlg.h"
#include "readingspublisher.h"
#include "recordingmessages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace nimbra;

namespace {

constexpr const char* StationPath = "emulated:window";

class WindowPublishingTest : public QObject
{
    Q_OBJECT
private slots:
    void pollsAndUnplugReachTheBroker();
};

void WindowPublishingTest::pollsAndUnplugReachTheBroker()
{
    test::Broker broker;
    QVERIFY(broker.start());
    BrokerOptions options;
    options.host = "127.0.0.1";
    options.port = broker.port();
    options.backoffMin = std::chrono::milliseconds(100);
    StationTopics topics;
    topics.prefix = "window";
    options.willTopic = topics.availability();
    MqttPublisher publisher(options, {});
    ReadingsPublisher readings(publisher, topics);
    test::Subscriber watcher(broker.port());

    const Timing timing = Timing{}.scaled(0.02);
    EmulatedBus bus;
    const std::shared_ptr<EmulatedStation> station = bus.addStation(StationPath);
    station->edit([](StationModel& model) { model.channels().fix(4, 187, 52); });
    ReplyRouter router;
    HidLink link(bus, router, timing);
    test::RecordingMessages messages;
    {
        CMy7100Dlg window(link, router, bus, messages, Language::English);
        window.setReadingsListener(&readings);
        window.OnInitDialog();
        window.show();

        const auto state =
            watcher.waitFor(topics.state(4), [](const auto& m) { return m.count > 0; });
        const QJsonObject values =
            QJsonDocument::fromJson(QByteArray::fromStdString(state.payload)).object();
        QCOMPARE(values[u"temperature"], QJsonValue(18.7));
        QCOMPARE(values[u"humidity"], QJsonValue(52));
        QCOMPARE(window.readings().m_Temperature[3], 18.7f);
        QCOMPARE(watcher.waitFor(topics.availability(), "online").payload, std::string("online"));

        bus.unplug(StationPath);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.messages()[topics.availability()].payload,
                                  std::string("offline"), 3000);
        bus.plug(StationPath);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.messages()[topics.availability()].payload,
                                  std::string("online"), 3000);

        // A station that stops answering: the old page is shown again, but nothing fresh goes
        // out, and the station turns unavailable.
        station->setMuted(true);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.messages()[topics.availability()].payload,
                                  std::string("offline"), 3000);
        const int states = watcher.messages()[topics.state(4)].count;
        QTest::qWait(1500); // several poll cycles at this timing
        QCOMPARE(watcher.messages()[topics.state(4)].count, states);
        QCOMPARE(watcher.messages()[topics.availability()].payload, std::string("offline"));
        window.reject();
    }
    link.stop();
}

} // namespace

QTEST_MAIN(WindowPublishingTest)
#include "test_windowpublishing.moc"
