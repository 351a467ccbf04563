#pragma once

#include "logdate.h"
#include "recordstore.h"

#include <QString>
#include <string_view>

namespace nimbra {

// The record list's columns: time, temperature, humidity, then dew point and heat index in an
// outdoor file.
inline constexpr int RecordColumns = 5;

// How a log writes its time stamps, so that the list writes them back the same way.
struct StampForm
{
    enum class Clock
    {
        TwentyFourHour, // "9:05:00", "21:05:00"
        MarkerFirst,    // "AM 9:05:00", "PM 9:05:00"
        MarkerLast,     // "9:05:00 AM", "9:05:00 PM"
    };
    DateOrder order = DateOrder::YearMonthDay;
    Clock clock = Clock::TwentyFourHour;
    friend bool operator==(const StampForm&, const StampForm&) = default;
};

// The form of one stamp: year first when it begins with four digits and a date separator,
// else order; an AM or PM before or after the time.
StampForm StampFormOf(std::string_view stamp, DateOrder order);

// The text of one cell of the record list, made from the stored row so that the list needs no
// copy of the file: the time in the station's form ("2026-12-01 9:05:00", "12-01-2026 PM
// 9:05:00", "01-12-2026 9:05:00 AM", the hour without a leading zero; empty for a stamp that
// did not parse), values as the station writes them ("21.5", "-3.0", "55") and "--" for no
// value. Empty for a column an indoor file does not have.
QString RecordCellText(const RecordRow& row, int column, const StampForm& form, bool indoor);

} // namespace nimbra
