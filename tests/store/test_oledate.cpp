#include "oledate.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

struct OleCase
{
    DateTimeParts parts;
    double ole;
};

// Reference values of the automation calendar, including the days before its epoch whose
// fraction counts forward from a negative whole part.
const OleCase OleCases[] = {
    {{1899, 12, 30, 0, 0, 0}, 0.0},      {{1900, 1, 1, 0, 0, 0}, 2.0},
    {{1899, 12, 29, 12, 0, 0}, -1.5},    {{1899, 12, 30, 6, 0, 0}, 0.25},
    {{2000, 2, 29, 18, 0, 0}, 36585.75}, {{2017, 12, 31, 0, 0, 0}, 43100.0},
    {{1800, 1, 1, 0, 0, 0}, -36522.0},
};

} // namespace

TEST(OleDate, ConvertsBothWays)
{
    for (const OleCase& c : OleCases) {
        SCOPED_TRACE(FormatRangeTime(c.parts));
        EXPECT_DOUBLE_EQ(ToOleDate(c.parts), c.ole);
        const DateTimeParts back = FromOleDate(c.ole);
        EXPECT_EQ(FormatRangeTime(back), FormatRangeTime(c.parts));
    }
}

TEST(OleDate, RoundsToTheNearestSecondAcrossMidnight)
{
    const double almostMidnight = ToOleDate({2017, 12, 31, 23, 59, 59}) + 0.9 / 86400;
    EXPECT_EQ(FormatRangeTime(FromOleDate(almostMidnight)), "2018-01-01 0:00:00");
    // Before the epoch the time of day still runs forward, into the following day.
    for (int day : {28, 29}) {
        const double beforeEpoch = ToOleDate({1899, 12, day, 23, 59, 59}) - 0.9 / 86400;
        EXPECT_EQ(FormatRangeTime(FromOleDate(beforeEpoch)), FormatRangeTime({1899, 12, day + 1}));
    }
}

TEST(OleDate, ValuesFarOutsideTheCalendarShowAsTheEpoch)
{
    for (double bad : {1e300, -1e300, HUGE_VAL, double(NAN)})
        EXPECT_EQ(FormatRangeTime(FromOleDate(bad)), "1899-12-30 0:00:00") << bad;
}

TEST(OleDate, RangeTimeTextsReadBackOrAreRefused)
{
    EXPECT_DOUBLE_EQ(*ParseRangeTime("2017-12-31 23:59:58"), ToOleDate({2017, 12, 31, 23, 59, 58}));
    EXPECT_DOUBLE_EQ(*ParseRangeTime("2017-01-02 09:05:00"), ToOleDate({2017, 1, 2, 9, 5, 0}));
    for (const char* bad : {"", "2017-02-29 0:00:00", "2017-12-31 24:00:00", "2017-12-31 1:60:00",
                            "2017-12-31", "2017-12-31 1:00:00x", "-2017-12-31 1:00:00",
                            "2017-12-31 -1:00:00", "2017/12/31 1:00:00"})
        EXPECT_FALSE(ParseRangeTime(bad)) << bad;
}
