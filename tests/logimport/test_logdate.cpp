#include "logdate.h"
#include "oledate.h"

#include <gtest/gtest.h>
#include <string>

using namespace nimbra;

namespace {

double Ole(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return ToOleDate({year, month, day, hour, minute, second});
}

// A stamp in each of the station's date formats (settings byte 4) for 2017-03-04, a day whose
// day and month are both 12 or less.
const char* const Dates[] = {"2017-03-04", "03-04-2017", "04-03-2017"};

struct TimeFormat
{
    const char* morning;   // 9:05:07
    const char* afternoon; // 13:05:07
    const char* midnight;  // 0:00:09
};
// The station's time formats (settings byte 3): 24 hours, AM/PM before and after the time.
const TimeFormat Times[] = {
    {"9:05:07", "13:05:07", "0:00:09"},
    {"AM 9:05:07", "PM 1:05:07", "AM 12:00:09"},
    {"9:05:07 AM", "1:05:07 PM", "12:00:09 AM"},
};

} // namespace

TEST(LogDate, ReadsAllNineFormatPairsOfTheStationInItsDateOrder)
{
    for (int dateFormat = 0; dateFormat < 3; ++dateFormat) {
        for (const TimeFormat& time : Times) {
            const std::string date = Dates[dateFormat];
            const DateOrder order = DateOrderFromSettings(dateFormat);
            SCOPED_TRACE(date + " " + time.morning);
            EXPECT_EQ(ParseLogTime(date + " " + time.morning, order), Ole(2017, 3, 4, 9, 5, 7));
            EXPECT_EQ(ParseLogTime(date + " " + time.afternoon, order), Ole(2017, 3, 4, 13, 5, 7));
            EXPECT_EQ(ParseLogTime(date + " " + time.midnight, order), Ole(2017, 3, 4, 0, 0, 9));
        }
    }
}

struct StampCase
{
    const char* text;
    DateOrder order;
    double expected;
};

TEST(LogDate, ReadsWhatTheAutomationParserReadsAndRefusesTheRest)
{
    using enum DateOrder;
    const StampCase cases[] = {
        // separators, padding, parts alone
        {"2017/3/4 9:05:07", MonthDayYear, Ole(2017, 3, 4, 9, 5, 7)},
        {"  2017-03-04   09:05  ", Unknown, Ole(2017, 3, 4, 9, 5)},
        {"2017-03-04", Unknown, Ole(2017, 3, 4)},
        {"9:05:07", Unknown, Ole(1899, 12, 30, 9, 5, 7)},
        {"12:30:00 pm", Unknown, Ole(1899, 12, 30, 12, 30)},
        {"03/04/17 1:00:00", MonthDayYear, Ole(2017, 3, 4, 1)},
        {"03/04/95", DayMonthYear, Ole(1995, 4, 3)},
        // a "month" above 12 swaps, whatever the order
        {"13-04-2017 9:00:00", MonthDayYear, Ole(2017, 4, 13, 9)},
        {"04-13-2017 9:00:00", DayMonthYear, Ole(2017, 4, 13, 9)},
        {"2017-13-04", Unknown, Ole(2017, 4, 13)},
        // no date at all
        {"", Unknown, NotADate},
        {"--", Unknown, NotADate},
        {"Time", Unknown, NotADate},
        {"2017-02-30 9:00:00", Unknown, NotADate},
        {"2017-02-29", Unknown, NotADate},
        {"13-13-2017", MonthDayYear, NotADate},
        {"24:00:00", Unknown, NotADate},
        {"12:60:00", Unknown, NotADate},
        {"9:05:60", Unknown, NotADate},
        {"13:00:00 PM", Unknown, NotADate},
        {"2017-03-04 PM", Unknown, NotADate},
        {"AM", Unknown, NotADate},
        {"2017-03-04 9:05:07 AMX", Unknown, NotADate},
        {"2017-03-04 9:05:07,21.5", Unknown, NotADate},
        {"2017-03", Unknown, NotADate},
        {"9", Unknown, NotADate},
        {"1234567890:00", Unknown, NotADate},
        // well-formed, outside the calendar's years
        {"01-01-10000", MonthDayYear, DateOutOfRange},
        {"0050-01-01", Unknown, DateOutOfRange},
    };
    for (const StampCase& c : cases)
        EXPECT_EQ(ParseLogTime(c.text, c.order), c.expected) << '"' << c.text << '"';
}

TEST(LogDate, AmbiguousDayAndMonthFollowTheKnownOrderElseTheLocale)
{
    EXPECT_EQ(ParseLogTime("03-04-2017", DateOrder::MonthDayYear), Ole(2017, 3, 4));
    EXPECT_EQ(ParseLogTime("03-04-2017", DateOrder::DayMonthYear), Ole(2017, 4, 3));
    const double byLocale =
        SystemDateOrder() == DateOrder::DayMonthYear ? Ole(2017, 4, 3) : Ole(2017, 3, 4);
    EXPECT_EQ(ParseLogTime("03-04-2017", DateOrder::Unknown), byLocale);
    // A station set to YYYY-MM-DD tells nothing about a stamp that does not start with its year.
    EXPECT_EQ(ParseLogTime("03-04-2017", DateOrder::YearMonthDay), byLocale);
}

TEST(LogDate, DateOrderFromSettingsAndName)
{
    EXPECT_EQ(DateOrderFromSettings(0), DateOrder::YearMonthDay);
    EXPECT_EQ(DateOrderFromSettings(1), DateOrder::MonthDayYear);
    EXPECT_EQ(DateOrderFromSettings(2), DateOrder::DayMonthYear);
    EXPECT_EQ(DateOrderFromSettings(3), DateOrder::Unknown);
    EXPECT_EQ(DateOrderFromSettings(-1), DateOrder::Unknown);
    EXPECT_EQ(DateOrderFromName("DD-MM-YYYY"), DateOrder::DayMonthYear);
    EXPECT_EQ(DateOrderFromName("MM-DD-YYYY"), DateOrder::MonthDayYear);
    EXPECT_EQ(DateOrderFromName("YYYY-MM-DD"), DateOrder::YearMonthDay);
    EXPECT_EQ(DateOrderFromName("dd-mm-yyyy"), DateOrder::Unknown);
}
