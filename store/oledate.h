#pragma once

#include "datetimeparts.h"

#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

// OLE Automation dates: days since 1899-12-30 00:00 as a double, the fraction being the time of
// day. Before that day the whole part counts back while the fraction still counts forward, so
// 1899-12-29 12:00 is -1.5.

bool IsValidDate(int year, int month, int day);
double ToOleDate(const DateTimeParts& parts);
// To the nearest second; the epoch for a value far outside the calendar (or not a number).
DateTimeParts FromOleDate(double oleDate);

// "%d-%02d-%02d %d:%02d:%02d", the form in which callers hand a range to the record store.
std::string FormatRangeTime(const DateTimeParts& parts);
// Reads that form back (the hour may carry a leading zero); nullopt for anything else or for a
// date that does not exist.
std::optional<double> ParseRangeTime(std::string_view text);

} // namespace nimbra
