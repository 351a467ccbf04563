#include "calibcodec.h"

#include <clocale>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

Page offsets(std::initializer_list<std::tuple<int, std::uint16_t, std::uint8_t>> channels)
{
    Page page{};
    page[0] = 0x05;
    for (const auto& [c, temp, humi] : channels) {
        page[3 * c - 2] = static_cast<std::uint8_t>(temp >> 8);
        page[3 * c - 1] = static_cast<std::uint8_t>(temp);
        page[3 * c] = humi;
    }
    return page;
}

CalibReadings readingsOf(float temp, int humi)
{
    CalibReadings r;
    r.m_ReadingTemp.fill(temp);
    r.m_ReadingHumi.fill(humi);
    r.m_ReadingTemp[8] = 65535.0f;
    r.m_ReadingHumi[8] = NoValue;
    return r;
}

TEST(CalibCodec, Display)
{
    const Page page = offsets({{1, 10, 0xFF}, {2, 0xFFFB, 5}, {3, 0x7FFF, 0}});
    const CalibForm celsius = CalibFormFromPage(page, false);
    const CalibForm fahrenheit = CalibFormFromPage(page, true);
    EXPECT_EQ(celsius.temps[0], "1.0");
    EXPECT_EQ(fahrenheit.temps[0], "1.8") << "a difference: no 32 added";
    EXPECT_EQ(celsius.temps[1], "-0.5");
    EXPECT_EQ(fahrenheit.temps[1], "-0.9");
    EXPECT_EQ(celsius.temps[2], "--");
    EXPECT_EQ(celsius.humis[0], "-1");
    EXPECT_EQ(celsius.humis[1], "5");
    EXPECT_EQ(celsius.temps[3], "0.0");
}

TEST(CalibCodec, CorrectedReadingsStayInRange)
{
    struct Case
    {
        float temp;
        int humi;
        bool fahrenheit;
        Page page;
        const char* tempText; // CH1
        const char* humiText; // CH1
        CalibWrite::Check check;
    };
    using Check = CalibWrite::Check;
    const Page zero = offsets({});
    const Case cases[] = {
        {59.5f, 50, false, zero, "0.6", "0", Check::TempOutOfRange},
        {59.5f, 50, false, zero, "0.5", "0", Check::Ok},
        {-39.5f, 50, false, zero, "-0.6", "0", Check::TempOutOfRange},
        {20.0f, 50, true, offsets({{1, 10, 0}}), "3.6", "0", Check::Ok},
        {20.0f, 97, false, zero, "0.0", "3", Check::HumiOutOfRange},
        {20.0f, 97, false, zero, "0.0", "-5", Check::Ok},
        {20.0f, 97, false, offsets({{1, 0, 0xFE}}), "0.0", "1", Check::HumiOutOfRange},
        {20.0f, 50, false, zero, "abc", "0", Check::TempOutOfRange},
        {20.0f, 50, false, zero, "0.0", "", Check::HumiOutOfRange},
        {20.0f, 50, false, zero, "0.0", "--", Check::HumiOutOfRange},
        {20.0f, 0, false, offsets({{1, 0, 127}}), "0.0", "200", Check::HumiOutOfRange},
        {20.0f, 150, false, zero, "99", "0", Check::TempOutOfRange}, // temperatures first
        // Offsets whose wire form is the station's "no value" are refused, not dropped.
        {20.0f, 50, false, zero, "-0.1", "0", Check::TempNoValue},
        {20.0f, 50, true, zero, "-0.3", "0", Check::TempNoValue},
        {20.0f, 50, false, zero, "6553.5", "0", Check::TempNoValue},
        {20.0f, 50, false, zero, "-0,2", "0", Check::Ok},
        {20.0f, 50, false, zero, "0.0", "2147483647", Check::HumiOutOfRange},
        {20.0f, 50, false, zero, "0.0", "-2147483648", Check::HumiOutOfRange},
    };
    for (const Case& c : cases) {
        CalibForm form = CalibFormFromPage(c.page, c.fahrenheit);
        form.temps[0] = c.tempText;
        form.humis[0] = c.humiText;
        const CalibWrite write = CalibFrame(form, c.page, readingsOf(c.temp, c.humi), c.fahrenheit);
        EXPECT_EQ(write.check, c.check) << c.tempText << " / " << c.humiText;
        EXPECT_EQ(write.frame.has_value(), c.check == Check::Ok);
        if (c.check != Check::Ok) {
            EXPECT_EQ(write.channel, 1);
        }
    }
}

