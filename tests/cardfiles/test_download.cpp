// Lists and downloads against the emulated station through the real link.
#include "downloadfixture.h"

#include <stdexcept>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using test::DownloadTest;
using test::logContent;
using test::readFile;
using test::writeFile;
using Requests = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

TEST_F(DownloadTest, ListShowsEverySizeOfTheCard)
{
    for (const std::size_t size : {0u, 1536u, 1048576u, 1048577u})
        station->putFile("f" + std::to_string(size) + ".csv", std::string(size, 'x'));
    station->putFile("a{@}b.csv", "x");
    list();
    const std::vector<FileEntry> entries = files.entries();
    ASSERT_EQ(entries.size(), 5u) << "an end marker later in a line is a file";
    EXPECT_EQ(entries[4].name, "a{@}b.csv");
    const char* texts[] = {"0.00 KB", "1.50 KB", "1024.00 KB", "1.00 MB"};
    for (std::size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(entries[i].sizeText, texts[i]);
    EXPECT_EQ(files.sizeOf("f1048577.csv"), 1048577);
    EXPECT_EQ(link.requestKind(), RequestKind::Idle) << "the end report closes the list";
}

TEST_F(DownloadTest, FileIsFetchedInChunksIntoAByteIdenticalCopy)
{
    const std::string content = logContent(10000);
    station->putFile("20261201.csv", content);
    list();
    fetch("20261201.csv");
    EXPECT_EQ(chunkRequests(), (Requests{{0, 4096}, {4096, 8192}, {8192, 10000}}));
    EXPECT_TRUE(readFile(copyOf("20261201.csv")) == content);
    EXPECT_EQ(observer.complete(), 1);
    EXPECT_EQ(observer.top(), 10000);
    EXPECT_EQ(observer.position(), 10000) << "the bar counts the bytes received";
    EXPECT_EQ(observer.ended(), 1);
    EXPECT_TRUE(imported() == std::vector<std::string>{content});
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_EQ(link.requestKind(), RequestKind::Idle);
}

// What a local copy already holds decides where the transfer starts and how it ends. The bar
// counts the whole file: a resumed transfer ends at the file's size.
TEST_F(DownloadTest, ExistingCopiesResumeOrRestart)
{
    const std::string content = logContent(10000);
    struct Case
    {
        const char* what;
        std::string before;
        Requests requests;
        bool failure;
        std::string after;
    };
    const Case cases[] = {
        {"partial copy resumes",
         content.substr(0, 5000),
         {{5000, 9096}, {9096, 10000}},
         false,
         content},
        {"complete copy asks for nothing", content, {{10000, 10000}}, false, content},
        {"one byte too many is tolerated and fails",
         content + "x",
         {{10001, 10000}},
         true,
         content + "x"},
        {"two bytes too many restart from 0",
         content + "xy",
         {{0, 4096}, {4096, 8192}, {8192, 10000}},
         false,
         content},
    };
    station->putFile("20261201.csv", content);
    list();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        station->clearReceived();
        writeFile(copyOf("20261201.csv"), c.before);
        const int messagesBefore = messages.texts().size();
        const std::size_t importsBefore = imported().size();
        fetch("20261201.csv");
        EXPECT_EQ(chunkRequests(), c.requests);
        EXPECT_TRUE(readFile(copyOf("20261201.csv")) == c.after);
        EXPECT_EQ(observer.top(), 10000);
        EXPECT_EQ(observer.position(), static_cast<int>(c.after.size()));
        EXPECT_EQ(messages.texts().size() - messagesBefore, c.failure ? 1 : 0);
        if (c.failure) {
            EXPECT_EQ(messages.texts().back(), "This file errors");
        }
        ASSERT_EQ(imported().size(), importsBefore + 1) << "the import runs either way";
        EXPECT_TRUE(imported().back() == c.after);
    }
}

TEST_F(DownloadTest, EmptyStationFileIsOneRequestForNothing)
{
    station->putFile("IN20261201.csv", "");
    list();
    fetch("IN20261201.csv");
    EXPECT_EQ(chunkRequests(), (Requests{{0, 0}}));
    EXPECT_TRUE(std::filesystem::exists(copyOf("IN20261201.csv")));
    EXPECT_EQ(observer.complete(), 1);
    EXPECT_EQ(imported().size(), 1u);
}

