#pragma once

#include "decimaltext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

// Numbers typed into the setup dialogs. A text that is not wholly a number (blanks around it
// aside) gives no value: it is refused, never read as 0 and written to the station. A decimal
// may use "," or "." as its separator, whatever the locale.
std::optional<double> ParseDecimal(std::string_view text);
std::optional<int> ParseWhole(std::string_view text);

// A limit or offset field: "--" gives NoLimit, humidity a whole percent, a temperature the
// entered number in tenths of a degree Celsius (toTenths converts from the display unit),
// truncated toward zero. No value when the text is not a number.
std::optional<int> ParseTenthsField(std::string_view text, bool humidity,
                                    double (*toTenths)(double number, bool fahrenheit),
                                    bool fahrenheit);

// Multi-byte numbers on the wire are big-endian.
inline std::uint16_t BigEndian16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}
inline void PutBigEndian16(std::uint8_t* bytes, std::uint16_t value)
{
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value);
}

// The station's temperature range, -40.0 to 60.0 °C, in tenths: limits and corrected readings
// must stay inside it.
inline constexpr int MinTempTenths = -400;
inline constexpr int MaxTempTenths = 600;

// The text that marks a missing limit or offset, and its value in memory.
inline constexpr std::string_view NoValueText = "--";
inline constexpr int NoLimit = 65535;

// A temperature field of a page in tenths of a degree Celsius; FF FF and 7F FF carry none.
inline int TenthsOrNone(std::uint16_t raw)
{
    return raw == 0xFFFF || raw == 0x7FFF ? NoLimit : static_cast<std::int16_t>(raw);
}
// Whether a typed temperature in tenths reaches the station as that number: only 16 bits
// travel, and FF FF (-1) and 7F FF read as no value there.
inline bool StationHoldsTenths(int tenths)
{
    return tenths >= INT16_MIN && tenths <= INT16_MAX && tenths != -1 && tenths != 0x7FFF;
}
// Back to the wire: no value as FF FF, anything else as its low 16 bits.
inline std::uint16_t TenthsOnWire(int value)
{
    return value == NoLimit ? 0xFFFF : static_cast<std::uint16_t>(value);
}

} // namespace nimbra
