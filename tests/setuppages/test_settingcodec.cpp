#include "settingcodec.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

Page settingsPage()
{
    Page page{};
    const std::uint8_t bytes[] = {0x04, 2,    48,   1,    2,    1,    0xFB, 1,    0x00, 0x24,
                                  0x92, 0x49, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x07,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x92, 0x49, 0x24};
    std::copy(std::begin(bytes), std::end(bytes), page.begin());
    return page;
}

TEST(SettingsCodec, PageComesBackAsTheFrameOneByteLater)
{
    const Page page = settingsPage();
    const Payload frame = SettingsFrame(SelectionFromPage(page)).bytes();
    EXPECT_EQ(frame[0], 0x7B);
    EXPECT_EQ(frame[1], 0x10);
    for (std::size_t i = 1; i <= 27; ++i)
        EXPECT_EQ(frame[i + 1], page[i]) << "page byte " << i;
    EXPECT_EQ(frame[29], 0x40);
    EXPECT_EQ(frame[30], 0x7D);
    EXPECT_TRUE(std::all_of(frame.begin() + 31, frame.end(), [](auto b) { return b == 0; }));
}

TEST(SettingsCodec, TimeZoneAndGraphTime)
{
    struct Case
    {
        std::uint8_t zoneByte;
        int zoneIndex;
        std::uint8_t hoursByte;
        int hoursIndex;
    };
    // The graph time has no "nothing selected": any unknown number shows as 72H.
    const Case cases[] = {
        {0xFB, 7, 12, 0}, {0, 12, 24, 1}, {12, 24, 48, 2}, {0xF4, 0, 36, 3}, {3, 15, 0, 3}};
    for (const Case& c : cases) {
        Page page{};
        page[6] = c.zoneByte;
        page[2] = c.hoursByte;
        const SettingSelection s = SelectionFromPage(page);
        EXPECT_EQ(s.timeZone, c.zoneIndex) << int(c.zoneByte);
        EXPECT_EQ(s.graphTime, c.hoursIndex) << int(c.hoursByte);
    }

    struct Saved
    {
        int zoneIndex;
        std::uint8_t zoneByte;
        int hoursIndex;
        std::uint8_t hoursByte;
    };
    const Saved saved[] = {{15, 0x03, 3, 72}, {0, 0xF4, 0, 12}, {-1, 0xF3, -1, 0}};
    for (const Saved& c : saved) {
        SettingSelection s;
        s.timeZone = c.zoneIndex;
        s.graphTime = c.hoursIndex;
        const Payload frame = SettingsFrame(s).bytes();
        EXPECT_EQ(frame[7], c.zoneByte) << c.zoneIndex;
        EXPECT_EQ(frame[3], c.hoursByte) << c.hoursIndex;
    }
}

TEST(SettingsCodec, DewPointOfCh3InArea2)
{
    SettingSelection s;
    s.masks[1] = MaskBit(3, MaskDewPoint);
    const Payload frame = SettingsFrame(s).bytes();
    const std::uint8_t expected[] = {0x00, 0x00, 0x00, 0x80};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), frame.begin() + 13));
    EXPECT_EQ(AreaOf(1), 1);
    EXPECT_EQ(AreaOf(-1), 4) << "no selection is the last area";
}

TEST(SettingsCodec, IntervalTexts)
{
    struct Case
    {
        const char* text;
        std::optional<int> minutes;
    };
    const Case cases[] = {{"4", {}},     {"241", {}},  {"abc", {}},  {"", {}},
                          {"5", 5},      {"240", 240}, {" 30 ", 30}, {"+10", 10},
                          {"12abc", {}}, {"5.5", {}},  {"-5", {}},   {"99999999999", {}}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseInterval(c.text), c.minutes) << '"' << c.text << '"';
}

} // namespace
} // namespace nimbra
