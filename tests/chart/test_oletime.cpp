#include "oletime.h"

#include <gtest/gtest.h>

using namespace nimbra;

namespace {

struct Stamp
{
    QDate date;
    QTime time;
    double ole;
    const char* axisText;
};

// Before the base date the whole days count backwards but the time of day forwards.
const Stamp Stamps[] = {
    {{1899, 12, 30}, {0, 0}, 0.0, "1899-12-30 00:00:00"},
    {{1899, 12, 29}, {6, 0}, -1.25, "1899-12-29 06:00:00"},
    {{1899, 12, 28}, {18, 0}, -2.75, "1899-12-28 18:00:00"},
    {{1899, 12, 30}, {12, 0}, 0.5, "1899-12-30 12:00:00"},
    {{1970, 1, 1}, {0, 0}, 25569.0, "1970-01-01 00:00:00"},
    {{2026, 3, 29}, {2, 30}, 46110.104166666664, "2026-03-29 02:30:00"},
    {{2026, 10, 25}, {23, 59, 59}, 46320.0 + 86399.0 / 86400.0, "2026-10-25 23:59:59"},
};

} // namespace

TEST(OleTime, DatesConvertBothWaysAndLabelTheAxisWithoutAZone)
{
    for (const Stamp& stamp : Stamps) {
        SCOPED_TRACE(stamp.axisText);
        EXPECT_NEAR(OleDateFrom(stamp.date, stamp.time), stamp.ole, 1e-9);
        EXPECT_EQ(OleCalendarDate(stamp.ole), stamp.date);
        EXPECT_EQ(OleTimeOfDay(stamp.ole), stamp.time);
        const double key = AxisKeyFromOle(stamp.ole);
        EXPECT_EQ(AxisTimeText(key).toStdString(), stamp.axisText);
        EXPECT_NEAR(OleFromAxisKey(key), stamp.ole, 1e-9);
    }
}

TEST(OleTime, AxisKeysRunStraightAcrossTheBaseDate)
{
    // 1899-12-29 18:00 lies six hours before 1899-12-30 00:00 on the axis.
    EXPECT_DOUBLE_EQ(AxisKeyFromOle(0.0) - AxisKeyFromOle(-1.75), 6 * 3600.0);
    EXPECT_LT(AxisKeyFromOle(-1.0), AxisKeyFromOle(0.0));
}
