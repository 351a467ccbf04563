#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace nimbra {

// OLE Automation dates (oledate.h) are wall-clock times without a zone; the pickers and the axis
// show them as they are. Whole seconds: the time of day is rounded to the nearest one.
double OleDateFrom(QDate date, QTime timeOfDay);
QDate OleCalendarDate(double oleDate);
QTime OleTimeOfDay(double oleDate);

// The chart's time axis counts seconds since 1970-01-01 00:00 and is labelled in UTC, so a
// reading stamped 14:00 shows 14:00 whatever the computer's zone or daylight-saving state.
double AxisKeyFromOle(double oleDate);
double OleFromAxisKey(double axisKey);

// "yyyy-MM-dd hh:mm:ss", as the time axis labels it.
inline constexpr const char* AxisTimeFormat = "yyyy-MM-dd hh:mm:ss";
QString AxisTimeText(double axisKey);

} // namespace nimbra
