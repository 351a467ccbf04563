#pragma once

#include "commandframe.h"

#include <QDateTime>
#include <functional>

namespace nimbra {

class HidLink;
class MessageService;

// Where the station's clock gets its time from: the computer's local time, or a fixed one in
// tests.
using LocalClock = std::function<QDateTime()>;

QDateTime SystemLocalTime();

// The set-clock command for a local time, field by field: year (big-endian), month, day, hour,
// minute, second, day of the week (0 = Sunday). Milliseconds and the time zone stay behind:
// the station keeps its own zone and daylight-saving settings.
CommandFrame SetClockFrame(const QDateTime& local);

// Sets the station's clock without asking and without the screen check. Returns whether the
// frame went out.
bool SendClock(HidLink& link, const LocalClock& clock = SystemLocalTime);

// The Sync Time buttons of the Setup and SyncTime dialogs: SendClock to a connected station,
// which blocks for the station's waits, then its result told in fixed English texts.
bool SendClockIfConnected(HidLink& link, const LocalClock& clock = SystemLocalTime);
void TellClockSent(MessageService& messages, bool sent);

} // namespace nimbra
