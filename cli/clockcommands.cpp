// set-clock and interval: the two changes a script makes to the station.
#include "clocksync.h"
#include "commandparser.h"
#include "headlesscommands.h"
#include "settingcodec.h"

namespace nimbra {

int RunSetClock(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(QStringLiteral("set-clock"), QString(),
                       QStringLiteral("Sets the station's clock to this computer's local time, as "
                                      "Sync Time in the window does.\nThe station keeps its own "
                                      "time zone and daylight-saving settings."));
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    if (!line.operands().isEmpty())
        return line.badUsage(QStringLiteral("set-clock takes no operands"), env);
    StationAccess station(env, line);
    if (!station.open())
        return 1;
    // The station never confirms: a sent frame is all there is to tell.
    const QDateTime now = SystemLocalTime();
    if (!SendClock(station.session().link(), [now] { return now; }))
        return Fail(env, QStringLiteral("the station went away before the clock was sent"));
    PrintLine(
        env.out,
        QStringLiteral("clock sent: %1").arg(now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    return 0;
}

int RunInterval(const QStringList& arguments, HeadlessEnvironment& env)
{
    CommandParser line(QStringLiteral("interval"), QStringLiteral("MINUTES"),
                       QStringLiteral("Sets the station's logging interval, %1 to %2 minutes.")
                           .arg(MinInterval)
                           .arg(MaxInterval));
    if (const std::optional<int> done = line.parse(arguments, env))
        return *done;
    const QStringList operands = line.operands();
    if (operands.size() != 1)
        return line.badUsage(QStringLiteral("interval takes one MINUTES"), env);
    const std::optional<int> minutes = ParseInterval(operands[0].toStdString());
    if (!minutes)
        return line.badUsage(QStringLiteral("the interval is a whole number of minutes, %1 to %2, "
                                            "not '%3'")
                                 .arg(MinInterval)
                                 .arg(MaxInterval)
                                 .arg(operands[0]),
                             env);
    StationAccess station(env, line);
    if (!station.open())
        return 1;
    HidLink& link = station.session().link();
    const Millis wait = link.timing().setInterval;
    if (!link.Write(CommandFrame::setInterval(static_cast<std::uint8_t>(*minutes)), wait, wait))
        return Fail(env, QStringLiteral("the station went away before the interval was sent"));
    // The station never acknowledges a write; asked back, it tells what it logs at now.
    const std::optional<int> now = station.session().readInterval();
    if (now != minutes)
        return Fail(env,
                    now ? QStringLiteral("the station kept its interval of %1 minutes").arg(*now)
                        : QStringLiteral("the station did not answer"));
    PrintLine(env.out, QStringLiteral("interval set: %1 minutes").arg(*minutes));
    return 0;
}

} // namespace nimbra
