#pragma once

#include <string_view>

namespace nimbra {

// The order of day and month in a stamp that does not start with its year.
enum class DateOrder
{
    Unknown, // the user's locale decides
    YearMonthDay,
    MonthDayYear,
    DayMonthYear
};

// The station's date format setting (byte 4 of its settings page: 0 YYYY-MM-DD, 1 MM-DD-YYYY,
// 2 DD-MM-YYYY); Unknown for any other value.
DateOrder DateOrderFromSettings(int dateFormatByte);
// "YYYY-MM-DD", "MM-DD-YYYY" or "DD-MM-YYYY", as the command line takes it; Unknown otherwise.
DateOrder DateOrderFromName(std::string_view name);
// The name DateOrderFromName takes; empty for Unknown.
std::string_view DateOrderName(DateOrder order);
// Day before month or month before day in QLocale::system()'s short date format, so it follows
// LANG and LC_ALL.
DateOrder SystemDateOrder();

// Parse results besides a date.
inline constexpr double NotADate = 0.0;        // the text is no date at all
inline constexpr double DateOutOfRange = -1.0; // a well-formed date the calendar cannot hold

// A log time stamp (one byte a character) as an OLE Automation date. Accepts every form the
// station writes and what the automation date parser makes of them: date parts separated by
// "-" or "/", time parts by ":", hours without a leading zero, AM/PM after or before the time,
// a date alone (midnight) or a time alone (1899-12-30). A leading four-digit year means
// year-month-day; otherwise day and month follow order (SystemDateOrder() when Unknown or
// YearMonthDay), swapped when the "month" is above 12.
double ParseLogTime(std::string_view text, DateOrder order);

} // namespace nimbra
