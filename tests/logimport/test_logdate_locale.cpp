// Run under different LC_ALL values: the order of an ambiguous stamp without a known date
// format is the one of the user's locale.
#include "logdate.h"
#include "oledate.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace nimbra;

TEST(LogDateLocale, UnknownOrderFollowsTheUsersLocale)
{
    const QString locale = QLocale::system().name();
    if (locale == QStringLiteral("de_DE") || locale == QStringLiteral("en_GB")) {
        EXPECT_EQ(SystemDateOrder(), DateOrder::DayMonthYear);
        EXPECT_EQ(ParseLogTime("03-04-2017", DateOrder::Unknown), ToOleDate({2017, 4, 3}));
    } else if (locale == QStringLiteral("en_US")) {
        EXPECT_EQ(SystemDateOrder(), DateOrder::MonthDayYear);
        EXPECT_EQ(ParseLogTime("03-04-2017", DateOrder::Unknown), ToOleDate({2017, 3, 4}));
    } else {
        GTEST_SKIP() << "run with LC_ALL de_DE, en_GB or en_US, not " << locale.toStdString();
    }
}
