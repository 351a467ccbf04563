#include "stationsession.h"

namespace nimbra {

StationSession::StationSession(HidTransport& transport, const Timing& timing,
                               const StationHolds& holds, const std::string& stationId)
    : m_link(transport, m_router, timing, &holds)
{
    m_link.chooseStation(stationId);
    m_link.setObserver(this);
    m_router.setSettingsDecoder(
        [this](const Page& page) { m_link.setFahrenheit(DecodeSettingsPage(page, m_readings)); });
}

StationSession::~StationSession()
{
    // The reader calls the decoder and the observer: it stops before they go.
    m_link.stop();
    m_link.setObserver(nullptr);
    m_router.setSettingsDecoder({});
}

namespace {

QString RefusalText(const StationRefusal& refusal)
{
    const QString id = QString::fromStdString(refusal.stationId);
    if (!refusal.problem.empty())
        return QStringLiteral("the station %1 cannot be held: %2")
            .arg(id, QString::fromStdString(refusal.problem));
    const StationHolder holder = refusal.heldBy.value_or(StationHolder{});
    const QString who = holder.pid == 0 ? QStringLiteral("another program")
                                        : QStringLiteral("%1 (pid %2)")
                                              .arg(QString::fromStdString(holder.name))
                                              .arg(holder.pid);
    return QStringLiteral("the station %1 is held by %2; end it or choose another station with "
                          "--station")
        .arg(id, who);
}

} // namespace

SessionOpening StationSession::open()
{
    m_problem.clear();
    m_denied = false;
    if (m_link.Connect())
        return SessionOpening::Opened;
    if (m_denied)
        return SessionOpening::AccessDenied;
    if (const std::optional<StationRefusal>& refusal = m_link.lastSearch().refusal) {
        m_problem = RefusalText(*refusal);
        return SessionOpening::Held;
    }
    m_problem = m_link.chosenStation().empty()
                    ? QStringLiteral("no station found (is it plugged in?)")
                    : QStringLiteral("no station %1 found (nimbractl stations lists them)")
                          .arg(QString::fromStdString(m_link.chosenStation()));
    return SessionOpening::NoStation;
}

void StationSession::accessDenied(const std::string& path)
{
    m_denied = true;
    m_problem = QStringLiteral("the station at %1 cannot be opened: permission denied (install "
                               "the udev rule 70-nimbra.rules)")
                    .arg(QString::fromStdString(path));
}

bool StationSession::request(Command command, RequestKind kind, Millis wait)
{
    return m_link.Connected() && !m_link.Exchange(CommandFrame(command), kind, wait, wait);
}

bool StationSession::readSettings()
{
    return request(Command::Settings, RequestKind::Settings, m_link.timing().settings);
}

bool StationSession::poll()
{
    if (!readSettings() || !request(Command::Live, RequestKind::Live, m_link.timing().live))
        return false;
    DecodeLiveData(m_router.buffer().page(LivePageIndex), m_readings);
    return true;
}

std::optional<int> StationSession::readInterval()
{
    if (!request(Command::Interval, RequestKind::Interval, m_link.timing().interval))
        return std::nullopt;
    return m_router.m_IntervalReply.load();
}

std::optional<SetupPages> StationSession::readSetup()
{
    const Timing& t = m_link.timing();
    const std::optional<int> interval = readInterval();
    if (!interval || !readSettings() ||
        !request(Command::AlarmPage1, RequestKind::AlarmPage1, t.alarmPage) ||
        !request(Command::AlarmPage3, RequestKind::AlarmPage3, t.alarmPage) ||
        !request(Command::AlarmPage4, RequestKind::AlarmPage4, t.alarmPage) ||
        !request(Command::Calibration, RequestKind::Calibration, t.calibration))
        return std::nullopt;
    const ReplyBuffer& pages = m_router.buffer();
    SetupPages setup;
    setup.settings = pages.page(SettingsPageIndex);
    setup.intervalMinutes = *interval;
    setup.alarms = {pages.page(3), pages.page(4), pages.page(5), pages.page(6)};
    setup.calibration = pages.page(2);
    return setup;
}

} // namespace nimbra
