#include "replyrouter.h"
#include "scriptedtransport.h"

#include <gtest/gtest.h>
#include <random>

namespace nimbra {
namespace {

using test::payloadOf;
using test::textPayload;

struct RecordingList final : FileListSink
{
    std::vector<Payload> lines;
    void ParseFileLine(const Payload& payload) override { lines.push_back(payload); }
};

struct RecordingData final : FileDataSink
{
    std::vector<std::string> data;
    int chunkEnds = 0;
    bool lastChunk = false;
    void onFileData(std::string_view text) override { data.emplace_back(text); }
    bool onChunkEnd() override
    {
        ++chunkEnds;
        return lastChunk;
    }
};

class ReplyRouterTest : public ::testing::Test
{
protected:
    ReplyRouterTest()
    {
        for (auto& field : busy)
            router.addScreenBusyReceiver(&field);
        router.setFileLists(&mainList, &dialogList);
        router.setFileDataSink(&fileData);
        router.setSettingsDecoder([this](const Page& page) { decoded.push_back(page); });
    }
    DispatchResult send(RequestKind kind, const Payload& payload, std::size_t n = 64)
    {
        return router.dispatch(kind, payload, n);
    }

    ReplyRouter router;
    std::atomic<int> busy[6]{};
    RecordingList mainList;
    RecordingList dialogList;
    RecordingData fileData;
    std::vector<Page> decoded;
};

constexpr DispatchResult Done{true, true};
constexpr DispatchResult Nothing{false, false};

TEST_F(ReplyRouterTest, PageKindsFillTheirPageAndEndTheExchange)
{
    const std::pair<RequestKind, int> pages[] = {
        {RequestKind::Live, 0},       {RequestKind::Settings, 1},   {RequestKind::Calibration, 2},
        {RequestKind::AlarmPage1, 3}, {RequestKind::AlarmPage3, 5}, {RequestKind::AlarmPage4, 6},
    };
    for (const auto& [kind, page] : pages) {
        const Payload reply = payloadOf({std::uint8_t(page), 0xAB, std::uint8_t(0xC0 + page)});
        EXPECT_EQ(send(kind, reply), Done) << "page " << page;
        EXPECT_EQ(router.buffer().page(page), reply) << "page " << page;
    }
    EXPECT_EQ(router.buffer().page(4), Page{}) << "alarm page 2 is never fetched";
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], router.buffer().page(1));
}

TEST_F(ReplyRouterTest, ShortReportKeepsTheRestOfThePage)
{
    Payload full{};
    full.fill(0x11);
    send(RequestKind::Live, full);
    send(RequestKind::Live, payloadOf({0x22, 0x22}), 2);
    const Page page = router.buffer().page(0);
    EXPECT_EQ(page[1], 0x22);
    EXPECT_EQ(page[2], 0x11);
}

TEST_F(ReplyRouterTest, IntervalAndScreenCheckTakeByteOne)
{
    EXPECT_EQ(send(RequestKind::Interval, payloadOf({0x00, 15})), Done);
    EXPECT_EQ(router.m_IntervalReply.load(), 15);

    EXPECT_EQ(send(RequestKind::ScreenCheck, payloadOf({0x00, 3})), Done);
    for (auto& field : busy)
        EXPECT_EQ(field.load(), 3);
    send(RequestKind::ScreenCheck, payloadOf({0x51, 0}));
    for (auto& field : busy)
        EXPECT_EQ(field.load(), 0);
}

TEST_F(ReplyRouterTest, FileListEndsOnlyAtLeadingEndMark)
{
    EXPECT_EQ(send(RequestKind::FileList, textPayload("{A.csv,")), Nothing);
    EXPECT_EQ(send(RequestKind::FileList, textPayload("x{@}")), Nothing);
    EXPECT_EQ(mainList.lines.size(), 2u);
    EXPECT_EQ(send(RequestKind::FileList, textPayload("{@}")), Done);
    EXPECT_EQ(mainList.lines.size(), 2u);
}

TEST_F(ReplyRouterTest, FileListLinesFollowTheRoutingFlag)
{
    router.m_RouteListToMain = false;
    send(RequestKind::FileList, textPayload("{B.csv,"));
    router.m_RouteListToMain = true;
    send(RequestKind::FileList, textPayload("{C.csv,"));
    ASSERT_EQ(dialogList.lines.size(), 1u);
    ASSERT_EQ(mainList.lines.size(), 1u);
    EXPECT_EQ(dialogList.lines[0][1], 'B');
    EXPECT_EQ(mainList.lines[0][1], 'C');
}

