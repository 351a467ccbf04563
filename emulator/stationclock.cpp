#include "stationclock.h"

namespace nimbra {

using namespace std::chrono;

StationClock::StationClock() : m_setTo(floor<seconds>(system_clock::now())) {}

bool StationClock::set(const DateTimeParts& f)
{
    const year_month_day date{year{f.year}, month{static_cast<unsigned>(f.month)},
                              day{static_cast<unsigned>(f.day)}};
    const auto outside = [](int value, int last) { return value < 0 || value > last; };
    if (!date.ok() || outside(f.hour, 23) || outside(f.minute, 59) || outside(f.second, 59))
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

DateTimeParts StationClock::fields() const
{
    return toFields(now());
}

unsigned StationClock::weekday() const
{
    return std::chrono::weekday{floor<days>(now())}.c_encoding();
}

DateTimeParts StationClock::toFields(sys_seconds time)
{
    const sys_days dayStart = floor<days>(time);
    const year_month_day date{dayStart};
    const hh_mm_ss clock{time - dayStart};
    DateTimeParts f;
    f.year = static_cast<int>(date.year());
    f.month = static_cast<int>(static_cast<unsigned>(date.month()));
    f.day = static_cast<int>(static_cast<unsigned>(date.day()));
    f.hour = static_cast<int>(clock.hours().count());
    f.minute = static_cast<int>(clock.minutes().count());
    f.second = static_cast<int>(clock.seconds().count());
    return f;
}

} // namespace nimbra
