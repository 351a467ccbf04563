#pragma once

#include "datetimeparts.h"

#include <chrono>
#include <cstdint>

namespace nimbra {

// The station's own clock: set from outside, then running in real time. It keeps no time zone:
// whatever it was set to is its local time.
class StationClock
{
public:
    using SteadyClock = std::chrono::steady_clock;

    // Starts at the computer's current time (UTC, the emulator has no zone of its own).
    StationClock();

    // False for a date or time that does not exist; the clock then keeps running unchanged.
    bool set(const DateTimeParts& fields);
    void set(std::chrono::sys_seconds time);

    std::chrono::sys_seconds now() const;
    DateTimeParts fields() const;
    // 0 = Sunday; computed from the date, never taken from what was sent.
    unsigned weekday() const;

    static DateTimeParts toFields(std::chrono::sys_seconds time);

private:
    std::chrono::sys_seconds m_setTo;
    SteadyClock::time_point m_setAt = SteadyClock::now();
};

} // namespace nimbra
