#include "stationclock.h"

namespace nimbra {

using namespace std::chrono;

StationClock::StationClock() : m_setTo(floor<seconds>(system_clock::now())) {}

bool StationClock::set(const ClockFields& f)
{
    const year_month_day date{year{f.year}, month{f.month}, day{f.day}};
    if (!date.ok() || f.hour > 23 || f.minute > 59 || f.second > 59)
        return false;
    set(sys_days{date} + hours{f.hour} + minutes{f.minute} + seconds{f.second});
    return true;
}

void StationClock::set(sys_seconds time)
{
    m_setTo = time;
    m_setAt = SteadyClock::now();
}

sys_seconds StationClock::now() const
{
    return m_setTo + duration_cast<seconds>(SteadyClock::now() - m_setAt);
}

ClockFields StationClock::fields() const
{
    return toFields(now());
}

ClockFields StationClock::toFields(sys_seconds time)
{
    const sys_days dayStart = floor<days>(time);
    const year_month_day date{dayStart};
    const hh_mm_ss clock{time - dayStart};
    ClockFields f;
    f.year = static_cast<int>(date.year());
    f.month = static_cast<unsigned>(date.month());
    f.day = static_cast<unsigned>(date.day());
    f.hour = static_cast<unsigned>(clock.hours().count());
    f.minute = static_cast<unsigned>(clock.minutes().count());
    f.second = static_cast<unsigned>(clock.seconds().count());
    f.weekday = weekday{dayStart}.c_encoding();
    return f;
}

} // namespace nimbra
