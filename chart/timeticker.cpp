#include "timeticker.h"

#include "oletime.h"

#include <QFontMetrics>
#include <QTimeZone>
#include <array>

namespace nimbra {

namespace {

constexpr double Minute = 60.0;
constexpr double Hour = 60.0 * Minute;
constexpr double Day = 24.0 * Hour;
// QCPAxisTickerDateTime's month, which it then moves to the first of a month.
constexpr double Month = 30.4375 * Day;
constexpr double Year = 12.0 * Month;

struct Step
{
    double seconds;  // as the base ticker lays it out
    double shortest; // the least time between two of its ticks: months and years vary
};

constexpr std::array<Step, 35> Steps{{
    {1, 1},
    {2, 2},
    {5, 5},
    {10, 10},
    {15, 15},
    {30, 30},
    {Minute, Minute},
    {2 * Minute, 2 * Minute},
    {5 * Minute, 5 * Minute},
    {10 * Minute, 10 * Minute},
    {15 * Minute, 15 * Minute},
    {30 * Minute, 30 * Minute},
    {Hour, Hour},
    {2 * Hour, 2 * Hour},
    {3 * Hour, 3 * Hour},
    {6 * Hour, 6 * Hour},
    {12 * Hour, 12 * Hour},
    {Day, Day},
    {2 * Day, 2 * Day},
    {7 * Day, 7 * Day},
    {14 * Day, 14 * Day},
    {Month, 28 * Day},
    {2 * Month, 59 * Day},
    {3 * Month, 89 * Day},
    {6 * Month, 181 * Day},
    {Year, 365 * Day},
    {2 * Year, 730 * Day},
    {5 * Year, 1826 * Day},
    {10 * Year, 3652 * Day},
    {20 * Year, 7305 * Day},
    {50 * Year, 18262 * Day},
    {100 * Year, 36524 * Day},
    {200 * Year, 73048 * Day},
    {500 * Year, 182621 * Day},
    {1000 * Year, 365242 * Day},
}};

} // namespace

TimeTicker::TimeTicker(const QCPAxis* axis) : m_axis(axis)
{
    setDateTimeFormat(QString::fromLatin1(AxisTimeFormat));
    setTimeZone(QTimeZone::utc());
}

double TimeTicker::labelPitch(const QCPRange& range) const
{
    // Measured as the axis measures the labels it paints.
    const QFontMetrics metrics(m_axis->tickLabelFont());
    const QRect label =
        metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip, AxisTimeText(range.lower));
    return label.width() + metrics.horizontalAdvance(QLatin1Char('M'));
}

double TimeTicker::getTickStep(const QCPRange& range)
{
    const int pixels = m_axis->axisRect() ? m_axis->axisRect()->width() : 0;
    if (pixels <= 0 || !(range.size() > 0.0))
        return QCPAxisTickerDateTime::getTickStep(range); // nothing laid out yet
    const double secondsPerPixel = range.size() / pixels;
    const double least = labelPitch(range) * secondsPerPixel;
    Step chosen = Steps.back();
    for (const Step& step : Steps) {
        if (step.shortest >= least) {
            chosen = step;
            break;
        }
    }
    // Ticks a day or more apart keep the time of day, a month or more the day of the month.
    mDateStrategy = chosen.seconds >= Month ? dsUniformDayInMonth
                    : chosen.seconds >= Day ? dsUniformTimeInDay
                                            : dsNone;
    return chosen.seconds;
}

} // namespace nimbra
