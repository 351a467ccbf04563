#include "livereadings.h"

#include <gtest/gtest.h>
#include <thread>

namespace nimbra {
namespace {

Page settingsWithMasks(std::array<std::uint32_t, 5> masks, std::uint8_t unit = 0)
{
    Page page{};
    page[7] = unit;
    for (std::size_t m = 0; m < masks.size(); ++m)
        for (std::size_t b = 0; b < 4; ++b)
            page[8 + 4 * m + b] = static_cast<std::uint8_t>(masks[m] >> (24 - 8 * b));
    return page;
}

// A live page whose eight channels all carry the same three bytes.
Page livePage(std::uint8_t hi, std::uint8_t lo, std::uint8_t humidity)
{
    Page page{};
    for (std::size_t i = 0; i < ChannelCount; ++i) {
        page[3 * i + 1] = hi;
        page[3 * i + 2] = lo;
        page[3 * i + 3] = humidity;
    }
    return page;
}

LiveSnapshot allActive()
{
    LiveSnapshot values;
    values.m_ChannelActive.fill(1);
    return values;
}

TEST(DecodeSettingsPage, UnitByteAndMasksOredAcrossAreas)
{
    LiveReadings readings;
    // CH1 by its temperature bit in area 1, CH3 by heat index in area 5, CH8 by dew point
    // in area 3; the others appear nowhere.
    const Page page = settingsWithMasks({1u << 0, 0, 1u << 22, 0, 1u << 8}, 0x02);
    EXPECT_EQ(DecodeSettingsPage(page, readings), 2);
    const ChannelFlags expected{1, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(readings.snapshot().m_ChannelActive, expected);
}

TEST(DecodeSettingsPage, MasksAreReadBigEndian)
{
    // 0x00000038 in area 2 is bits 3..5: CH2 only. Little-endian reading would give bits 27..29.
    const ChannelFlags expected{0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ActiveChannels(settingsWithMasks({0, 0x38, 0, 0, 0})), expected);
    // Bits 24 and above name no channel.
    EXPECT_EQ(ActiveChannels(settingsWithMasks({0xFF000000u, 0, 0, 0, 0})), ChannelFlags{});
}

struct TemperatureCase
{
    std::uint8_t hi, lo;
    float expected;
};

TEST(DecodeLiveData, TemperatureBytes)
{
    const TemperatureCase cases[] = {
        {0x00, 0xE7, 23.1f},
        {0xFF, 0x9C, -10.0f},
        {0x7F, 0xFF, NoValueTemperature},
        {0xFF, 0xFF, NoValueTemperature},
        {0x7F, 0xFE, NoValueTemperature}, // 3276.6, then out of range
        {0x02, 0x58, 60.0f},
        {0x02, 0x59, NoValueTemperature},
        {0xFE, 0x70, -40.0f},
        {0xFE, 0x6F, NoValueTemperature},
        {0x00, 0xFF, 25.5f}, // a low byte of 0xFF alone is a reading
    };
    for (const auto& c : cases) {
        LiveSnapshot values = allActive();
        DecodeLiveData(livePage(c.hi, c.lo, 50), values);
        for (int i = 0; i < ChannelCount; ++i)
            EXPECT_EQ(values.m_Temperature[i], c.expected)
                << std::hex << int{c.hi} << " " << int{c.lo} << " channel " << i;
    }
}

TEST(DecodeLiveData, HumidityBytes)
{
    const std::pair<std::uint8_t, int> cases[] = {{0, NoValue}, {1, 1},         {45, 45},
                                                  {99, 99},     {100, NoValue}, {0xFF, NoValue}};
    for (const auto& [byte, expected] : cases) {
        LiveSnapshot values = allActive();
        DecodeLiveData(livePage(0x00, 0xE7, byte), values);
        EXPECT_EQ(values.m_Humidity[0], expected) << int{byte};
        EXPECT_EQ(values.m_Humidity[7], expected) << int{byte};
    }
}

TEST(DecodeLiveData, ChannelsSitInTheirOwnBytes)
{
    Page page{};
    for (std::size_t i = 0; i < ChannelCount; ++i) {
        page[3 * i + 2] = static_cast<std::uint8_t>(10 * (i + 1)); // 1.0, 2.0, ... 8.0
        page[3 * i + 3] = static_cast<std::uint8_t>(i + 1);
    }
    page[0] = 0x11;
    LiveSnapshot values = allActive();
    DecodeLiveData(page, values);
    for (int i = 0; i < ChannelCount; ++i) {
        EXPECT_FLOAT_EQ(values.m_Temperature[i], static_cast<float>(i + 1));
        EXPECT_EQ(values.m_Humidity[i], i + 1);
    }
}

TEST(DecodeLiveData, MaskedChannelAndNinthSlot)
{
    LiveReadings readings;
    readings.update([](LiveSnapshot& values) {
        values.m_Temperature[8] = 1.5f; // proves the decoder leaves slot 8 alone
        values.m_Humidity[8] = 7;
    });
    DecodeSettingsPage(settingsWithMasks({0x00FFFFFFu & ~(7u << 9), 0, 0, 0, 0}), readings);
    DecodeLiveData(livePage(0x00, 0xE7, 50), readings);
    const LiveSnapshot values = readings.snapshot();
    EXPECT_EQ(values.m_Temperature[3], NoValueTemperature); // CH4 masked off
    EXPECT_EQ(values.m_Humidity[3], NoValue);
    EXPECT_FLOAT_EQ(values.m_Temperature[4], 23.1f);
    EXPECT_EQ(values.m_Temperature[8], 1.5f);
    EXPECT_EQ(values.m_Humidity[8], 7);
}

TEST(DecodeLiveData, BeforeAnySettingsEveryChannelIsNoValue)
{
    LiveReadings readings;
    DecodeLiveData(livePage(0x00, 0xE7, 50), readings);
    EXPECT_EQ(readings.snapshot(), LiveSnapshot{});
}

TEST(ComputeDewPoint, KnownValuesAndLimits)
{
    const struct
    {
        float temperature;
        int humidity;
        const char* text;
    } cases[] = {
        {25.0f, 60, "16.7  \u00B0C"},    {20.0f, 50, "9.3  \u00B0C"}, {0.0f, 80, "-3.0  \u00B0C"},
        {-39.9f, 1, "--  \u00B0C"},      {-40.0f, 99, "--  \u00B0C"}, // -40.1
        {20.0f, NoValue, "--  \u00B0C"}, {20.0f, 0, "--  \u00B0C"},   // logarithm of zero
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatTemperature(ComputeDewPoint(c.temperature, c.humidity), 0, false), c.text)
            << c.temperature << " / " << c.humidity;
}

TEST(ComputeDewPoint, KeepsTheSinglePrecisionSteps)
{
    // Each of these comes out one or more float steps away when computed in double throughout.
    EXPECT_EQ(ComputeDewPoint(0.0f, 80), -0x1.84c39cp+1f);
    EXPECT_EQ(ComputeDewPoint(23.1f, 45), 0x1.51908cp+3f);
    EXPECT_EQ(ComputeDewPoint(33.3f, 33), 0x1.dc623cp+3f);
}

TEST(FormatTemperature, ModesAndUnits)
{
    const struct
    {
        float value;
        int mode;
        bool fahrenheit;
        const char* text;
    } cases[] = {
        {23.1f, 0, false, "23.1  \u00B0C"},
        {23.1f, 0, true, "73.6  \u00B0F"},
        {-40.0f, 0, true, "-40.0  \u00B0F"},
        {NoValueTemperature, 0, false, "--  \u00B0C"},
        {NoValueTemperature, 0, true, "--  \u00B0F"},
        {23.1f, 1, true, "73.6  "},
        {NoValueTemperature, 1, false, "--  "},
        {-10.0f, 2, true, "-18.0"},
        {-10.0f, 2, false, "-10.0"},
        {0.25f, 2, false, "0.2"}, // exact binary value rounds to even like printf
        {NoValueTemperature, 2, false, "65535.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatTemperature(c.value, c.mode, c.fahrenheit), c.text)
            << c.value << " mode " << c.mode << " F " << c.fahrenheit;
}

TEST(FormatHumidity, Modes)
{
    EXPECT_EQ(FormatHumidity(45, 0), "45  %");
    EXPECT_EQ(FormatHumidity(NoValue, 0), "--  %");
    EXPECT_EQ(FormatHumidity(45, 1), "45  ");
    EXPECT_EQ(FormatHumidity(NoValue, 1), "--  ");
}

TEST(LiveReadings, SnapshotNeverMixesTwoPages)
{
    LiveReadings readings;
    readings.update([](LiveSnapshot& values) { values.m_ChannelActive.fill(1); });
    const Page warm = livePage(0x00, 0xE7, 50);
    const Page cold = livePage(0xFF, 0x9C, 20);
    std::thread writer([&] {
        for (int n = 0; n < 20000; ++n)
            DecodeLiveData(n % 2 ? warm : cold, readings);
    });
    for (int n = 0; n < 20000; ++n) {
        const LiveSnapshot values = readings.snapshot();
        for (int i = 1; i < ChannelCount; ++i) {
            ASSERT_EQ(values.m_Temperature[i], values.m_Temperature[0]);
            ASSERT_EQ(values.m_Humidity[i], values.m_Humidity[0]);
        }
    }
    writer.join();
}

} // namespace
} // namespace nimbra
