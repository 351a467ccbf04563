#pragma once

#include "novalue.h"
#include "replyrouter.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace nimbra {

// The marker for a missing reading in temperature form.
inline constexpr float NoValueTemperature = 65535.0f;

// CH1..CH8 and a ninth slot that always holds no value; the calibration dialog takes all nine.
inline constexpr int ReadingSlots = 9;

using ChannelFlags = std::array<std::uint8_t, ChannelCount>;

// A plain copy of the live readings, taken in one piece.
struct LiveSnapshot
{
    std::array<float, ReadingSlots> m_Temperature = filled(NoValueTemperature); // degrees Celsius
    std::array<int, ReadingSlots> m_Humidity = filled(NoValue);                 // percent
    ChannelFlags m_ChannelActive{};

    friend bool operator==(const LiveSnapshot&, const LiveSnapshot&) = default;

private:
    template <typename T> static constexpr std::array<T, ReadingSlots> filled(T value)
    {
        std::array<T, ReadingSlots> all{};
        all.fill(value);
        return all;
    }
};

// The latest readings of the station. The poll thread and the reader thread write them while
// the user-interface thread paints, so every access goes through one mutex and readers take a
// whole snapshot: a repaint never sees half of a decoded page.
class LiveReadings
{
public:
    LiveSnapshot snapshot() const
    {
        std::lock_guard lock(m_mutex);
        return m_values;
    }

    // Runs change on the values under the lock; change must not call back into this object.
    template <typename Change> void update(Change change)
    {
        std::lock_guard lock(m_mutex);
        change(m_values);
    }

private:
    mutable std::mutex m_mutex;
    LiveSnapshot m_values; // guarded by m_mutex
};

// Settings page: the active-channel flags go into readings; returns the temperature-unit byte
// (0 Celsius, nonzero Fahrenheit) for the link's Fahrenheit flag.
int DecodeSettingsPage(const Page& settingsPage, LiveReadings& readings);
// Channels that at least one of the five display masks shows.
ChannelFlags ActiveChannels(const Page& settingsPage);

// Live page into slots 0..7; out-of-range values and masked channels become no value.
void DecodeLiveData(const Page& livePage, LiveReadings& readings);
void DecodeLiveData(const Page& livePage, LiveSnapshot& values);

// Dew point in degrees Celsius, or NoValueTemperature outside -40..60 or without humidity.
float ComputeDewPoint(float temperature, int humidity);

// Text modes of FormatTemperature and FormatHumidity.
inline constexpr int TextWithUnit = 0;
inline constexpr int TextWithoutUnit = 1;
// Temperature differences (calibration offsets): scaled to Fahrenheit without the 32 offset.
inline constexpr int TextDifference = 2;

// UTF-8 display texts; the unit follows fahrenheit, the value is always degrees Celsius.
std::string FormatTemperature(float value, int mode, bool fahrenheit);
std::string FormatHumidity(int value, int mode);

} // namespace nimbra
