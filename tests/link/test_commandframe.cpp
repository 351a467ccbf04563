#include "commandframe.h"

#include <gtest/gtest.h>
#include <set>

namespace nimbra {
namespace {

TEST(CommandFrame, PlainRequestIsBraceCodeAtBraceThenZeros)
{
    const CommandFrame frame(Command::Live);
    const Payload& bytes = frame.bytes();
    EXPECT_EQ(bytes[0], 0x7B);
    EXPECT_EQ(bytes[1], 0x03);
    EXPECT_EQ(bytes[2], 0x40);
    EXPECT_EQ(bytes[3], 0x7D);
    for (std::size_t i = 4; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(CommandFrame, ParametersSitBetweenCodeAndTrailer)
{
    const CommandFrame frame = CommandFrame::fileChunk("20261201.csv", 4096, 8192);
    const Payload& bytes = frame.bytes();
    const std::string name(bytes.begin() + 2, bytes.begin() + 14);
    EXPECT_EQ(name, "20261201.csv");
    const std::uint8_t offsets[] = {0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x20, 0x00};
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(bytes[14 + i], offsets[i]) << "offset byte " << i;
    EXPECT_EQ(bytes[22], 0x40);
    EXPECT_EQ(bytes[23], 0x7D);
    EXPECT_EQ(bytes[24], 0x00);
}

TEST(CommandFrame, SmallWriteFrames)
{
    struct Case
    {
        CommandFrame frame;
        std::vector<std::uint8_t> head;
    };
    const Case cases[] = {
        {CommandFrame::setInterval(240), {0x7B, 0x40, 240, 0x40, 0x7D, 0x00}},
        {CommandFrame::language(true), {0x7B, 0x0B, 0x01, 0x40, 0x7D, 0x00}},
        {CommandFrame::language(false), {0x7B, 0x0B, 0x00, 0x40, 0x7D, 0x00}},
        {CommandFrame::deleteFile("A.csv"), {0x7B, 0x20, 'A', '.', 'c', 's', 'v', 0x40, 0x7D, 0}},
        {CommandFrame::endOfWrite(), {0x7B, 0x2F, 0x40, 0x7D, 0x00}},
    };
    for (const Case& c : cases) {
        for (std::size_t i = 0; i < c.head.size(); ++i)
            EXPECT_EQ(c.frame.bytes()[i], c.head[i])
                << "command " << int(c.head[1]) << " byte " << i;
    }
}

TEST(CommandFrame, OverlongParametersAreCutSoTheTrailerStillFits)
{
    const std::vector<std::uint8_t> many(100, 'x');
    const CommandFrame frame(Command::DeleteFile, many);
    const Payload& bytes = frame.bytes();
    EXPECT_EQ(bytes[61], 'x');
    EXPECT_EQ(bytes[62], 0x40);
    EXPECT_EQ(bytes[63], 0x7D);
}

TEST(CommandTable, EveryCodeFilesItsReplyUnderTheRightKind)
{
    const std::pair<std::uint8_t, RequestKind> expected[] = {
        {0x01, RequestKind::FileList},    {0x02, RequestKind::FileData},
        {0x03, RequestKind::Live},        {0x04, RequestKind::Settings},
        {0x05, RequestKind::Calibration}, {0x06, RequestKind::AlarmPage1},
        {0x08, RequestKind::AlarmPage3},  {0x09, RequestKind::AlarmPage4},
        {0x41, RequestKind::Interval},    {0x51, RequestKind::ScreenCheck},
        {0x0B, RequestKind::NoReply},     {0x10, RequestKind::NoReply},
        {0x11, RequestKind::NoReply},     {0x12, RequestKind::NoReply},
        {0x14, RequestKind::NoReply},     {0x15, RequestKind::NoReply},
        {0x2F, RequestKind::NoReply},     {0x20, RequestKind::NoReply},
        {0x30, RequestKind::NoReply},     {0x40, RequestKind::NoReply},
    };
    EXPECT_EQ(commandTable().size(), std::size(expected));
    for (const auto& [code, kind] : expected) {
        const CommandInfo* info = findCommand(code);
        ASSERT_NE(info, nullptr) << "code " << int(code);
        EXPECT_EQ(info->kind, kind) << "code " << int(code);
    }
    for (int code : {0x00, 0x07, 0x0A, 0x13, 0x42, 0xFF})
        EXPECT_EQ(findCommand(static_cast<std::uint8_t>(code)), nullptr) << "code " << code;
}

} // namespace
} // namespace nimbra
