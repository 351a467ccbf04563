// publish: the live readings to an MQTT broker, for home automation.
#include "publishcommand.h"

#include "commandparser.h"
#include "publishsettings.h"
#include "readingspublisher.h"

#include <atomic>
#include <csignal>
#include <thread>

namespace nimbra {

namespace {

std::atomic<bool> StopAsked{false};

extern "C" void AskToStop(int)
{
    StopAsked.store(true);
}

struct PublishOptions
{
    QCommandLineOption broker{QStringLiteral("broker"),
                              QStringLiteral("The broker, HOST or HOST:PORT (port 1883 if "
                                             "none is given)."),
                              QStringLiteral("HOST[:PORT]")};
    QCommandLineOption prefix{QStringLiteral("topic-prefix"),
                              QStringLiteral("Topics start with PREFIX (default nimbra)."),
                              QStringLiteral("PREFIX")};
    QCommandLineOption clientId{QStringLiteral("client-id"),
                                QStringLiteral("The client id (default: one the library makes "
                                               "up)."),
                                QStringLiteral("ID")};
    QCommandLineOption username{QStringLiteral("username"),
                                QStringLiteral("Log in to the broker as U."), QStringLiteral("U")};
    QCommandLineOption passwordFile{QStringLiteral("password-file"),
                                    QStringLiteral("The password is the first line of F."),
                                    QStringLiteral("F")};
    QCommandLineOption tlsCa{QStringLiteral("tls-ca"),
                             QStringLiteral("Talk TLS, trusting the CA certificates in FILE."),
                             QStringLiteral("FILE")};
    QCommandLineOption interval{QStringLiteral("interval"),
                                QStringLiteral("Poll the station every SECONDS (5..86400, "
                                               "default 20)."),
                                QStringLiteral("SECONDS")};

    void addTo(CommandParser& line) const
    {
        for (const QCommandLineOption* option :
             {&broker, &prefix, &clientId, &username, &passwordFile, &tlsCa, &interval})
            line.addOption(*option);
    }
};

// The settings of the line; the text of the first fault, empty when they can be used.
QString ReadSettings(const QCommandLineParser& parser, const PublishOptions& o,
                     PublishSettings& settings)
{
    if (!parser.isSet(o.broker))
        return QStringLiteral("publish needs --broker HOST[:PORT]");
    if (!ParseBrokerAddress(parser.value(o.broker), settings.broker))
        return QStringLiteral("--broker takes HOST or HOST:PORT, not '%1'")
            .arg(parser.value(o.broker));
    if (parser.isSet(o.prefix))
        settings.topics.prefix = parser.value(o.prefix).toStdString();
    settings.broker.clientId = parser.value(o.clientId).toStdString();
    settings.broker.username = parser.value(o.username).toStdString();
    settings.broker.tlsCaFile = parser.value(o.tlsCa).toStdString();
    return CompleteSettings(settings, parser.value(o.passwordFile),
                            {"--broker", "--topic-prefix", "--client-id", "--username"});
}

// Sleeps in short slices so that a signal ends the wait at once.
void SleepUnlessStopped(std::chrono::seconds time)
{
    const auto end = std::chrono::steady_clock::now() + time;
    while (!StopAsked.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

} // namespace

PublishCycle::PublishCycle(StationSession& session, ReadingsListener& listener)
    : m_session(session), m_listener(listener)
{
}

bool PublishCycle::step()
{
    HidLink& link = m_session.link();
    if (!link.Connected())
        link.OnDeviceChange(DeviceChange::Arrival);
    if (link.Connected() && m_session.poll()) {
        m_listener.readingsPolled(m_session.readings(), m_session.Fahrenheit());
        return true;
    }
    if (link.Connected())
        link.OnDeviceChange(DeviceChange::Removal);
    m_listener.stationPresent(false);
    return false;
}

int RunPublish(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(QStringLiteral("publish"),
                       QStringLiteral("--broker HOST[:PORT] [--topic-prefix PREFIX] [--client-id "
                                      "ID] [--username U --password-file F] [--tls-ca FILE] "
                                      "[--interval SECONDS]"),
                       QStringLiteral("Polls the station and publishes each channel's readings, "
                                      "retained, as JSON on PREFIX/chN/state,\nthe station's "
                                      "availability on PREFIX/availability, and Home Assistant "
                                      "discovery configs.\nRuns until stopped (Ctrl+C)."));
    const PublishOptions options;
    options.addTo(line);
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("publish takes no operands"), env);
    std::optional<int> every = 20;
    if (line.parser().isSet(options.interval))
        every = WholeNumber(line.parser().value(options.interval), 5, 86400);
    if (!every)
        return line.badUsage(QStringLiteral("--interval takes whole seconds, 5 to 86400"), env);
    PublishSettings settings;
    if (const QString problem = ReadSettings(line.parser(), options, settings); !problem.isEmpty())
        return line.badUsage(problem, env);

    StationAccess station(env, line);
    if (!station.open())
        return 1;
    MqttPublisher publisher(settings.broker, [&env](const std::string& text) {
        PrintLine(env.err, QStringLiteral("nimbractl: ") + QString::fromStdString(text));
    });
    ReadingsPublisher readings(publisher, settings.topics);
    PublishCycle cycle(station.session(), readings);
    StopAsked.store(false);
    std::signal(SIGINT, AskToStop);
    std::signal(SIGTERM, AskToStop);
    while (!StopAsked.load()) {
        cycle.step();
        SleepUnlessStopped(std::chrono::seconds(*every));
    }
    return 0;
}

} // namespace nimbra
