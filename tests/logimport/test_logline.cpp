#include "logline.h"
#include "oledate.h"
#include "recordtext.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace nimbra;

namespace {

struct SplitCase
{
    const char* line;
    bool indoor;
    std::vector<std::string> fields;
};

std::vector<std::string> Fields(const LogFields& split, bool indoor)
{
    return {split.field.begin(), split.field.begin() + (indoor ? 3 : 5)};
}

} // namespace

TEST(LogLine, SplitsAsTheStationsReaderDoes)
{
    const SplitCase cases[] = {
        {"2017-03-04 9:05:07,21.5,55,10.2,21.5",
         false,
         {"2017-03-04 9:05:07", "21.5", "55", "10.2", "21.5"}},
        {"t,1,2,3,4,5,6", false, {"t", "1", "2", "3", "4,5,6"}},
        {"t,21.5,55,10.2,21.5", true, {"t", "21.5", "55,10.2,21.5"}},
        {"t,,,,", false, {"t", "", "", "", ""}},
        {"", false, {"", "", "", "", ""}},
        // The first comma is searched from position 1: a comma at the front is no separator.
        {",a,b", true, {",a", "", ",a,b"}},
        // After a failed search the next one starts again at the front.
        {"abc", true, {"", "", "abc"}},
        {"a,b", false, {"a", "", "a", "", "a,b"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Fields(SplitLogLine(c.line, c.indoor), c.indoor), c.fields);
    }
}

TEST(LogLine, NumbersAreReadFromTheFrontOfTheField)
{
    const std::pair<const char*, float> floats[] = {
        {"21.5", 21.5f},
        {"21.5C", 21.5f},
        {"  -3.25", -3.25f},
        {"+7", 7.0f},
        {".5", 0.5f},
        {"5.", 5.0f},
        {"1e2x", 100.0f},
        {"1e", 1.0f},
        {"abc", 0.0f},
        {"", 0.0f},
        {".", 0.0f},
        {"-", 0.0f},
        {"1,5", 1.0f},
        {"--", 65535.0f},
        {"2--", 65535.0f},
        {"1e999", HUGE_VALF},
        {"-1e999", -HUGE_VALF},
        {"1e-999", 0.0f},
        {"1e39", HUGE_VALF},
        {"0x10", 0.0f},
        {"inf", 0.0f},
        {"0.1e400", HUGE_VALF},
        {"-0.0001e312", -HUGE_VALF},
        {"9e-400", 0.0f},
        {"12345e-330", 0.0f},
        {"1e99999999999999999999", HUGE_VALF},
    };
    for (const auto& [text, value] : floats)
        EXPECT_EQ(ReadLogFloat(text), value) << '"' << text << '"';

    const std::pair<const char*, int> integers[] = {
        {"55", 55},
        {"55.9", 55},
        {" -4%", -4},
        {"", 0},
        {"%", 0},
        {"--", 65535},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& [text, value] : integers)
        EXPECT_EQ(ReadLogInteger(text), value) << '"' << text << '"';
}

TEST(LogLine, UnitLabelComesFromTheHeadersSecondField)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)", "(\u00B0C)"},
        {"Time,Temperature(F),Humidity(%)", "(\u00B0F)"},
        {"Time,TempC/F,Humidity", "Temp\u00B0C/\u00B0F"},
        {"Time,Temperature(C)", ""},
        {"Time", ""},
        {"", ""},
    };
    for (const auto& [header, label] : cases)
        EXPECT_EQ(UnitLabelFromHeader(header), QString::fromUtf8(label)) << header;
}

TEST(LogLine, IndoorFilesCarryInInTheirName)
{
    EXPECT_TRUE(IsIndoorFileName("IN20170304.CSV"));
    EXPECT_TRUE(IsIndoorFileName("LOGIN.csv"));
    EXPECT_FALSE(IsIndoorFileName("in20170304.csv"));
    EXPECT_FALSE(IsIndoorFileName("20170304.csv"));
}

TEST(RecordCells, ShowTheStoredRowAsTheStationWritesIt)
{
    using Clock = StampForm::Clock;
    const double nine = ToOleDate({2026, 12, 1, 9, 5, 0});
    const RecordRow row{nine, 21.3f, 55, -3.0f, 100.0f};
    const StampForm ymd{DateOrder::YearMonthDay};
    struct Case
    {
        RecordRow row;
        int column;
        StampForm form;
        bool indoor;
        const char* text;
    };
    const Case cases[] = {
        {row, 0, ymd, false, "2026-12-01 9:05:00"},
        {row, 0, {DateOrder::MonthDayYear, Clock::MarkerFirst}, false, "12-01-2026 AM 9:05:00"},
        {row, 0, {DateOrder::DayMonthYear, Clock::MarkerLast}, true, "01-12-2026 9:05:00 AM"},
        {{ToOleDate({1999, 1, 2, 23, 59, 59})}, 0, ymd, false, "1999-01-02 23:59:59"},
        {{ToOleDate({1999, 1, 2, 23, 59, 59})},
         0,
         {DateOrder::YearMonthDay, Clock::MarkerLast},
         false,
         "1999-01-02 11:59:59 PM"},
        {{ToOleDate({1999, 1, 2, 0, 1, 0})},
         0,
         {DateOrder::YearMonthDay, Clock::MarkerFirst},
         false,
         "1999-01-02 AM 12:01:00"},
        {{ToOleDate({1999, 1, 2, 12, 1, 0})},
         0,
         {DateOrder::YearMonthDay, Clock::MarkerLast},
         false,
         "1999-01-02 12:01:00 PM"},
        {{NotADate}, 0, ymd, false, ""},
        {{DateOutOfRange}, 0, ymd, false, ""},
        {row, 1, ymd, false, "21.3"},
        {row, 2, ymd, false, "55"},
        {row, 3, ymd, false, "-3.0"},
        {row, 4, ymd, false, "100.0"},
        {row, 3, ymd, true, ""},
        {row, 4, ymd, true, ""},
        {{nine, 65535.0f, 65535, 65535.0f, 0.05f}, 1, ymd, false, "--"},
        {{nine, 65535.0f, 65535, 65535.0f, 0.05f}, 2, ymd, false, "--"},
        {{nine, 65535.0f, 65535, 65535.0f, 0.05f}, 4, ymd, false, "0.05"},
        {{nine, HUGE_VALF, -4, 1e30f}, 1, ymd, false, "inf"},
        {{nine, HUGE_VALF, -4, 1e30f}, 2, ymd, false, "-4"},
        {{nine, HUGE_VALF, -4, 1e30f}, 3, ymd, false, "1e+30"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecordCellText(c.row, c.column, c.form, c.indoor).toStdString(), c.text)
            << "column " << c.column;
}

TEST(RecordCells, TakeTheStampFormOfTheLog)
{
    using Clock = StampForm::Clock;
    const std::pair<const char*, StampForm> cases[] = {
        {"2026-12-01 9:05:00", {DateOrder::YearMonthDay, Clock::TwentyFourHour}},
        {"2026/12/01 PM 9:05:00", {DateOrder::YearMonthDay, Clock::MarkerFirst}},
        {"12-01-2026 9:05:00 AM", {DateOrder::DayMonthYear, Clock::MarkerLast}},
        {"202-12-01 9:05:00", {DateOrder::DayMonthYear, Clock::TwentyFourHour}},
        {"", {DateOrder::DayMonthYear, Clock::TwentyFourHour}},
    };
    for (const auto& [stamp, form] : cases)
        EXPECT_TRUE(StampFormOf(stamp, DateOrder::DayMonthYear) == form) << stamp;
}
