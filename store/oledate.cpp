#include "oledate.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace nimbra {

namespace {

constexpr int SecondsPerDay = 86400;
constexpr double MaxOleDays = 3e6; // past 9999-12-31 and before 100-01-01 either way

// Days from 1970-01-01 in the proleptic Gregorian calendar (H. Hinnant's days_from_civil).
constexpr long long DaysFromCivil(int year, int month, int day)
{
    const long long y = year - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr long long OleEpochDays = DaysFromCivil(1899, 12, 30);

// Reads unsigned digits up to the next non-digit; false when there are none.
bool ReadNumber(std::string_view& text, int& value)
{
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool Expect(std::string_view& text, char separator)
{
    if (text.empty() || text.front() != separator)
        return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

bool IsValidDate(int year, int month, int day)
{
    if (month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int Lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= Lengths[month - 1] + (month == 2 && leap ? 1 : 0);
}

double ToOleDate(const DateTimeParts& parts)
{
    const long long days = DaysFromCivil(parts.year, parts.month, parts.day) - OleEpochDays;
    const double fraction =
        (parts.hour * 3600 + parts.minute * 60 + parts.second) / double(SecondsPerDay);
    return days < 0 ? double(days) - fraction : double(days) + fraction;
}

DateTimeParts FromOleDate(double oleDate)
{
    // Beyond the calendar's years there is nothing to show; the epoch stands for it.
    if (!(std::fabs(oleDate) < MaxOleDays))
        return {};
    double whole = std::trunc(oleDate);
    long long seconds = std::llround(std::fabs(oleDate - whole) * SecondsPerDay);
    // Rounded up into the next day: on either side of the epoch the time of day runs forward,
    // so the next day is always one more.
    if (seconds >= SecondsPerDay) {
        seconds -= SecondsPerDay;
        whole += 1.0;
    }
    DateTimeParts parts;
    CivilFromDays(static_cast<long long>(whole) + OleEpochDays, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(seconds / 3600);
    parts.minute = static_cast<int>(seconds / 60 % 60);
    parts.second = static_cast<int>(seconds % 60);
    return parts;
}

std::string FormatRangeTime(const DateTimeParts& parts)
{
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %d:%02d:%02d", parts.year, parts.month,
                  parts.day, parts.hour, parts.minute, parts.second);
    return text;
}

std::optional<double> ParseRangeTime(std::string_view text)
{
    DateTimeParts parts;
    const bool read =
        ReadNumber(text, parts.year) && Expect(text, '-') && ReadNumber(text, parts.month) &&
        Expect(text, '-') && ReadNumber(text, parts.day) && Expect(text, ' ') &&
        ReadNumber(text, parts.hour) && Expect(text, ':') && ReadNumber(text, parts.minute) &&
        Expect(text, ':') && ReadNumber(text, parts.second) && text.empty();
    if (!read || !IsValidDate(parts.year, parts.month, parts.day) || parts.hour > 23 ||
        parts.minute > 59 || parts.second > 59)
        return std::nullopt;
    return ToOleDate(parts);
}

} // namespace nimbra
