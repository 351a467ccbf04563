#include "livereadings.h"

#include "decimaltext.h"

#include <cmath>
#include <string_view>

namespace nimbra {

namespace {

constexpr float MinTemperature = -40.0f;
constexpr float MaxTemperature = 60.0f;
constexpr int MinHumidity = 1;
constexpr int MaxHumidity = 99;

std::uint32_t bigEndian32(const Page& page, std::size_t at)
{
    return std::uint32_t{page[at]} << 24 | std::uint32_t{page[at + 1]} << 16 |
           std::uint32_t{page[at + 2]} << 8 | std::uint32_t{page[at + 3]};
}

float wireTemperature(std::uint8_t hi, std::uint8_t lo)
{
    if (lo == 0xFF && (hi == 0xFF || hi == 0x7F))
        return NoValueTemperature;
    const auto tenths = static_cast<std::int16_t>(static_cast<std::uint16_t>(hi << 8 | lo));
    return static_cast<float>(tenths / 10.0);
}

bool inRange(float temperature)
{
    return temperature >= MinTemperature && temperature <= MaxTemperature;
}

void eraseAll(std::string& text, std::string_view part)
{
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at))
        text.erase(at, part.size());
}

} // namespace

ChannelFlags ActiveChannels(const Page& settingsPage)
{
    std::uint32_t shown = 0;
    for (std::size_t mask = 0; mask < 5; ++mask)
        shown |= bigEndian32(settingsPage, 8 + 4 * mask);
    ChannelFlags active{};
    for (int i = 0; i < ChannelCount; ++i)
        active[i] = (shown & (7u << (3 * i))) != 0 ? 1 : 0;
    return active;
}

int DecodeSettingsPage(const Page& settingsPage, LiveReadings& readings)
{
    const ChannelFlags active = ActiveChannels(settingsPage);
    readings.update([&](LiveSnapshot& values) { values.m_ChannelActive = active; });
    return settingsPage[7];
}

void DecodeLiveData(const Page& livePage, LiveSnapshot& values)
{
    for (int i = 0; i < ChannelCount; ++i) {
        const std::size_t at = 3 * static_cast<std::size_t>(i) + 1;
        float temperature = wireTemperature(livePage[at], livePage[at + 1]);
        int humidity = livePage[at + 2] == 0xFF ? NoValue : livePage[at + 2];
        if (!inRange(temperature))
            temperature = NoValueTemperature;
        if (humidity < MinHumidity || humidity > MaxHumidity)
            humidity = NoValue;
        if (values.m_ChannelActive[i] == 0) {
            temperature = NoValueTemperature;
            humidity = NoValue;
        }
        values.m_Temperature[i] = temperature;
        values.m_Humidity[i] = humidity;
    }
}

void DecodeLiveData(const Page& livePage, LiveReadings& readings)
{
    readings.update([&](LiveSnapshot& values) { DecodeLiveData(livePage, values); });
}

float ComputeDewPoint(float temperature, int humidity)
{
    if (humidity == NoValue)
        return NoValueTemperature;
    // The single-precision roundings between the steps are part of the result.
    const double a = 7.6 * temperature / (temperature + 240.7);
    const auto e = static_cast<float>(std::pow(10.0, a) * 6.107 / 10);
    const auto g = static_cast<float>(std::log(e * humidity / 100 / 0.61078));
    const auto d = static_cast<float>(241.88 * g / (17.558 - g));
    // Written as "not inside" so that a humidity of 0 (a logarithm of zero, NaN) is no value too.
    if (!inRange(d))
        return NoValueTemperature;
    return d;
}

std::string FormatTemperature(float value, int mode, bool fahrenheit)
{
    if (mode == TextDifference)
        return OneDecimal(fahrenheit ? value * 1.8 : double{value});
    const std::string unit = fahrenheit ? "  \u00B0F" : "  \u00B0C";
    std::string text;
    if (value == NoValueTemperature)
        text = "--" + unit;
    else
        text = OneDecimal(fahrenheit ? value * 1.8 + 32 : double{value}) + unit;
    if (mode == TextWithoutUnit) {
        eraseAll(text, "\u00B0C");
        eraseAll(text, "\u00B0F");
    }
    return text;
}

std::string FormatHumidity(int value, int mode)
{
    std::string text = (value == NoValue ? std::string("--") : std::to_string(value)) + "  %";
    if (mode == TextWithoutUnit)
        eraseAll(text, "%");
    return text;
}

} // namespace nimbra
