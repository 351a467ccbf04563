#pragma once

#include <QString>
#include <array>
#include <string_view>

namespace nimbra {

// The fields of one log line: time, temperature, humidity, then dew point and heat index in an
// outdoor file. The last field runs to the end of the line, commas included. Views into the
// line.
struct LogFields
{
    std::array<std::string_view, 5> field{};
};

// The station's split: the first comma is searched from position 1, each further one after the
// previous; a search that failed makes the next one start again at the front. indoor: three
// fields, else five.
LogFields SplitLogLine(std::string_view line, bool indoor);

// "--" anywhere in a field means no value (65535).
bool HasNoValue(std::string_view field);
// The leading decimal number ("." as decimal point, leading blanks skipped, stops at the first
// character it cannot use; 0 without a number), as a float; 65535 for no value.
float ReadLogFloat(std::string_view field);
// The leading integer, the same way; 65535 for no value.
int ReadLogInteger(std::string_view field);

// Whether the whole field, blanks aside, is one decimal number (an integer when integer is set):
// "21.5" and " -3 " are, "21.5C", "1." cut short, "abc" and "" are not.
bool IsWholeNumber(std::string_view field, bool integer);

// "(C)" of "Temperature(C)" becomes "(°C)": the header's second field from its first "(" (the
// whole field without one), every C and F followed by the degree sign. Latin-1 text.
QString UnitLabelFromHeader(std::string_view headerLine);
// A unit label of degrees Fahrenheit, "(°F)".
bool IsFahrenheitLabel(const QString& unitLabel);
// Indoor logs carry "IN" in their name (case matters).
bool IsIndoorFileName(std::string_view stationFileName);

} // namespace nimbra
