#include "emulatedcard.h"
#include "loggenerator.h"
#include "makebus.h"
#include "stationmodel.h"

#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace nimbra {
namespace {

using namespace std::chrono;

std::string text(const Payload& report)
{
    const auto end = std::find(report.begin(), report.end(), 0);
    return {report.begin(), end};
}

// The content of a chunk reply as the download's reader takes it: each data report between
// its braces; the reply must end with "{@}" and hold nothing after it.
std::string contentOf(const std::vector<Payload>& reports)
{
    EXPECT_FALSE(reports.empty());
    if (reports.empty())
        return {};
    EXPECT_EQ(reports.back(), endReport());
    std::string content;
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
        const std::string t = text(reports[i]);
        EXPECT_EQ(t.front(), '{');
        EXPECT_EQ(t.back(), '}');
        EXPECT_LE(t.size(), PayloadSize);
        content += t.substr(1, t.size() - 2);
    }
    return content;
}

std::string sequence(std::size_t n)
{
    std::string s(n, ' ');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

TEST(EmulatedCard, ListReplyHasOneReportPerFileThenTheEnd)
{
    EmulatedCard card;
    card.put("20261201.csv", std::string(70000, 'x'));
    card.put("IN20261201.csv", "");
    const std::vector<Payload> list = card.listReply();
    ASSERT_EQ(list.size(), 3u);

    const Payload& first = list[0];
    EXPECT_EQ(std::string(first.begin(), first.begin() + 14), "{20261201.csv,");
    EXPECT_EQ(first[14], 0x00);
    EXPECT_EQ(first[15], 0x01);
    EXPECT_EQ(first[16], 0x11);
    EXPECT_EQ(first[17], 0x70); // 70000 = 00 01 11 70
    EXPECT_TRUE(std::all_of(first.begin() + 18, first.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(text(list[1]).substr(0, 16), "{IN20261201.csv,");
    EXPECT_EQ(text(list[2]), "{@}");
    EXPECT_EQ(EmulatedCard().listReply(), std::vector<Payload>{endReport()}) << "empty card";
}

TEST(EmulatedCard, ReplaceKeepsThePlaceAndRemoveDeletes)
{
    EmulatedCard card;
    EXPECT_TRUE(card.put("a.csv", "1"));
    EXPECT_TRUE(card.put("b.csv", "2"));
    EXPECT_TRUE(card.put("a.csv", "333"));
    ASSERT_EQ(card.files().size(), 2u);
    EXPECT_EQ(card.files()[0], (CardFile{"a.csv", "333"}));
    EXPECT_TRUE(card.remove("a.csv"));
    EXPECT_FALSE(card.remove("a.csv"));
    EXPECT_EQ(card.files().size(), 1u);
}

TEST(EmulatedCard, NamesMustFitTheListReport)
{
    EmulatedCard card;
    EXPECT_TRUE(card.put(std::string(EmulatedCard::MaxNameLength, 'n'), "x"));
    EXPECT_FALSE(card.put(std::string(EmulatedCard::MaxNameLength + 1, 'n'), "x"));
    EXPECT_FALSE(card.put("", "x"));
    EXPECT_FALSE(card.put(std::string("a\0b", 3), "x"));
    EXPECT_EQ(card.files().size(), 1u);
}

TEST(EmulatedCard, ChunkRepliesCoverTheRequestedRange)
{
    EmulatedCard card;
    const std::string file = sequence(10000);
    card.put("f.csv", file);
    struct Range
    {
        std::uint32_t start, end;
        std::size_t dataReports;
    };
    const Range ranges[] = {
        {0, 4096, 67},     // 66 full reports and one of 4 bytes
        {8192, 12288, 30}, // the last chunk ends at the file's end
        {62, 124, 1},      // exactly one full report
        {4096, 4096, 0},   // start = end
        {10000, 14096, 0}, // nothing left
        {20000, 24096, 0}, // beyond the end
    };
    for (const Range& r : ranges) {
        SCOPED_TRACE(std::to_string(r.start) + ".." + std::to_string(r.end));
        const std::vector<Payload> reply = card.chunkReply("f.csv", r.start, r.end);
        EXPECT_EQ(reply.size(), r.dataReports + 1);
        const std::size_t stop = std::min<std::size_t>(r.end, file.size());
        const std::size_t start = std::min<std::size_t>(r.start, stop);
        EXPECT_EQ(contentOf(reply), file.substr(start, stop - start));
    }
    EXPECT_EQ(card.chunkReply("missing.csv", 0, 4096), std::vector<Payload>{endReport()});
}

TEST(EmulatedCard, ChunkCommandIsParsedFromItsFrame)
{
    StationModel model;
    model.card().put("IN20261201.csv", sequence(300));
    // Offsets whose bytes look like the closing "@}" must not confuse the frame.
    const StationReply reply =
        model.handle(CommandFrame::fileChunk("IN20261201.csv", 0x40, 0x7D).bytes());
    EXPECT_EQ(reply.outcome, ReportOutcome::Answered);
    EXPECT_EQ(contentOf(reply.reports), sequence(300).substr(0x40, 0x7D - 0x40));
    EXPECT_EQ(model.handle(CommandFrame(Command::FileList).bytes()).reports.size(), 2u);
}

TEST(LogGenerator, HeaderFormsAndNames)
{
    EXPECT_EQ(logHeader(false, false), "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)");
    EXPECT_EQ(logHeader(false, true), "Time,Temperature(F),Humidity(%),DewPoint(F),HeatIndex(F)");
    EXPECT_EQ(logHeader(true, false), "Time,Temperature(C),Humidity(%)");
    EXPECT_EQ(logHeader(true, true), "Time,Temperature(F),Humidity(%)");
    const sys_days day = year{2026} / 12 / 1;
    EXPECT_EQ(logFileName(day, false), "20261201.csv");
    EXPECT_EQ(logFileName(day, true), "IN20261201.csv");
    EXPECT_EQ(logTime(day + hours{10} + minutes{5}), "2026-12-01 10:05:00");
}

struct StampCase
{
    int timeFormat;
    int dateFormat;
    int hour;
    const char* expected;
};

// All nine pairs of the station's formats; the hour never has a leading zero.
TEST(LogGenerator, TimeStampsFollowTheStationsFormats)
{
    const StampCase cases[] = {
        {0, 0, 9, "2026-03-07 9:05:02"},      {0, 1, 0, "03-07-2026 0:05:02"},
        {0, 2, 23, "07-03-2026 23:05:02"},    {1, 0, 0, "2026-03-07 AM 12:05:02"},
        {1, 1, 12, "03-07-2026 PM 12:05:02"}, {1, 2, 13, "07-03-2026 PM 1:05:02"},
        {2, 0, 9, "2026-03-07 9:05:02 AM"},   {2, 1, 0, "03-07-2026 12:05:02 AM"},
        {2, 2, 23, "07-03-2026 11:05:02 PM"},
    };
    const sys_days day = year{2026} / 3 / 7;
    for (const StampCase& c : cases)
        EXPECT_EQ(
            logTime(day + hours{c.hour} + minutes{5} + seconds{2}, c.timeFormat, c.dateFormat),
            c.expected);
}

struct LogCase
{
    bool indoor;
    bool fahrenheit;
};

class GeneratedLogTest : public ::testing::TestWithParam<LogCase>
{
};

TEST_P(GeneratedLogTest, LinesHaveTheFieldsTheImportExpects)
{
    LogRecipe recipe;
    recipe.start = sys_days{year{2026} / 12 / 1} + hours{23};
    recipe.rows = 300; // runs past midnight
    recipe.indoor = GetParam().indoor;
    recipe.fahrenheit = GetParam().fahrenheit;
    recipe.missingEvery = 7;
    const std::string log = generateLog(recipe);
    EXPECT_EQ(log.find('\r'), std::string::npos) << "line feeds only";
    EXPECT_EQ(log.find_first_of("{}"), std::string::npos) << "braces would cut a data report";
    ASSERT_EQ(log.back(), '\n');

    const std::regex value(R"(--|-?\d+\.\d)");
    const std::regex humidity(R"(--|\d{1,2})");
    const std::regex time(R"(\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d)");
    std::istringstream lines(log);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, logHeader(recipe.indoor, recipe.fahrenheit));
    int rows = 0;
    int gaps = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string f; std::getline(split, f, ',');)
            fields.push_back(f);
        ASSERT_EQ(fields.size(), recipe.indoor ? 3u : 5u) << line;
        EXPECT_TRUE(std::regex_match(fields[0], time)) << line;
        EXPECT_TRUE(std::regex_match(fields[1], value)) << line;
        EXPECT_TRUE(std::regex_match(fields[2], humidity)) << line;
        for (std::size_t i = 3; i < fields.size(); ++i)
            EXPECT_TRUE(std::regex_match(fields[i], value)) << line;
        gaps += line.find("--") != std::string::npos;
        ++rows;
    }
    EXPECT_EQ(rows, recipe.rows);
    EXPECT_EQ(gaps, recipe.rows / recipe.missingEvery);
    EXPECT_NE(log.find("2026-12-02 0:00:00"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Forms, GeneratedLogTest,
                         ::testing::Values(LogCase{false, false}, LogCase{false, true},
                                           LogCase{true, false}, LogCase{true, true}));

TEST(LogGenerator, FahrenheitValuesAreConverted)
{
    LogRecipe recipe;
    recipe.rows = 1;
    recipe.indoor = true;
    const std::string celsius = generateLog(recipe);
    recipe.fahrenheit = true;
    const std::string fahrenheit = generateLog(recipe);
    auto temperature = [](const std::string& log) {
        const std::size_t line = log.find('\n') + 1;
        const std::size_t comma = log.find(',', line);
        return std::stod(log.substr(comma + 1));
    };
    EXPECT_NEAR(temperature(fahrenheit), temperature(celsius) * 1.8 + 32, 0.11);
}

TEST(StationLog, AppendsALinePerIntervalInTheCurrentSettings)
{
    StationModel model;
    const sys_seconds start = sys_days{year{2026} / 12 / 1} + hours{13};
    model.card().clear();
    model.card().put("20261201.csv", "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n");
    model.card().put("IN20261201.csv", "");
    model.setIntervalMinutes(5);
    Payload settings = model.settingsPage();
    settings[3] = 2; // h:mm:ss AM
    settings[4] = 2; // DD-MM-YYYY
    settings[7] = 1; // Fahrenheit
    model.setSettingsPage(settings);
    model.clock().set(start);
    model.catchUpLog();
    EXPECT_EQ(model.card().newest()->content, "") << "nothing is due yet";

    model.clock().set(start + minutes{12});
    model.handle(CommandFrame(Command::ScreenCheck).bytes());
    const std::string indoor = model.card().newest()->content;
    EXPECT_EQ(indoor.substr(0, indoor.find('\n')), logHeader(true, true));
    const std::regex line(R"(01-12-2026 1:(05|10):00 PM,-?\d+\.\d,\d{1,3}\n)");
    std::smatch match;
    int lines = 0;
    for (auto at = indoor.cbegin() + static_cast<std::ptrdiff_t>(indoor.find('\n') + 1);
         std::regex_search(at, indoor.cend(), match, line); at = match.suffix().first) {
        EXPECT_EQ(match.prefix().length(), 0);
        ++lines;
    }
    EXPECT_EQ(lines, 2);
    EXPECT_EQ(model.card().find("20261201.csv")->content.find("PM"), std::string::npos)
        << "only the newest file grows";

    // Setting the clock starts the schedule afresh instead of catching up the jump.
    const std::uint8_t later[] = {0x07, 0xEA, 12, 2, 13, 0, 0, 0};
    model.handle(CommandFrame(Command::SetClock, later).bytes());
    model.handle(CommandFrame(Command::ScreenCheck).bytes());
    EXPECT_EQ(model.card().newest()->content, indoor);
}

TEST(StationLog, AnEmptyCardGetsTodaysFile)
{
    StationModel model;
    model.card().clear();
    model.setIntervalMinutes(5);
    const sys_seconds start = sys_days{year{2026} / 12 / 1};
    model.clock().set(start);
    model.catchUpLog();
    model.clock().set(start + minutes{5});
    model.catchUpLog();
    ASSERT_EQ(model.card().files().size(), 1u);
    EXPECT_EQ(model.card().newest()->name, "20261201.csv");
    EXPECT_EQ(model.card().newest()->content.substr(0, 5), "Time,");
    EXPECT_NE(model.card().newest()->content.find("\n2026-12-01 0:05:00,"), std::string::npos);
}

TEST(DemoCard, RealisticSpreadOfFiles)
{
    EmulatedCard card;
    fillDemoCard(card, year{2026} / 12 / 4);
    std::size_t smallest = SIZE_MAX;
    std::size_t largest = 0;
    int indoor = 0;
    int empty = 0;
    for (const CardFile& f : card.files()) {
        EXPECT_LE(f.name.size(), 52u) << "fits the chunk command";
        largest = std::max(largest, f.content.size());
        indoor += f.name.find("IN") != std::string::npos;
        empty += f.content.empty();
        if (!f.content.empty()) {
            smallest = std::min(smallest, f.content.size());
            EXPECT_EQ(f.content.substr(0, 5), "Time,");
        }
    }
    EXPECT_GE(card.files().size(), 5u);
    EXPECT_EQ(indoor, 1);
    EXPECT_EQ(empty, 1);
    EXPECT_LT(smallest, 1000u);
    EXPECT_GT(largest, 1048576u);
    EXPECT_EQ(card.files().back().name, "20261204.csv") << "today's file is written last";
    EXPECT_NE(card.find("20261204.csv"), nullptr);
    EXPECT_NE(card.find("IN20261203.csv"), nullptr);
}

TEST(DemoCard, ChunksOfFourKilobytesRebuildTheLargestFile)
{
    EmulatedCard card;
    fillDemoCard(card, year{2026} / 12 / 4);
    const CardFile* largest = &card.files().front();
    for (const CardFile& f : card.files())
        if (f.content.size() > largest->content.size())
            largest = &f;
    std::string rebuilt;
    const auto size = static_cast<std::uint32_t>(largest->content.size());
    for (std::uint32_t start = 0; start < size; start += 4096)
        rebuilt += contentOf(card.chunkReply(largest->name, start, std::min(size, start + 4096)));
    EXPECT_EQ(rebuilt, largest->content);
}

} // namespace
} // namespace nimbra
