#pragma once

#include <charconv>
#include <string>

namespace nimbra {

// A number as "%0.1f" would print it in the C locale. printf follows LC_NUMERIC, which a Qt
// program takes from the environment: under German it writes "35,0", which neither the station
// nor a reader of the log expects.
inline std::string OneDecimal(double value)
{
    char text[400]; // the longest double in fixed notation has 309 digits before the point
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr;
    return std::string(text, end);
}

} // namespace nimbra
