#pragma once

#include "commandframe.h"
#include "replyrouter.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The alarm pages as the poll cycle files them: switches (reply to 0x06), a second page that is
// never fetched, the temperature limits (0x08) and the humidity limits (0x09).
using AlarmPages = std::array<Page, 4>;
inline constexpr std::size_t SwitchesPage = 0;
inline constexpr std::size_t TempLimitsPage = 2;
inline constexpr std::size_t HumiLimitsPage = 3;

// Sixteen limits a kind, in the order CH1 high, CH1 low, CH2 high, ..., CH8 low.
inline constexpr int LimitCount = 2 * ChannelCount;

// The enable bytes, bit c - 1 for CHc, in the order of the switches page.
enum AlarmEnable
{
    HumiHighEnable = 0,
    HumiLowEnable = 1,
    TempHighEnable = 2,
    TempLowEnable = 3
};

// What the Alarm dialog's controls hold.
struct AlarmForm
{
    int tempSwitch = 0; // 0 ON, 1 OFF, -1 none selected
    int humiSwitch = 0;
    std::array<std::uint8_t, 4> enables{};
    std::array<std::string, LimitCount> temps;
    std::array<std::string, LimitCount> humis;

    friend bool operator==(const AlarmForm&, const AlarmForm&) = default;
};

// The pages shown in the station's unit.
AlarmForm AlarmFormFromPages(const AlarmPages& pages, bool fahrenheit);
// What a dialog shows without a station: no limits and every switch on.
AlarmPages UnconnectedAlarmPages();

// A limit typed in the station's unit, in tenths of a degree Celsius truncated toward zero, or
// whole percent; "--" is NoLimit; no value for a text that is not a number.
std::optional<int> ParseLimit(std::string_view text, bool humidity, bool fahrenheit);

enum class AlarmCheck
{
    Ok,
    TempError,
    HumiError,
    TempNoValue // a typed limit the station would read as no limit
};

struct AlarmWrite
{
    AlarmCheck check = AlarmCheck::Ok;
    int channel = 0;                  // 1..8, the channel of a refused limit
    std::vector<CommandFrame> frames; // 0x12, 0x14, 0x15 when the check passed
    AlarmPages pages{};               // what the station holds once it has taken them
};

// Checks the form and builds the three alarm frames. A temperature left as shown goes back as
// the station's own value: the shown text is rounded to 0.1 of the unit, and read back in
// Fahrenheit it would move the limit by a tenth at every save.
AlarmWrite AlarmFrames(const AlarmForm& entered, const AlarmPages& shown, bool fahrenheit);

} // namespace nimbra
