// publish: the live readings to an MQTT broker, for home automation.
#include "publishcommand.h"

#include "commandparser.h"
#include "datafolder.h"
#include "fetchcommands.h"
#include "publishsettings.h"
#include "readingspublisher.h"

#include <QDateTime>
#include <atomic>
#include <csignal>
#include <memory>
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
    QCommandLineOption prefix{
        QStringLiteral("topic-prefix"),
        QStringLiteral("Topics start with PREFIX (default nimbra/STATION-ID)."),
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

// The settings of the line; the text of the first fault, empty when they can be used. The
// topic prefix is checked here whether given or not; without one it is the station's.
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
    return CompleteSettings(settings, parser.value(o.passwordFile));
}

// Sleeps in short slices so that a signal ends the wait at once.
void SleepUnlessStopped(std::chrono::seconds time)
{
    const auto end = std::chrono::steady_clock::now() + time;
    while (!StopAsked.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

} // namespace

PublishCycle::PublishCycle(StationSession& session, ReadingsListener& listener, Say say)
    : m_session(session), m_listener(listener), m_say(std::move(say))
{
}

void PublishCycle::tell(bool present, const QString& line)
{
    if (m_present != present && m_say)
        m_say(line);
    m_present = present;
}

bool PublishCycle::step()
{
    HidLink& link = m_session.link();
    if (!link.Connected())
        m_session.open();
    if (link.Connected() && m_session.poll()) {
        // From now on only this station: its id names the topics, and hot-plug must not
        // swap another one in.
        if (link.chosenStation().empty())
            link.chooseStation(m_session.search().stationId);
        tell(true, QStringLiteral("the station %1 answers")
                       .arg(QString::fromStdString(m_session.search().stationId)));
        m_listener.readingsPolled(m_session.readings(), m_session.Fahrenheit());
        return true;
    }
    const QString problem =
        link.Connected() ? QStringLiteral("the station did not answer") : m_session.problem();
    if (link.Connected())
        link.OnDeviceChange(DeviceChange::Removal);
    tell(false, QStringLiteral("waiting for the station: %1").arg(problem));
    m_listener.stationPresent(false);
    return false;
}

namespace {

// The fetch schedule of serve: every so long, or once a day at a local time.
struct FetchSchedule
{
    std::optional<std::chrono::seconds> every;
    std::optional<QTime> at;

    bool enabled() const { return every || at; }
    // The first fetch comes as soon as the station answers; each later one at its time.
    QDateTime after(const QDateTime& now) const
    {
        if (every)
            return now.addSecs(every->count());
        QDateTime next(now.date(), *at);
        return next > now ? next : next.addDays(1);
    }
};

// "90s", "10m", "2h", "1d" (a bare number counts seconds), one second to 30 days.
std::optional<std::chrono::seconds> ParseDuration(const QString& text)
{
    static const std::pair<QChar, int> Units[] = {
        {u's', 1}, {u'm', 60}, {u'h', 3600}, {u'd', 86400}};
    int factor = 1;
    QString number = text;
    for (const auto& [unit, seconds] : Units)
        if (text.endsWith(unit)) {
            factor = seconds;
            number.chop(1);
        }
    const std::optional<int> value = WholeNumber(number, 1, 30 * 86400);
    if (!value || static_cast<long long>(*value) * factor > 30 * 86400)
        return std::nullopt;
    return std::chrono::seconds(*value * factor);
}

// The readings to the broker once the topics are known: given on the line, or named after the
// station, whose id is known only once it has been found.
class StationPublishing final : public ReadingsListener
{
public:
    StationPublishing(PublishSettings settings, bool prefixGiven, int pollSeconds,
                      const HidLink& link, HeadlessEnvironment& env)
        : m_settings(std::move(settings)), m_prefixGiven(prefixGiven), m_pollSeconds(pollSeconds),
          m_link(link), m_env(env)
    {
        start();
    }
    void readingsPolled(const LiveSnapshot& values, bool fahrenheit) override
    {
        start();
        if (m_readings)
            m_readings->readingsPolled(values, fahrenheit);
    }
    void stationPresent(bool present) override
    {
        start();
        if (m_readings)
            m_readings->stationPresent(present);
    }

private:
    void start()
    {
        if (m_readings || (!m_prefixGiven && m_link.chosenStation().empty()))
            return;
        if (!m_prefixGiven)
            m_settings.topics.prefix = "nimbra/" + SafeStationId(m_link.chosenStation());
        m_settings.broker.willTopic = m_settings.topics.availability();
        m_publisher =
            std::make_unique<MqttPublisher>(m_settings.broker, [this](const std::string& text) {
                PrintLine(m_env.err, QStringLiteral("nimbractl: ") + QString::fromStdString(text));
            });
        m_readings =
            std::make_unique<ReadingsPublisher>(*m_publisher, m_settings.topics, m_pollSeconds);
    }

    PublishSettings m_settings;
    const bool m_prefixGiven;
    const int m_pollSeconds;
    const HidLink& m_link;
    HeadlessEnvironment& m_env;
    std::unique_ptr<MqttPublisher> m_publisher;
    std::unique_ptr<ReadingsPublisher> m_readings; // before the publisher goes: its goodbye
};

// Told nothing: serve without a broker only fetches.
class NoListener final : public ReadingsListener
{
public:
    void readingsPolled(const LiveSnapshot&, bool) override {}
    void stationPresent(bool) override {}
};

// publish and serve: one loop that polls (and publishes) and, for serve, fetches on schedule.
int RunService(const QStringList& arguments, HeadlessEnvironment& env, bool fetching)
{
    const QString verb = fetching ? QStringLiteral("serve") : QStringLiteral("publish");
    const QString broker = fetching ? QStringLiteral("[--broker HOST[:PORT]] ")
                                    : QStringLiteral("--broker HOST[:PORT] ");
    CommandParser line(
        verb,
        broker +
            QStringLiteral("[--topic-prefix PREFIX] [--client-id ID] [--username U "
                           "--password-file F] [--tls-ca FILE] [--interval SECONDS]") +
            (fetching ? QStringLiteral(" [--fetch-every DURATION | --fetch-at HH:MM]") : QString()),
        QStringLiteral("Polls the station and publishes each channel's readings, retained, as "
                       "JSON on PREFIX/chN/state,\nthe station's availability on "
                       "PREFIX/availability, and Home Assistant discovery configs.\nPREFIX "
                       "defaults to nimbra/STATION-ID. Waits for a station that is missing or "
                       "held.\n") +
            (fetching ? QStringLiteral("Fetches the card's new and growing files into the data "
                                       "folder on schedule and imports them,\nas fetch --all "
                                       "--new does; publishes only with --broker.\n")
                      : QString()) +
            QStringLiteral("Runs until stopped (Ctrl+C, SIGTERM)."));
    const PublishOptions options;
    options.addTo(line);
    const QCommandLineOption fetchEvery(QStringLiteral("fetch-every"),
                                        QStringLiteral("Fetch every DURATION (90s, 10m, 2h, 1d)."),
                                        QStringLiteral("DURATION"));
    const QCommandLineOption fetchAt(QStringLiteral("fetch-at"),
                                     QStringLiteral("Fetch once a day at this local time."),
                                     QStringLiteral("HH:MM"));
    if (fetching) {
        line.addOption(fetchEvery);
        line.addOption(fetchAt);
    }
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    const QCommandLineParser& parser = line.parser();
    if (!line.operands().isEmpty())
        return line.badUsage(verb + QStringLiteral(" takes no operands"), env);
    std::optional<int> every = 20;
    if (parser.isSet(options.interval))
        every = WholeNumber(parser.value(options.interval), 5, 86400);
    if (!every)
        return line.badUsage(QStringLiteral("--interval takes whole seconds, 5 to 86400"), env);
    FetchSchedule schedule;
    if (fetching && parser.isSet(fetchEvery) && parser.isSet(fetchAt))
        return line.badUsage(QStringLiteral("give --fetch-every or --fetch-at, not both"), env);
    if (fetching && parser.isSet(fetchEvery) &&
        !(schedule.every = ParseDuration(parser.value(fetchEvery))))
        return line.badUsage(QStringLiteral("--fetch-every takes 90s, 10m, 2h or 1d, up to 30d"),
                             env);
    if (fetching && parser.isSet(fetchAt)) {
        schedule.at = QTime::fromString(parser.value(fetchAt), QStringLiteral("HH:mm"));
        if (!schedule.at->isValid())
            return line.badUsage(QStringLiteral("--fetch-at takes a time as HH:MM"), env);
    }
    if (fetching && !schedule.enabled() && !parser.isSet(options.broker))
        return line.badUsage(QStringLiteral("serve needs --broker, a fetch schedule or both"), env);
    PublishSettings settings;
    if (!fetching || parser.isSet(options.broker))
        if (const QString problem = ReadSettings(parser, options, settings); !problem.isEmpty())
            return line.badUsage(problem, env);
    const QString dataFolder = line.dataFolder(env);
    if (schedule.enabled()) {
        SetUpDataFolder(dataFolder, TemplateFolder(ProgramFolder()));
        if (const QString problem = DataFolderProblem(dataFolder); !problem.isEmpty())
            return Fail(env, problem);
    }

    // A station that is missing or held at start is waited for, as one that goes away later.
    StationAccess station(env, line);
    StationSession& session = station.session();
    std::unique_ptr<ReadingsListener> listener;
    if (parser.isSet(options.broker))
        listener = std::make_unique<StationPublishing>(settings, parser.isSet(options.prefix),
                                                       *every, session.link(), env);
    else
        listener = std::make_unique<NoListener>();
    PublishCycle cycle(session, *listener, [&env](const QString& text) {
        PrintLine(env.err, QStringLiteral("nimbractl: ") + text);
    });
    StopAsked.store(false);
    std::signal(SIGINT, AskToStop);
    std::signal(SIGTERM, AskToStop);
    QDateTime nextFetch = QDateTime::currentDateTime();
    if (schedule.at)
        nextFetch = schedule.after(nextFetch);
    while (!StopAsked.load()) {
        const bool answered = cycle.step();
        if (answered && schedule.enabled() && QDateTime::currentDateTime() >= nextFetch) {
            FetchRequest request;
            request.dataFolder = dataFolder;
            request.all = true;
            request.onlyNew = true;
            request.stop = &StopAsked;
            FetchFiles(env, session, request);
            nextFetch = schedule.after(QDateTime::currentDateTime());
        }
        SleepUnlessStopped(std::chrono::seconds(*every));
    }
    return 0;
}

} // namespace

int RunPublish(const QStringList& arguments, HeadlessEnvironment& env)
{
    return RunService(arguments, env, false);
}

int RunServe(const QStringList& arguments, HeadlessEnvironment& env)
{
    return RunService(arguments, env, true);
}

} // namespace nimbra