// Broken replies end the transfer as a chunk failure; the copy keeps only bytes that came in
// order, and the next fetch completes it.
TEST_F(DownloadTest, BrokenChunksFailAndTheNextFetchRepairs)
{
    const std::string content = logContent(10000);
    struct Case
    {
        const char* what;
        std::function<void(EmulatedStation&)> arm;
    };
    const Case cases[] = {
        {"end of chunk 2 lost", [](EmulatedStation& s) { s.dropChunkEnd(2); }},
        {"data report without closing brace",
         [](EmulatedStation& s) {
             s.replaceDataReport(70, Payload{'{', 'a', 'b'});
         }},
        {"end report with more text",
         [](EmulatedStation& s) {
             s.replaceDataReport(70, Payload{'{', '@', 'x', '}'});
         }},
        // Pauses in the rest of the chunk outlast a quiet line after an answered request.
        {"early end, the rest of the chunk trickling after it",
         [](EmulatedStation& s) {
             s.replaceDataReport(70, Payload{'{', '@', 'x', '}'});
             s.trickleChunk(2, 130ms);
         }},
    };
    station->putFile("20261201.csv", content);
    list();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(copyOf("20261201.csv"));
        const int messagesBefore = messages.texts().size();
        c.arm(*station);
        fetch("20261201.csv");
        ASSERT_EQ(messages.texts().size(), messagesBefore + 1);
        EXPECT_EQ(messages.texts().back(), "This file errors");
        EXPECT_TRUE(readFile(copyOf("20261201.csv")) == content.substr(0, 4096))
            << "the complete first chunk, nothing of the broken second";
        EXPECT_EQ(observer.position(), 4096) << "the bar stays where the copy ends";
        EXPECT_EQ(link.requestKind(), RequestKind::Idle);

        station->clearReceived();
        fetch("20261201.csv");
        EXPECT_EQ(chunkRequests().front().first, 4096u);
        EXPECT_TRUE(readFile(copyOf("20261201.csv")) == content);
        EXPECT_EQ(messages.texts().size(), messagesBefore + 1);
    }
}

TEST_F(DownloadTest, LateReportsAfterAFailedChunkWriteNowhere)
{
    const std::string content = logContent(10000);
    station->putFile("20261201.csv", content);
    list();
    station->delayReplies(timing.fileChunk + 100ms);
    fetch("20261201.csv");
    EXPECT_EQ(messages.texts(), QStringList{"This file errors"});
    // The whole delayed reply arrives now, while nothing is being fetched.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(readFile(copyOf("20261201.csv")), "");
    station->clearFaults();
    fetch("20261201.csv");
    EXPECT_TRUE(readFile(copyOf("20261201.csv")) == content);
}

TEST_F(DownloadTest, UnplugEndsTheTransferAtOnceAndAReplugResumes)
{
    const std::string content = logContent(20000);
    station->putFile("20261201.csv", content);
    list();
    station->unplugAtDataReport(150); // the 16th of the third chunk
    fetch("20261201.csv");
    EXPECT_EQ(chunkRequests().size(), 3u) << "no request after the unplug";
    EXPECT_EQ(messages.texts(),
              QStringList{"This file errors\nThe station went away during the transfer. The local "
                          "copy is fine: plug the station in and press \"Select\" to continue."});
    const std::string partial = readFile(copyOf("20261201.csv"));
    EXPECT_TRUE(partial == content.substr(0, 8192)) << "the two complete chunks";
    ASSERT_EQ(imported().size(), 1u);

    link.OnDeviceChange(DeviceChange::Removal);
    ASSERT_TRUE(bus.plug(Path));
    ASSERT_TRUE(link.OnDeviceChange(DeviceChange::Arrival) && link.Connected());
    station->clearReceived();
    fetch("20261201.csv");
    EXPECT_EQ(chunkRequests().front().first, partial.size());
    EXPECT_TRUE(readFile(copyOf("20261201.csv")) == content);
}

