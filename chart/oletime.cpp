#include "oletime.h"

#include "oledate.h"

#include <QDateTime>
#include <QTimeZone>
#include <cmath>

namespace nimbra {

namespace {

constexpr double SecondsPerDay = 86400.0;
constexpr double UnixEpochOle = 25569.0; // 1970-01-01

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
    return ToOleDate({date.year(), date.month(), date.day(), timeOfDay.hour(), timeOfDay.minute(),
                      timeOfDay.second()});
}

QDate OleCalendarDate(double oleDate)
{
    const DateTimeParts parts = FromOleDate(oleDate);
    return QDate(parts.year, parts.month, parts.day);
}

QTime OleTimeOfDay(double oleDate)
{
    const DateTimeParts parts = FromOleDate(oleDate);
    return QTime(parts.hour, parts.minute, parts.second);
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
