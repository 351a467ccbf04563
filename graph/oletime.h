#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace nimbra {

// OLE Automation dates are wall-clock times without a zone: days since 1899-12-30, the fraction
// is the time of day (for days before the base date, the fraction's absolute value).
double OleDateFrom(QDate date, QTime timeOfDay);
QDate OleCalendarDate(double oleDate);
// Rounded to the nearest second.
QTime OleTimeOfDay(double oleDate);

// The chart's time axis counts seconds since 1970-01-01 00:00 and is labelled in UTC, so a
// reading stamped 14:00 shows 14:00 whatever the computer's zone or daylight-saving state.
double AxisKeyFromOle(double oleDate);
double OleFromAxisKey(double axisKey);

// "yyyy-MM-dd hh:mm:ss", as the time axis labels it.
inline constexpr const char* AxisTimeFormat = "yyyy-MM-dd hh:mm:ss";
QString AxisTimeText(double axisKey);

} // namespace nimbra
