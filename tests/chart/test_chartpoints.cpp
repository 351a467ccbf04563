#include "chartpoints.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

// Keys in minutes; the result as keys with "|" for a break.
std::string Broken(const std::vector<double>& keys)
{
    QVector<QCPGraphData> points;
    for (const double key : keys)
        points.append(QCPGraphData(key, 1.0));
    std::string text;
    for (const QCPGraphData& point : BreakAtGaps(points))
        text += std::isnan(point.value) ? "| " : std::to_string(int(point.key)) + ' ';
    return text;
}

TEST(BreakAtGaps, OnlyPausesLongerThanThreeIntervalsBreakTheLine)
{
    const struct
    {
        std::vector<double> keys;
        const char* drawn;
    } cases[] = {
        {{0, 5, 10, 15, 30, 35}, "0 5 10 15 30 35 "},   // three intervals exactly: a line
        {{0, 5, 10, 15, 31, 36}, "0 5 10 15 | 31 36 "}, // a little more: a gap
        {{0, 5, 10, 1000, 1005, 5000}, "0 5 10 | 1000 1005 | 5000 "},
        {{0, 500}, "0 500 "},       // too few to know the interval
        {{7, 7, 7, 7}, "7 7 7 7 "}, // no interval at all
    };
    for (const auto& c : cases)
        EXPECT_EQ(Broken(c.keys), c.drawn);
}

} // namespace
