#pragma once

#include "commandframe.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>

namespace nimbra {

// What one remote sensor reports, before the station adds its calibration offsets. A missing
// temperature goes out as missingMarker (7F FF or FF FF), a missing humidity as 0xFF.
struct ChannelReading
{
    std::optional<std::int16_t> tenths;   // tenths of a degree Celsius
    std::optional<std::uint8_t> humidity; // percent
    std::uint16_t missingMarker = 0x7FFF;
};

// The eight remote sensors: slow daily cycles with a little noise, reproducible from a seed.
// A channel can be pinned to exact wire values or made to report nothing.
class ChannelSimulator
{
public:
    explicit ChannelSimulator(std::uint32_t seed = 1);

    // channel is 1..8; other numbers are ignored or give an empty reading.
    ChannelReading sample(int channel, std::chrono::sys_seconds at);

    // Exact values from now on, without cycle or noise; any byte values, for edge cases.
    void fix(int channel, std::int16_t tenths, std::uint8_t humidity);
    void setTemperatureMissing(int channel, std::uint16_t marker = 0x7FFF);
    void setHumidityMissing(int channel);
    // Back to the simulated cycle, both values present.
    void simulate(int channel);

private:
    struct Channel
    {
        bool pinned = false;
        std::int16_t pinnedTenths = 0;
        std::uint8_t pinnedHumidity = 0;
        bool temperatureMissing = false;
        bool humidityMissing = false;
        std::uint16_t missingMarker = 0x7FFF;
    };

    static bool valid(int channel) { return channel >= 1 && channel <= ChannelCount; }
    std::int16_t simulatedTenths(int channel, double dayPhase);
    std::uint8_t simulatedHumidity(int channel, double dayPhase);

    std::array<Channel, ChannelCount> m_channels{};
    std::mt19937 m_noise;
};

} // namespace nimbra
