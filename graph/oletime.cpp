#include "oletime.h"

#include <QDateTime>
#include <QTimeZone>
#include <cmath>

namespace nimbra {

namespace {

constexpr double SecondsPerDay = 86400.0;
constexpr double UnixEpochOle = 25569.0; // 1970-01-01
const QDate OleBase(1899, 12, 30);

// Days on a straight line through the base date: an OLE date below zero counts its whole days
// backwards but its time of day forwards.
double LinearDays(double oleDate)
{
    if (oleDate >= 0.0)
        return oleDate;
    const double day = std::trunc(oleDate);
    return day + (day - oleDate);
}

double OleFromLinear(double days)
{
    if (days >= 0.0)
        return days;
    const double day = std::floor(days);
    if (day == days)
        return days;
    // The whole day counts backwards, the time of day is added as a magnitude.
    return day - (days - day);
}

} // namespace

double OleDateFrom(QDate date, QTime timeOfDay)
{
    const double days = static_cast<double>(OleBase.daysTo(date));
    const double fraction = timeOfDay.msecsSinceStartOfDay() / (SecondsPerDay * 1000.0);
    return OleFromLinear(days + fraction);
}

QDate OleCalendarDate(double oleDate)
{
    const double seconds = std::round(LinearDays(oleDate) * SecondsPerDay);
    return OleBase.addDays(static_cast<qint64>(std::floor(seconds / SecondsPerDay)));
}

QTime OleTimeOfDay(double oleDate)
{
    const double seconds = std::round(LinearDays(oleDate) * SecondsPerDay);
    const double inDay = seconds - std::floor(seconds / SecondsPerDay) * SecondsPerDay;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(inDay) * 1000);
}

double AxisKeyFromOle(double oleDate)
{
    return (LinearDays(oleDate) - UnixEpochOle) * SecondsPerDay;
}

double OleFromAxisKey(double axisKey)
{
    return OleFromLinear(axisKey / SecondsPerDay + UnixEpochOle);
}

QString AxisTimeText(double axisKey)
{
    const auto msecs = static_cast<qint64>(std::llround(axisKey * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc()).toString(AxisTimeFormat);
}

} // namespace nimbra
