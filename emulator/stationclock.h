#pragma once

#include <chrono>
#include <cstdint>

namespace nimbra {

// A calendar time as the set-clock command carries it.
struct ClockFields
{
    int year = 2026;
    unsigned month = 1;
    unsigned day = 1;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned weekday = 0; // 0 = Sunday
    friend bool operator==(const ClockFields&, const ClockFields&) = default;
};

// The station's own clock: set from outside, then running in real time. It keeps no time zone:
// whatever it was set to is its local time.
class StationClock
{
public:
    using SteadyClock = std::chrono::steady_clock;

    // Starts at the computer's current time (UTC, the emulator has no zone of its own).
    StationClock();

    // False for a date or time that does not exist; the clock then keeps running unchanged.
    bool set(const ClockFields& fields);
    void set(std::chrono::sys_seconds time);

    std::chrono::sys_seconds now() const;
    // The weekday is computed from the date, not taken from what was sent.
    ClockFields fields() const;

    static ClockFields toFields(std::chrono::sys_seconds time);

private:
    std::chrono::sys_seconds m_setTo;
    SteadyClock::time_point m_setAt = SteadyClock::now();
};

} // namespace nimbra
