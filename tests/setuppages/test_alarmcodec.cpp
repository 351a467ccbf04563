#include "alarmcodec.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

// Station pages with a different value in every field, a few limits switched off.
AlarmPages stationPages()
{
    AlarmPages pages{};
    const std::uint8_t switches[] = {0x06, 1, 0, 0x81, 0x42, 0x24, 0x18};
    std::copy(std::begin(switches), std::end(switches), pages[SwitchesPage].begin());
    pages[TempLimitsPage][0] = 0x08;
    pages[HumiLimitsPage][0] = 0x09;
    for (std::size_t i = 0; i < LimitCount; ++i) {
        const auto tenths = static_cast<std::uint16_t>(-399 + 61 * static_cast<int>(i));
        pages[TempLimitsPage][1 + 2 * i] = static_cast<std::uint8_t>(tenths >> 8);
        pages[TempLimitsPage][2 + 2 * i] = static_cast<std::uint8_t>(tenths);
        pages[HumiLimitsPage][1 + i] = static_cast<std::uint8_t>(10 + 5 * i);
    }
    pages[TempLimitsPage][5] = 0x7F; // CH2 high: no limit
    pages[TempLimitsPage][6] = 0xFF;
    return pages;
}

TEST(AlarmCodec, PagesShownAndSavedUnchangedComeBackByteForByte)
{
    const AlarmPages pages = stationPages();
    for (const bool fahrenheit : {false, true}) {
        const AlarmForm form = AlarmFormFromPages(pages, fahrenheit);
        EXPECT_EQ(form.temps[2], "--");
        const AlarmWrite write = AlarmFrames(form, pages, fahrenheit);
        ASSERT_EQ(write.check, AlarmCheck::Ok);
        ASSERT_EQ(write.frames.size(), 3u);
        const std::size_t pageOf[] = {SwitchesPage, TempLimitsPage, HumiLimitsPage};
        const std::size_t length[] = {6, 32, 16};
        const std::uint8_t code[] = {0x12, 0x14, 0x15};
        for (std::size_t f = 0; f < 3; ++f) {
            Page expected = pages[pageOf[f]];
            if (f == 1)
                expected[5] = 0xFF; // "--" goes out as FF FF whatever marker came in
            const Payload& frame = write.frames[f].bytes();
            EXPECT_EQ(frame[1], code[f]);
            EXPECT_TRUE(std::equal(expected.begin() + 1, expected.begin() + 1 + length[f],
                                   frame.begin() + 2))
                << "frame " << f << (fahrenheit ? " in F" : " in C");
            EXPECT_EQ(frame[2 + length[f]], 0x40);
            EXPECT_EQ(frame[3 + length[f]], 0x7D);
        }
    }
}

TEST(AlarmCodec, ParseLimit)
{
    struct Case
    {
        const char* text;
        bool humidity;
        bool fahrenheit;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"86", false, true, 300},     {"141", false, true, 605},      {"140.1", false, true, 600},
        {"60.05", false, false, 600}, {"-40.09", false, false, -400}, {"60.1", false, false, 601},
        {"--", false, true, 65535},   {"--", true, false, 65535},     {"abc", false, false, {}},
        {"", false, false, {}},       {"55", true, true, 55},         {"5.5", true, false, {}},
        {"1e3", false, false, {}},    {"inf", false, false, {}},      {"35,5", false, false, 355},
        {"1,2,3", false, false, {}},  {"1,000.5", false, false, {}}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseLimit(c.text, c.humidity, c.fahrenheit), c.value) << '"' << c.text << '"';
}

TEST(AlarmCodec, EntriesCheckedBeforeAnythingIsBuilt)
{
    struct Case
    {
        const char* temp; // CH4 low
        const char* humi; // CH8 low
        bool fahrenheit;
        AlarmCheck check;
    };
    const Case cases[] = {
        {"141", "50", true, AlarmCheck::TempError},
        {"140.1", "50", true, AlarmCheck::Ok},
        {"60.1", "50", false, AlarmCheck::TempError},
        {"-40.09", "50", false, AlarmCheck::Ok},
        {"-40.1", "50", false, AlarmCheck::TempError},
        {"--", "50", false, AlarmCheck::Ok},
        {"abc", "50", false, AlarmCheck::TempError},
        {"", "50", false, AlarmCheck::TempError},
        {"20", "--", false, AlarmCheck::HumiError},
        {"20", "0", false, AlarmCheck::HumiError},
        {"20", "100", false, AlarmCheck::HumiError},
        {"20", "99", false, AlarmCheck::Ok},
        {"99", "0", false, AlarmCheck::TempError}, // temperatures first
        // Limits whose wire form is the station's "no limit" are refused, not dropped.
        {"-0.1", "50", false, AlarmCheck::TempNoValue},
        {"31.8", "50", true, AlarmCheck::TempNoValue},
        {"-0.2", "50", false, AlarmCheck::Ok},
        {"6553.5", "50", false, AlarmCheck::TempError},
    };
    const AlarmPages pages = stationPages();
    for (const Case& c : cases) {
        AlarmForm form = AlarmFormFromPages(pages, c.fahrenheit);
        form.temps[7] = c.temp;
        form.humis[15] = c.humi;
        const AlarmWrite write = AlarmFrames(form, pages, c.fahrenheit);
        EXPECT_EQ(write.check, c.check) << c.temp << " / " << c.humi;
        EXPECT_EQ(write.frames.empty(), c.check != AlarmCheck::Ok);
        EXPECT_EQ(write.channel, c.check == AlarmCheck::Ok          ? 0
                                 : c.check == AlarmCheck::HumiError ? 8
                                                                    : 4);
    }
}

TEST(AlarmCodec, EnteredValuesOnTheWire)
{
    const AlarmPages pages = stationPages();
    AlarmForm form = AlarmFormFromPages(pages, true);
    form.temps[0] = "86"; // CH1 high
    form.temps[1] = "--"; // CH1 low
    form.humis[0] = "7";
    form.tempSwitch = 1;
    form.enables[TempLowEnable] = 0x80;
    const AlarmWrite write = AlarmFrames(form, pages, true);
    ASSERT_EQ(write.check, AlarmCheck::Ok);
    EXPECT_EQ(write.frames[0].bytes()[3], 1);
    EXPECT_EQ(write.frames[0].bytes()[7], 0x80);
    EXPECT_EQ(write.frames[1].bytes()[2], 0x01);
    EXPECT_EQ(write.frames[1].bytes()[3], 0x2C);
    EXPECT_EQ(write.frames[1].bytes()[4], 0xFF);
    EXPECT_EQ(write.frames[1].bytes()[5], 0xFF);
    EXPECT_EQ(write.frames[2].bytes()[2], 7);
}

TEST(AlarmCodec, WithoutAStationEveryLimitShowsNone)
{
    const AlarmForm form = AlarmFormFromPages(UnconnectedAlarmPages(), false);
    EXPECT_EQ(form.tempSwitch, 0);
    EXPECT_EQ(form.humiSwitch, 0);
    for (int i = 0; i < LimitCount; ++i) {
        EXPECT_EQ(form.temps[i], "--");
        EXPECT_EQ(form.humis[i], "--");
    }
}

} // namespace
} // namespace nimbra
