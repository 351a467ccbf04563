#pragma once

#include "commandframe.h"
#include "livereadings.h"
#include "replyrouter.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

// The offset edits of the Calibration dialog, CH1..CH8.
struct CalibForm
{
    std::array<std::string, ChannelCount> temps;
    std::array<std::string, ChannelCount> humis;

    friend bool operator==(const CalibForm&, const CalibForm&) = default;
};

// The readings the offsets are checked against, taken when the dialog is chosen from the menu.
struct CalibReadings
{
    std::array<float, ReadingSlots> m_ReadingTemp{}; // degrees Celsius, NoValue: none
    std::array<int, ReadingSlots> m_ReadingHumi{};   // percent, NoValue: none

    bool hasTemperature(int channel) const { return m_ReadingTemp[channel - 1] <= 60000; }
    bool hasHumidity(int channel) const { return m_ReadingHumi[channel - 1] != NoValue; }
};

// The page's offsets in the station's unit: temperature differences in °C or °F degrees, and
// whole percent.
CalibForm CalibFormFromPage(const Page& offsetPage, bool fahrenheit);

// An offset typed in the station's unit: tenths of a degree Celsius truncated toward zero (no
// 32 is subtracted: it is a difference), or whole percent; "--" is NoLimit; no value for a
// text that is not a number.
std::optional<int> ParseOffset(std::string_view text, bool humidity, bool fahrenheit);

struct CalibWrite
{
    enum class Check
    {
        Ok,
        TempOutOfRange,
        HumiOutOfRange,
        TempNoValue // a typed offset the station would read as no offset
    };
    Check check = Check::Ok;
    int channel = 0; // 1..8, the channel the check stopped at
    std::optional<CommandFrame> frame;
    Page page{}; // what the station holds once it has taken the frame
};

// Checks that every corrected reading stays in the station's range and builds the calibration
// frame. shown is the page the dialog opened with: an offset left as shown goes back as the
// station's own bytes (a Fahrenheit text read back would move it by a tenth at every save).
CalibWrite CalibFrame(const CalibForm& entered, const Page& shown, const CalibReadings& readings,
                      bool fahrenheit);

} // namespace nimbra