TEST_F(ReplyRouterTest, FileListLineIsPassedWhole)
{
    // The size bytes after the comma may hold zeros; the parser needs all 64 bytes.
    const Payload line = payloadOf({'{', 'A', ',', 0x00, 0x00, 0x10, 0x00, 0x00, 0x7F});
    send(RequestKind::FileList, line);
    ASSERT_EQ(mainList.lines.size(), 1u);
    EXPECT_EQ(mainList.lines[0], line);
}

TEST(FileDataText, BracesAndCut)
{
    const std::pair<std::string, std::string> cases[] = {
        {"{abc}", "abc"}, {"{abc", ""}, {"abc}def}", "abc"},
        {"{a{b}c", "ab"}, {"{@}", "@"}, {"{@x}", "@x"},
        {"}", ""},        {"", ""},     {"{line\n}", "line\n"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(fileDataText(textPayload(in)), out) << "text " << in;
}

TEST_F(ReplyRouterTest, FileDataReportsAndChunkEnds)
{
    EXPECT_EQ(send(RequestKind::FileData, textPayload("{12,3}")), Nothing);
    EXPECT_EQ(send(RequestKind::FileData, textPayload("{no brace")), Nothing);
    ASSERT_EQ(fileData.data.size(), 2u);
    EXPECT_EQ(fileData.data[0], "12,3");
    EXPECT_EQ(fileData.data[1], "") << "a report without } is data of length 0";

    const DispatchResult chunkDone{false, true};
    EXPECT_EQ(send(RequestKind::FileData, textPayload("{@}")), chunkDone);
    EXPECT_EQ(send(RequestKind::FileData, textPayload("{@x}")), chunkDone)
        << "only the first character decides";
    fileData.lastChunk = true;
    EXPECT_EQ(send(RequestKind::FileData, textPayload("{@}")), Done);
    EXPECT_EQ(fileData.chunkEnds, 3);
    EXPECT_EQ(fileData.data.size(), 2u);
}

TEST_F(ReplyRouterTest, IdleNoReplyAndUnknownKindsChangeNothing)
{
    Payload reply{};
    reply.fill(0x5A);
    for (int kind : {0, 2, 5, 13, 19, 255, -1}) {
        EXPECT_EQ(send(static_cast<RequestKind>(kind), reply), Nothing) << "kind " << kind;
    }
    for (int p = 0; p < ReplyBuffer::PageCount; ++p)
        EXPECT_EQ(router.buffer().page(p), Page{});
    EXPECT_TRUE(mainList.lines.empty());
    EXPECT_TRUE(fileData.data.empty());
    EXPECT_EQ(busy[0].load(), 0);
}

// Random reports under every kind: nothing crashes or reads out of range (the ASan build
// watches), and only the receivers of that kind change.
TEST_F(ReplyRouterTest, RandomReportsUnderEveryKind)
{
    std::mt19937 random(7100);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 64);
    const int kinds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 19, 42};
    for (int round = 0; round < 20000; ++round) {
        Payload report{};
        for (auto& b : report)
            b = static_cast<std::uint8_t>(byte(random));
        if (round % 5 == 0)
            report[0] = '{';
        if (round % 7 == 0)
            report[byte(random) % 64] = 0;
        const int kind = kinds[round % std::size(kinds)];
        const auto before = router.buffer().page(4);
        const std::size_t listsBefore = mainList.lines.size() + dialogList.lines.size();
        const DispatchResult result =
            send(static_cast<RequestKind>(kind), report, static_cast<std::size_t>(length(random)));

        EXPECT_EQ(router.buffer().page(4), before);
        const std::size_t listsAfter = mainList.lines.size() + dialogList.lines.size();
        if (kind != 9) {
            ASSERT_EQ(listsAfter, listsBefore);
        }
        if (result.backToIdle) {
            ASSERT_TRUE(result.signal) << "a finished request always wakes its requester";
        }
        if (kind == 0 || kind == 19 || kind == 2 || kind == 5 || kind == 42) {
            ASSERT_EQ(result, Nothing);
        }
    }
}

} // namespace
} // namespace nimbra