TEST(CalibCodec, FrameBytes)
{
    const Page page = offsets({{1, 10, 0}, {2, 0xFFFF, 3}, {5, 0xFF9C, 0xF6}});
    CalibForm form = CalibFormFromPage(page, true);
    form.temps[0] = "3.6"; // 2 °C
    form.humis[0] = "-5";
    CalibReadings readings = readingsOf(20.0f, 50);
    readings.m_ReadingTemp[3] = 65535.0f; // CH4 reports nothing: skipped, sent back as shown
    readings.m_ReadingHumi[3] = NoValue;
    form.temps[3] = "garbage";
    form.humis[3] = "x";
    const CalibWrite write = CalibFrame(form, page, readings, true);
    ASSERT_EQ(write.check, CalibWrite::Check::Ok);
    const Payload& frame = write.frame->bytes();
    const std::uint8_t expected[] = {0x7B, 0x11, 0x00, 0x14, 0xFB, 0xFF, 0xFF, 0x03, 0x00, 0x00,
                                     0x00, 0x00, 0x00, 0x00, 0xFF, 0x9C, 0xF6, 0x00, 0x00, 0x00,
                                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x7D, 0x00};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), frame.begin()));
}

TEST(CalibCodec, UnchangedFahrenheitOffsetsDoNotDrift)
{
    // -39.9 °C shows as -71.8 °F, which read back and truncated would go out as -39.8.
    const Page page = offsets({{1, static_cast<std::uint16_t>(-399), 0}, {2, 0xFFFF, 0}});
    const CalibWrite write =
        CalibFrame(CalibFormFromPage(page, true), page, readingsOf(30.0f, 50), true);
    ASSERT_EQ(write.check, CalibWrite::Check::Ok);
    EXPECT_TRUE(std::equal(page.begin() + 1, page.begin() + 25, write.frame->bytes().begin() + 2));
}

TEST(CalibCodec, ParseOffset)
{
    EXPECT_EQ(ParseOffset("3.6", false, true), 20);
    EXPECT_EQ(ParseOffset("-0.19", false, false), -1);
    EXPECT_EQ(ParseOffset("--", false, false), 65535);
    EXPECT_EQ(ParseOffset("-5", true, false), -5);
    EXPECT_EQ(ParseOffset("1.5", true, false), std::nullopt);
    EXPECT_EQ(ParseOffset("x", false, false), std::nullopt);
}

// Qt programs take LC_NUMERIC from the environment; under German the C library writes and reads
// a decimal comma.
class GermanNumbers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            GTEST_SKIP() << "the de_DE.UTF-8 locale is not generated (tools/dev.sh does it)";
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, "C"); }
};

TEST_F(GermanNumbers, OffsetsShowAndCheckWithAPoint)
{
    const Page page = offsets({{1, 10, 0}, {2, 0xFFF1, 0}});
    const CalibForm form = CalibFormFromPage(page, false);
    EXPECT_EQ(form.temps[0], "1.0");
    EXPECT_EQ(form.temps[1], "-1.5");
    // 59.5 °C read with the unchanged +1.0 °C: the check must take the old offset as 10.
    CalibReadings readings = readingsOf(20.0f, 50);
    readings.m_ReadingTemp[0] = 59.5f;
    EXPECT_EQ(CalibFrame(form, page, readings, false).check, CalibWrite::Check::Ok);
    EXPECT_EQ(ParseOffset("1,5", false, false), 15);
    EXPECT_EQ(ParseOffset("1.5", false, false), 15);
}

} // namespace
} // namespace nimbra
