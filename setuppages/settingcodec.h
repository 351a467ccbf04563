#pragma once

#include "commandframe.h"
#include "replyrouter.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace nimbra {

// The five channel areas of the station's display, CH Area1..CH Area5.
inline constexpr int AreaCount = 5;
using AreaMasks = std::array<std::uint32_t, AreaCount>;

// Quantities of a ChannelMask: bit 3 * (channel - 1) + quantity.
enum ChannelQuantity
{
    MaskTemperature = 0,
    MaskDewPoint = 1,
    MaskHeatIndex = 2
};
inline constexpr int QuantityCount = 3;

inline constexpr std::uint32_t MaskBit(int channel, int quantity)
{
    return std::uint32_t{1} << (3 * (channel - 1) + quantity);
}

// The area a selection of the area box stands for: 0..3 as they are, anything else area 5.
inline constexpr int AreaOf(int selection)
{
    return selection >= 0 && selection <= 3 ? selection : AreaCount - 1;
}

// The selections of the Setup dialog's boxes, each the index of its list (-1: none selected).
struct SettingSelection
{
    int graphType = 0;
    int graphTime = 0; // 12H, 24H, 48H, 72H
    int timeFormat = 0;
    int dateFormat = 0;
    int daylightSaving = 0;
    int timeZone = 0; // hours + 12
    int unit = 0;
    AreaMasks masks{};

    friend bool operator==(const SettingSelection&, const SettingSelection&) = default;
};

// What the boxes show for a settings page. A byte outside a box's list selects nothing, except
// the graph time, where every unknown number shows as 72H.
SettingSelection SelectionFromPage(const Page& settingsPage);
// The settings frame (command 0x10): the page's layout one byte later.
CommandFrame SettingsFrame(const SettingSelection& selection);
// The settings page the station holds once it has taken that frame.
Page WrittenSettingsPage(const Page& held, const SettingSelection& selection);

inline constexpr int MinInterval = 5;
inline constexpr int MaxInterval = 240;
// The logging interval typed in minutes; no value when it is not a whole number in 5..240.
std::optional<int> ParseInterval(std::string_view text);

} // namespace nimbra
