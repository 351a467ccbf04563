#include "channelsim.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nimbra {

namespace {

// Mean and daily swing of each sensor, as if CH1 sat indoors and the others around a house.
struct Profile
{
    double meanCelsius;
    double swingCelsius;
    double meanHumidity;
    double swingHumidity;
};

constexpr std::array<Profile, ChannelCount> Profiles = {{
    {21.5, 1.0, 42, 3},
    {6.0, 5.0, 78, 15},
    {12.5, 3.0, 65, 10},
    {18.0, 1.5, 50, 5},
    {-2.0, 4.0, 85, 8},
    {24.0, 2.0, 35, 6},
    {9.0, 6.0, 70, 18},
    {15.0, 2.5, 55, 9},
}};

// Warmest in the afternoon: the cycle peaks at 15:00.
double dailyCycle(double dayPhase)
{
    return std::cos(2.0 * std::numbers::pi * (dayPhase - 15.0 / 24.0));
}

} // namespace

ChannelSimulator::ChannelSimulator(std::uint32_t seed) : m_noise(seed) {}

ChannelReading ChannelSimulator::sample(int channel, std::chrono::sys_seconds at)
{
    if (!valid(channel))
        return {};
    const Channel& c = m_channels[channel - 1];
    const auto sinceMidnight = at - std::chrono::floor<std::chrono::days>(at);
    const double dayPhase = static_cast<double>(sinceMidnight.count()) / 86400.0;

    ChannelReading reading;
    reading.missingMarker = c.missingMarker;
    if (!c.temperatureMissing)
        reading.tenths = c.pinned ? c.pinnedTenths : simulatedTenths(channel, dayPhase);
    if (!c.humidityMissing)
        reading.humidity = c.pinned ? c.pinnedHumidity : simulatedHumidity(channel, dayPhase);
    return reading;
}

std::int16_t ChannelSimulator::simulatedTenths(int channel, double dayPhase)
{
    const Profile& p = Profiles[channel - 1];
    std::uniform_int_distribution<int> noise(-2, 2);
    const double tenths = 10.0 * (p.meanCelsius + p.swingCelsius * dailyCycle(dayPhase));
    const auto value = static_cast<std::int16_t>(std::lround(tenths) + noise(m_noise));
    // -0.1 °C is 0xFFFF on the wire, the station's mark for no value: the sensor reads -0.2.
    return value == -1 ? std::int16_t{-2} : value;
}

std::uint8_t ChannelSimulator::simulatedHumidity(int channel, double dayPhase)
{
    const Profile& p = Profiles[channel - 1];
    std::uniform_int_distribution<int> noise(-1, 1);
    // Air is driest when it is warmest.
    const long percent = std::lround(p.meanHumidity - p.swingHumidity * dailyCycle(dayPhase));
    return static_cast<std::uint8_t>(std::clamp<long>(percent + noise(m_noise), 1, 99));
}

void ChannelSimulator::fix(int channel, std::int16_t tenths, std::uint8_t humidity)
{
    if (!valid(channel))
        return;
    m_channels[channel - 1] = Channel{true, tenths, humidity};
}

void ChannelSimulator::setTemperatureMissing(int channel, std::uint16_t marker)
{
    if (!valid(channel))
        return;
    m_channels[channel - 1].temperatureMissing = true;
    m_channels[channel - 1].missingMarker = marker;
}

void ChannelSimulator::setHumidityMissing(int channel)
{
    if (valid(channel))
        m_channels[channel - 1].humidityMissing = true;
}

void ChannelSimulator::simulate(int channel)
{
    if (valid(channel))
        m_channels[channel - 1] = Channel{};
}

} // namespace nimbra