TEST_F(DownloadTest, FileTheStationAppendedToResumesToItsNewEnd)
{
    station->edit([](StationModel& model) {
        model.setIntervalMinutes(5);
        model.card().put("20261201.csv", logHeader(false, false) + "\n");
    });
    list();
    fetch("20261201.csv");
    const std::string first = readFile(copyOf("20261201.csv"));
    station->edit([](StationModel& model) {
        model.catchUpLog();
        model.clock().set(model.clock().now() + std::chrono::minutes(16));
    });
    list(); // the station catches up its log before it answers
    const std::string grown = station->state().files.front().content;
    ASSERT_EQ(std::count(grown.begin(), grown.end(), '\n'), 4);
    station->clearReceived();
    fetch("20261201.csv");
    EXPECT_EQ(chunkRequests().front().first, first.size());
    EXPECT_TRUE(readFile(copyOf("20261201.csv")) == grown);
}

TEST_F(DownloadTest, NamesTheStationCannotTakeOrTheTableLacksSendNothing)
{
    const std::string tooLong(53, 'a');
    station->putFile("dir.csv", "abc");
    list();
    std::filesystem::create_directory(copyOf("dir.csv")); // a copy that cannot be opened
    struct Case
    {
        std::string name;
        QString message;
    };
    const Case cases[] = {
        {tooLong, "The file name is longer than the station accepts (52 characters at most)."},
        {"../escape.csv", "The station's file name cannot be used for a file on this computer."},
        {"unlisted.csv", " m_FilenameSize Error."},
        {"dir.csv", "Open Error1"},
    };
    for (const Case& c : cases) {
        fetch(c.name);
        EXPECT_EQ(messages.texts().back(), c.message);
    }
    EXPECT_TRUE(chunkRequests().empty());
    EXPECT_TRUE(imported().empty());
    EXPECT_EQ(observer.ended(), 4);
    EXPECT_FALSE(std::filesystem::exists(local().parent_path() / "escape.csv"));
    EXPECT_FALSE(std::filesystem::exists(copyOf("unlisted.csv")));
}

// A paced station sends a report a millisecond; its chunk wait has room to spare on a busy machine.
class PacedStationTest : public DownloadTest
{
protected:
    PacedStationTest() : DownloadTest(PacedTiming()) {}
    static Timing PacedTiming()
    {
        Timing t = Timing{}.scaled(0.05);
        t.fileChunk = std::chrono::milliseconds(1000);
        return t;
    }
};

TEST_F(PacedStationTest, StoppingMidwayKeepsThePartialCopyAndImportsNothing)
{
    const std::string content = logContent(1 << 20);
    station->putFile("big.csv", content);
    station->setPacing(true);
    list();
    ASSERT_TRUE(download.start("big.csv", local()));
    while (observer.position() < 64 * 100)
        std::this_thread::sleep_for(5ms);
    download.stop();
    EXPECT_FALSE(download.running());
    const std::string partial = readFile(copyOf("big.csv"));
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), content.size());
    EXPECT_TRUE(partial == content.substr(0, partial.size()));
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_TRUE(imported().empty());
}

// A failure that escapes the import is told, and the worker still ends as every transfer does.
TEST_F(DownloadTest, ImportThatThrowsIsToldAndTheWorkerEnds)
{
    station->putFile("20261201.csv", logContent(100));
    list();
    DownloadThread throwing{link,
                            receiver,
                            files,
                            messages,
                            observer,
                            [](const std::filesystem::path&, const std::string&) {
                                throw std::runtime_error("out of room");
                            }};
    ASSERT_TRUE(throwing.start("20261201.csv", local()));
    throwing.wait();
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("out of room")});
    EXPECT_EQ(observer.ended(), 1);
    EXPECT_FALSE(throwing.running());
    EXPECT_EQ(link.requestKind(), RequestKind::Idle);
}

class PacedDownloadTest : public DownloadTest
{
protected:
    PacedDownloadTest() : DownloadTest(test::withStationPauses()) {}
};

TEST_F(PacedDownloadTest, DuplicatedChunkEndIsIgnored)
{
    const std::string content = logContent(10000);
    station->putFile("20261201.csv", content);
    list();
    station->duplicateChunkEnd(1);
    fetch("20261201.csv");
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_TRUE(readFile(copyOf("20261201.csv")) == content);
}

} // namespace
} // namespace nimbra
