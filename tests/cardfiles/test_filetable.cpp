#include "filetable.h"
#include "localcopy.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

Payload listReport(std::string_view text)
{
    Payload payload{};
    std::copy(text.begin(), text.end(), payload.begin());
    return payload;
}

Payload fileReport(std::string_view name, std::uint32_t size)
{
    Payload payload = listReport("{" + std::string(name) + ",");
    for (std::size_t i = 0; i < 4; ++i)
        payload[name.size() + 2 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    return payload;
}

TEST(FileTable, SizeTexts)
{
    struct Case
    {
        std::int32_t size;
        const char* scaled;
        const char* kilobytes;
    };
    const Case cases[] = {
        {0, "0.00 KB", "0.00 KB"},
        {1536, "1.50 KB", "1.50 KB"},
        {1048576, "1024.00 KB", "1024.00 KB"},
        {1048577, "1.00 MB", "1024.00 KB"},
        {-1, "-0.00 KB", "-0.00 KB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SizeText(c.size, SizeTextStyle::KilobytesOrMegabytes), c.scaled) << c.size;
        EXPECT_EQ(SizeText(c.size, SizeTextStyle::Kilobytes), c.kilobytes) << c.size;
    }
}

TEST(FileTable, LinesAreDecodedFromAllSixtyFourBytes)
{
    struct Case
    {
        const char* what;
        Payload payload;
        std::string name;
        std::int32_t size;
    };
    Payload behindNul = fileReport("A.csv", 7);
    behindNul[3] = 0; // "{A." NUL "sv,": the comma is still found
    Payload lateComma = listReport("{" + std::string(61, 'n') + ",");
    lateComma[63] = 0x01; // only one of the four size bytes is in the payload
    Payload noComma{0x00, 0x00, 0x01, 0x02, 'x'};
    const Case cases[] = {
        {"plain", fileReport("20261201.csv", 1536), "20261201.csv", 1536},
        {"end marker later in the line", fileReport("a{@}b.csv", 9), "a{@}b.csv", 9},
        {"comma behind a NUL", behindNul, std::string("A.\0sv", 5), 7},
        {"no comma", noComma, "", 0x0102},
        {"comma at byte 62", lateComma, std::string(61, 'n'), 0x01000000},
        {"negative size", fileReport("big", 0xFFFFFFFE), "big", -2},
    };
    for (const Case& c : cases) {
        const FileLine line = DecodeFileLine(c.payload);
        EXPECT_EQ(line.name, c.name) << c.what;
        EXPECT_EQ(line.size, c.size) << c.what;
    }
}

TEST(FileTable, RepeatedNamesGiveTwoRowsAndTheLaterSize)
{
    FileTable table(SizeTextStyle::KilobytesOrMegabytes);
    table.ParseFileLine(fileReport("a.csv", 1024));
    table.ParseFileLine(fileReport("b.csv", 1048577));
    table.ParseFileLine(fileReport("a.csv", 2048));
    const std::vector<FileEntry> entries = table.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].sizeText, "1.00 MB");
    EXPECT_EQ(entries[2].name, "a.csv");
    EXPECT_EQ(table.sizeOf("a.csv"), 2048);
    EXPECT_EQ(table.sizeOf("c.csv"), std::nullopt);
    table.Reset();
    EXPECT_EQ(table.FileCount(), 0);
    EXPECT_EQ(table.sizeOf("a.csv"), std::nullopt);
}

TEST(FileTable, MoreThanFiveHundredFilesAreKept)
{
    FileTable table(SizeTextStyle::Kilobytes);
    for (int i = 0; i < 600; ++i)
        table.ParseFileLine(fileReport("f" + std::to_string(i), 1));
    EXPECT_EQ(table.FileCount(), 600);
    EXPECT_EQ(table.sizeOf("f599"), 1);
}

TEST(LocalCopy, OnlyPlainNamesHaveACopyInTheDataFolder)
{
    const std::filesystem::path folder = "/data";
    EXPECT_EQ(LocalCopyPath(folder, "20261201.csv"), folder / "20261201.csv");
    EXPECT_EQ(LocalCopyPath(folder, "M\xE4rz.csv"), folder / "M\u00e4rz.csv");
    for (const std::string_view bad :
         {std::string_view(""), std::string_view("."), std::string_view(".."),
          std::string_view("../x.csv"), std::string_view("a\\b"), std::string_view("a\0b", 3)})
        EXPECT_EQ(LocalCopyPath(folder, bad), std::nullopt) << bad;
}

} // namespace
} // namespace nimbra
