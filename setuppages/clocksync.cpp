#include "clocksync.h"

#include "hidlink.h"
#include "messageservice.h"

namespace nimbra {

QDateTime SystemLocalTime()
{
    return QDateTime::currentDateTime();
}

CommandFrame SetClockFrame(const QDateTime& local)
{
    const QDate date = local.date();
    const QTime time = local.time();
    const auto byte = [](int value) { return static_cast<std::uint8_t>(value); };
    const std::uint8_t params[] = {
        byte(date.year() >> 8),     byte(date.year()),   byte(date.month()),  byte(date.day()),
        byte(time.hour()),          byte(time.minute()), byte(time.second()),
        byte(date.dayOfWeek() % 7), // Qt counts Monday 1 .. Sunday 7
    };
    return CommandFrame(Command::SetClock, params);
}

bool SendClock(HidLink& link, const LocalClock& clock)
{
    const Millis wait = link.timing().setClock;
    return link.Write(SetClockFrame(clock()), wait, wait);
}

bool SendClockIfConnected(HidLink& link, const LocalClock& clock)
{
    // A station that went away between the check and the frame has not been set either.
    return link.Connected() && SendClock(link, clock);
}

void TellClockSent(MessageService& messages, bool sent)
{
    messages.inform(sent ? QStringLiteral("Sync Time Success.") : QStringLiteral("Unconnected"));
}

} // namespace nimbra
