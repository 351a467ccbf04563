#include "emulatedstation.h"
#include "stationmodel.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>

namespace nimbra {
namespace {

using namespace std::chrono;

Payload request(StationModel& model, Command code)
{
    const StationReply reply = model.handle(CommandFrame(code).bytes());
    EXPECT_EQ(reply.outcome, ReportOutcome::Answered);
    EXPECT_EQ(reply.reports.size(), 1u);
    return reply.reports.empty() ? Payload{} : reply.reports.front();
}

ReportOutcome send(StationModel& model, Command code, std::span<const std::uint8_t> params)
{
    const StationReply reply = model.handle(CommandFrame(code, params).bytes());
    EXPECT_TRUE(reply.reports.empty()) << "writes are never answered";
    return reply.outcome;
}

std::uint32_t mask(const Payload& page, std::size_t at)
{
    return std::uint32_t{page[at]} << 24 | std::uint32_t{page[at + 1]} << 16 |
           std::uint32_t{page[at + 2]} << 8 | page[at + 3];
}

std::int16_t temperatureAt(const Payload& live, int channel)
{
    return static_cast<std::int16_t>(live[3 * channel - 2] << 8 | live[3 * channel - 1]);
}

TEST(StationModel, EveryPageRequestIsAnsweredWithOneReportEchoingItsCode)
{
    StationModel model;
    for (Command code :
         {Command::Live, Command::Settings, Command::Calibration, Command::AlarmPage1,
          Command::AlarmPage3, Command::AlarmPage4, Command::Interval, Command::ScreenCheck})
        EXPECT_EQ(request(model, code)[0], static_cast<std::uint8_t>(code));
}

TEST(StationModel, DefaultSettingsShowEveryChannelInCelsius)
{
    StationModel model;
    const Payload page = request(model, Command::Settings);
    EXPECT_EQ(page[7], 0) << "Celsius";
    EXPECT_EQ(mask(page, 8), 0x249249u) << "area 1: the temperature of every channel";
    for (std::size_t area = 0; area < 5; ++area)
        EXPECT_EQ(mask(page, 8 + 4 * area) & 0xFF000000u, 0u) << "bits 24..31 stay clear";
    EXPECT_EQ(page[2], 24);
}

TEST(StationModel, IntervalAndScreenCheckReplyInByteOne)
{
    StationModel model;
    EXPECT_EQ(request(model, Command::Interval)[1], 10);
    EXPECT_EQ(request(model, Command::ScreenCheck)[1], 0);
    model.setScreenBusy(true);
    EXPECT_NE(request(model, Command::ScreenCheck)[1], 0);
}

TEST(StationModel, LivePageCarriesPinnedValuesWithOffsetsApplied)
{
    StationModel model;
    model.channels().fix(1, 231, 45);
    model.channels().fix(2, -100, 60);
    model.channels().fix(8, 600, 99);
    Payload calibration{};
    calibration[4] = 0xFF; // CH2 temperature offset -0.5: FF FB
    calibration[5] = 0xFB;
    calibration[6] = 0xFB;  // CH2 humidity offset -5
    calibration[22] = 0xFF; // CH8 offset FF FF: no value, not applied
    calibration[23] = 0xFF;
    model.setCalibrationPage(calibration);

    const Payload live = request(model, Command::Live);
    EXPECT_EQ(live[1], 0x00);
    EXPECT_EQ(live[2], 0xE7);
    EXPECT_EQ(live[3], 45);
    EXPECT_EQ(temperatureAt(live, 2), -105);
    EXPECT_EQ(live[6], 55);
    EXPECT_EQ(temperatureAt(live, 8), 600);
    EXPECT_EQ(live[24], 99);
    EXPECT_TRUE(std::all_of(live.begin() + 25, live.end(), [](auto b) { return b == 0; }));
}

TEST(StationModel, MissingValuesGoOutAsTheirMarkers)
{
    StationModel model;
    model.channels().setTemperatureMissing(3);
    model.channels().setTemperatureMissing(4, 0xFFFF);
    model.channels().setHumidityMissing(4);
    Payload calibration{};
    calibration[9] = 7; // a humidity offset does not revive a missing humidity
    model.setCalibrationPage(calibration);

    const Payload live = request(model, Command::Live);
    EXPECT_EQ(live[7], 0x7F);
    EXPECT_EQ(live[8], 0xFF);
    EXPECT_EQ(live[10], 0xFF);
    EXPECT_EQ(live[11], 0xFF);
    EXPECT_EQ(live[12], 0xFF);

    model.channels().simulate(4);
    EXPECT_NE(request(model, Command::Live)[12], 0xFF);
}

TEST(StationModel, CorrectedHumidityStaysWithinPercent)
{
    StationModel model;
    model.channels().fix(1, 200, 97);
    model.channels().fix(2, 200, 3);
    Payload calibration{};
    calibration[3] = 10;
    calibration[6] = 0xF6; // -10
    model.setCalibrationPage(calibration);
    const Payload live = request(model, Command::Live);
    EXPECT_EQ(live[3], 100);
    EXPECT_EQ(live[6], 0);
}

TEST(StationModel, SimulationIsReproducibleAndPlausible)
{
    StationModel a(42);
    StationModel b(42);
    const auto noon = sys_days{year{2026} / 12 / 1} + hours{12};
    a.clock().set(noon);
    b.clock().set(noon);
    const Payload first = request(a, Command::Live);
    EXPECT_EQ(first, request(b, Command::Live));
    for (int c = 1; c <= ChannelCount; ++c) {
        EXPECT_GE(temperatureAt(first, c), -400);
        EXPECT_LE(temperatureAt(first, c), 600);
        EXPECT_GE(first[3 * c], 1);
        EXPECT_LE(first[3 * c], 99);
    }
    a.clock().set(noon + hours{3});
    EXPECT_NE(request(a, Command::Live), first) << "values follow the time of day";
}

// CH5 swings around freezing: at -0.1 °C its word would be the wire's mark for no value.
TEST(StationModel, SimulatedTemperaturesNeverLookLikeNoValue)
{
    StationModel model(7);
    const sys_seconds start = sys_days{year{2026} / 12 / 1};
    for (sys_seconds at = start; at < start + days{3}; at += minutes{1}) {
        model.clock().set(at);
        const Payload live = request(model, Command::Live);
        for (int c = 1; c <= ChannelCount; ++c) {
            const auto word = static_cast<std::uint16_t>(temperatureAt(live, c));
            ASSERT_NE(word, 0xFFFF) << "CH" << c;
            ASSERT_NE(word, 0x7FFF) << "CH" << c;
        }
    }
}

// A write frame carries its page one byte later; the next read returns what was written.
struct PageWrite
{
    Command write;
    Command read;
    std::size_t length;
};

class PageWriteTest : public ::testing::TestWithParam<PageWrite>
{
protected:
    static std::vector<std::uint8_t> distinctBytes(std::size_t n)
    {
        std::vector<std::uint8_t> bytes(n);
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<std::uint8_t>(0x31 + 7 * i);
        return bytes;
    }
};

TEST_P(PageWriteTest, WrittenPageIsReadBack)
{
    StationModel model;
    const auto params = distinctBytes(GetParam().length);
    EXPECT_EQ(send(model, GetParam().write, params), ReportOutcome::Applied);
    const Payload page = request(model, GetParam().read);
    EXPECT_TRUE(std::equal(params.begin(), params.end(), page.begin() + 1));
}

TEST_P(PageWriteTest, BusyScreenRefusesTheWrite)
{
    StationModel model;
    const Payload before = request(model, GetParam().read);
    model.setScreenBusy(true);
    EXPECT_EQ(send(model, GetParam().write, distinctBytes(GetParam().length)),
              ReportOutcome::Refused);
    EXPECT_EQ(request(model, GetParam().read), before);
}

TEST_P(PageWriteTest, WrongLengthIsIgnored)
{
    StationModel model;
    const Payload before = request(model, GetParam().read);
    EXPECT_EQ(send(model, GetParam().write, distinctBytes(GetParam().length - 1)),
              ReportOutcome::Ignored);
    EXPECT_EQ(request(model, GetParam().read), before);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PageWriteTest,
    ::testing::Values(PageWrite{Command::WriteSettings, Command::Settings, 27},
                      PageWrite{Command::WriteCalibration, Command::Calibration, 24},
                      PageWrite{Command::WriteAlarmSwitches, Command::AlarmPage1, 6},
                      PageWrite{Command::WriteTempLimits, Command::AlarmPage3, 32},
                      PageWrite{Command::WriteHumiLimits, Command::AlarmPage4, 16}));

TEST(StationModel, SettingsFrameOfTheDialogLandsOnThePage)
{
    StationModel model;
    // Area 2 with CH3 dew point only, Fahrenheit, time zone -5.
    const std::uint8_t params[27] = {2, 48, 1, 2, 1, 0xFB, 1, 0, 0, 0, 0, 0, 0, 0, 0x80};
    ASSERT_EQ(send(model, Command::WriteSettings, params), ReportOutcome::Applied);
    const Payload page = request(model, Command::Settings);
    EXPECT_EQ(page[7], 1);
    EXPECT_EQ(static_cast<std::int8_t>(page[6]), -5);
    EXPECT_EQ(mask(page, 8), 0u);
    EXPECT_EQ(mask(page, 12), 0x80u);
}

TEST(StationModel, SmallWritesAreApplied)
{
    StationModel model;
    EXPECT_EQ(model.handle(CommandFrame::language(false).bytes()).outcome, ReportOutcome::Applied);
    EXPECT_EQ(model.language(), 0);
    EXPECT_EQ(model.handle(CommandFrame::setInterval(240).bytes()).outcome, ReportOutcome::Applied);
    EXPECT_EQ(request(model, Command::Interval)[1], 240);

    model.card().put("20261201.csv", "abc");
    EXPECT_EQ(model.handle(CommandFrame::deleteFile("20261201.csv").bytes()).outcome,
              ReportOutcome::Applied);
    EXPECT_TRUE(model.card().files().empty());
    EXPECT_EQ(model.handle(CommandFrame::deleteFile("20261201.csv").bytes()).outcome,
              ReportOutcome::Refused)
        << "nothing left to delete";
}

TEST(StationModel, ClockIsSetAndRuns)
{
    StationModel model;
    // 31 December 2017, 23:59:58, a Sunday.
    const std::uint8_t params[] = {0x07, 0xE1, 12, 31, 23, 59, 58, 0};
    ASSERT_EQ(send(model, Command::SetClock, params), ReportOutcome::Applied);
    const DateTimeParts now = model.clock().fields();
    EXPECT_EQ(now.year, 2017);
    EXPECT_EQ(now.month, 12);
    EXPECT_EQ(now.day, 31);
    EXPECT_EQ(model.clock().weekday(), 0u);
    EXPECT_GE(now.second, 58);

    const std::uint8_t february30[] = {0x07, 0xEA, 2, 30, 10, 0, 0, 1};
    EXPECT_EQ(send(model, Command::SetClock, february30), ReportOutcome::Refused);
    EXPECT_EQ(model.clock().fields().year, 2017);
}

TEST(StationModel, ValuesTheStationCannotTakeAreRefused)
{
    StationModel model;
    for (std::uint8_t minutes : {0, 4, 241, 255})
        EXPECT_EQ(model.handle(CommandFrame::setInterval(minutes).bytes()).outcome,
                  ReportOutcome::Refused);
    EXPECT_EQ(model.intervalMinutes(), 10);
    const std::uint8_t language[] = {2};
    EXPECT_EQ(send(model, Command::WriteLanguage, language), ReportOutcome::Refused);
    EXPECT_EQ(model.language(), 1);
}

TEST(StationModel, EndOfWriteIsAcceptedAlsoWhenBusy)
{
    StationModel model;
    model.setScreenBusy(true);
    EXPECT_EQ(send(model, Command::EndOfWrite, {}), ReportOutcome::Applied);
    EXPECT_EQ(model.endOfWriteCount(), 1);
}

TEST(StationModel, ReportsOutsideTheTableOrMisframedAreIgnored)
{
    StationModel model;
    const Payload before = request(model, Command::Settings);
    auto ignored = [&](const Payload& frame) {
        const StationReply reply = model.handle(frame);
        return reply.outcome == ReportOutcome::Ignored && reply.reports.empty();
    };
    EXPECT_TRUE(ignored(Payload{}));
    EXPECT_TRUE(ignored(Payload{0x7B, 0x07, 0x40, 0x7D})) << "alarm page 2 is not a command";
    EXPECT_TRUE(ignored(Payload{0x7B, 0x42, 0x40, 0x7D}));
    EXPECT_TRUE(ignored(Payload{0x7B, 0x04})) << "no closing @}";
    EXPECT_TRUE(ignored(Payload{0x7A, 0x04, 0x40, 0x7D})) << "no opening {";
    Payload trailing = CommandFrame(Command::Settings).bytes();
    trailing[63] = 1;
    EXPECT_TRUE(ignored(trailing)) << "bytes after @} must be zero";
    EXPECT_TRUE(ignored(Payload{0x7B, 0x04, 0x01, 0x40, 0x7D})) << "a plain request with data";
    EXPECT_EQ(request(model, Command::Settings), before);
}

// A program started again under --simulate finds the station as the last one left it: the
// unit, pages, interval and language written before, kept in a file of the data folder.
TEST(StationModel, SettingsKeptInAFileOutliveTheModel)
{
    const std::filesystem::path file =
        std::filesystem::path(::testing::TempDir()) / "SimulatedStationKept.txt";
    std::filesystem::remove(file);
    StationState before;
    {
        StationModel first;
        KeepSettingsInFile(first, file);
        std::array<std::uint8_t, 27> settings{};
        settings[5] = 0xFB; // time zone -5
        settings[6] = 1;    // °F
        std::array<std::uint8_t, 24> offsets{};
        offsets[0] = 0xFF; // CH1 -0.2 °C
        offsets[1] = 0xFE;
        const std::uint8_t switches[] = {1, 1, 0x80, 0x40, 0x20, 0x10};
        const std::uint8_t german[] = {0};
        const std::uint8_t interval[] = {30};
        ASSERT_EQ(send(first, Command::WriteSettings, settings), ReportOutcome::Applied);
        ASSERT_EQ(send(first, Command::WriteCalibration, offsets), ReportOutcome::Applied);
        ASSERT_EQ(send(first, Command::WriteAlarmSwitches, switches), ReportOutcome::Applied);
        ASSERT_EQ(send(first, Command::WriteLanguage, german), ReportOutcome::Applied);
        ASSERT_EQ(send(first, Command::SetInterval, interval), ReportOutcome::Applied);
        before.settingsPage = first.settingsPage();
        before.calibrationPage = first.calibrationPage();
        before.alarmSwitchesPage = first.alarmSwitchesPage();
        before.temperatureLimitsPage = first.temperatureLimitsPage();
        before.humidityLimitsPage = first.humidityLimitsPage();
    }
    StationModel second;
    KeepSettingsInFile(second, file);
    EXPECT_EQ(second.settingsPage(), before.settingsPage);
    EXPECT_EQ(second.settingsPage()[7], 1);
    EXPECT_EQ(second.calibrationPage(), before.calibrationPage);
    EXPECT_EQ(second.alarmSwitchesPage(), before.alarmSwitchesPage);
    EXPECT_EQ(second.temperatureLimitsPage(), before.temperatureLimitsPage);
    EXPECT_EQ(second.humidityLimitsPage(), before.humidityLimitsPage);
    EXPECT_EQ(second.intervalMinutes(), 30);
    EXPECT_EQ(second.language(), 0);
    std::filesystem::remove(file);
}

// A saved set is taken whole or not at all: a damaged file leaves the factory settings.
TEST(StationModel, ADamagedSavedSetChangesNothing)
{
    StationModel source;
    const std::uint8_t interval[] = {60};
    ASSERT_EQ(send(source, Command::SetInterval, interval), ReportOutcome::Applied);
    const std::string whole = source.savedSettings();
    const auto replaced = [&](std::string_view from, std::string_view to) {
        std::string text = whole;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string damaged[] = {whole.substr(0, whole.size() / 2),
                                   replaced("interval 60", "interval 4"),
                                   replaced("language 1", "language 2"),
                                   replaced("settings 0", "settings X"),
                                   replaced("calibration ", "calibration 00"),
                                   "",
                                   "no spaces at all\n"};
    for (const std::string& text : damaged) {
        SCOPED_TRACE(text);
        StationModel model;
        const std::string factory = model.savedSettings();
        EXPECT_FALSE(model.restoreSettings(text));
        EXPECT_EQ(model.savedSettings(), factory);
    }
    StationModel model;
    EXPECT_TRUE(model.restoreSettings(whole));
    EXPECT_EQ(model.intervalMinutes(), 60);
}

} // namespace
} // namespace nimbra
