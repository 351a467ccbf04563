// Downloads under faults of the station, the bus and the disk: the copy ends byte-identical to
// the card's file or the user is told, never a "complete" copy that differs.
#include "downloadfixture.h"

#include <cerrno>
#include <climits>
#include <sys/mount.h>
#include <system_error>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr std::size_t Chunk = DownloadThread::ChunkSize;
constexpr int ReportsPerChunk = 67; // 4096 bytes at 62 a report

bool isPrefix(const std::string& part, const std::string& whole)
{
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

class DownloadFaultTest : public DownloadTest
{
protected:
    explicit DownloadFaultTest(Timing t = Timing{}.scaled(0.05)) : DownloadTest(t) {}
    // The station back after a fault that made it vanish.
    void replugIfGone()
    {
        if (station->present())
            return;
        link.OnDeviceChange(DeviceChange::Removal);
        ASSERT_TRUE(bus.plug(Path));
        ASSERT_TRUE(link.OnDeviceChange(DeviceChange::Arrival));
    }
    // Either the copy is whole and said so, or the user was told and it is a clean prefix.
    void expectWholeOrToldPrefix(const std::string& content, int completeBefore, int messagesBefore)
    {
        const std::string copy = readFile(copyOf("big.csv"));
        if (observer.complete() > completeBefore) {
            EXPECT_EQ(messages.texts().size(), messagesBefore);
            EXPECT_TRUE(copy == content) << "a complete copy that differs";
        } else {
            EXPECT_EQ(messages.texts().size(), messagesBefore + 1);
            EXPECT_TRUE(isPrefix(copy, content));
            EXPECT_EQ(copy.size() % Chunk, 0u);
        }
    }
    // One selection of the file; true when it ended whole.
    bool fetchWholeOrTold(const std::string& content)
    {
        const int completeBefore = observer.complete();
        const int messagesBefore = messages.texts().size();
        fetch("big.csv");
        expectWholeOrToldPrefix(content, completeBefore, messagesBefore);
        return observer.complete() > completeBefore;
    }
    // Selects the file again after a failure, as the user would: a loaded machine may see one
    // more told failure (a report still on its way when the line looked quiet), never a wrong
    // copy.
    void resumeUntilWhole(const std::string& content)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (fetchWholeOrTold(content))
                return;
        }
        ADD_FAILURE() << "not whole after three selections";
    }
};

// A first reply about 5.5 s late (the time-out is 3 s), a pause of 1.5 s before the user
// selects the file again, and replies that take 1.5 s from then on.
TEST_F(DownloadFaultTest, LateReplyThenSlowStationNeverShiftsChunks)
{
    const auto scaled = [&](Millis real) { return real * timing.fileChunk.count() / 3000; };
    struct Case
    {
        const char* what;
        std::function<void(EmulatedStation&, int k)> slow;
    };
    const Case cases[] = {
        {"slow replies held back whole",
         [&](EmulatedStation& s, int k) { s.delayChunk(k, scaled(1500ms)); }},
        {"slow replies trickling",
         [&](EmulatedStation& s, int k) { s.trickleChunk(k, scaled(1500ms)); }},
    };
    const std::string content = logContent(8 * Chunk + 100);
    station->putFile("big.csv", content);
    list();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(copyOf("big.csv"));
        station->clearFaults();
        station->delayChunk(4, scaled(5500ms));
        for (int k = 5; k <= 12; ++k)
            c.slow(*station, k);
        const int messagesBefore = messages.texts().size();
        fetch("big.csv");
        ASSERT_EQ(messages.texts().size(), messagesBefore + 1);
        EXPECT_EQ(readFile(copyOf("big.csv")).size(), 3 * Chunk);

        std::this_thread::sleep_for(scaled(1500ms));
        if (!fetchWholeOrTold(content)) {
            station->clearFaults();
            resumeUntilWhole(content);
        }
    }
}

// The campaign below fetches a megabyte many times and waits out many time-outs: shorter
// waits, and none of the pauses that are there for the station's sake only.
class FaultCampaignTest : public DownloadFaultTest
{
protected:
    FaultCampaignTest() : DownloadFaultTest(withoutPauses()) {}
    static Timing withoutPauses()
    {
        Timing t = Timing{}.scaled(0.03);
        t.writePause = Millis(0);
        t.chunkPause = Millis(0);
        return t;
    }
};

// Every fault the emulator has, at chunks in the middle and at the end of a file above 1 MiB
// (the last one short and beyond the first MiB). Faults that count reports or replies hit the
// second chunk of the transfer, the others its first. The failure names the station's going
// exactly when it vanished. After the failure a resume completes the copy.
TEST_F(FaultCampaignTest, EveryFaultAtSeveralChunksEndsInAByteIdenticalCopy)
{
    const Millis late = timing.fileChunk * 11 / 6;
    const int second = ReportsPerChunk + 10; // a data report in the middle of the second chunk
    struct Fault
    {
        const char* what;
        std::function<void(EmulatedStation&)> arm;
        bool vanishes = false;
    };
    const Fault faults[] = {
        {"reports dropped", [](EmulatedStation& s) { s.dropReplies(3); }},
        {"replies delayed past the time-out",
         [&](EmulatedStation& s) { s.delayReplies(timing.fileChunk + 50ms); }},
        {"report duplicated", [](EmulatedStation& s) { s.duplicateNextReply(); }},
        {"report garbled", [](EmulatedStation& s) { s.corruptNextReply(); }},
        {"station mute", [](EmulatedStation& s) { s.setMuted(true); }},
        {"unplug on the request", [](EmulatedStation& s) { s.unplugOnReport(2); }, true},
        {"unplug after some replies", [&](EmulatedStation& s) { s.unplugAfterReplies(second); },
         true},
        {"unasked report",
         [](EmulatedStation& s) {
             s.sendUnasked(Payload{'{', 'z', '}'});
         }},
        {"busy screen", [](EmulatedStation& s) { s.setScreenBusy(true); }},
        {"end of chunk lost", [](EmulatedStation& s) { s.dropChunkEnd(2); }},
        {"end of chunk doubled", [](EmulatedStation& s) { s.duplicateChunkEnd(2); }},
        {"data report garbled", [&](EmulatedStation& s) { s.corruptDataReport(second); }},
        {"data report without brace",
         [&](EmulatedStation& s) {
             s.replaceDataReport(second, Payload{'{', 'a', 'b'});
         }},
        {"end report with more text",
         [&](EmulatedStation& s) {
             s.replaceDataReport(second, Payload{'{', '@', 'x', '}'});
         }},
        {"unplug at a data report", [&](EmulatedStation& s) { s.unplugAtDataReport(second); },
         true},
        {"chunk answered late", [&](EmulatedStation& s) { s.delayChunk(2, late); }},
        {"chunk answered slowly",
         [&](EmulatedStation& s) { s.trickleChunk(2, timing.fileChunk / 2); }},
    };
    const std::string content = logContent((1 << 20) + 1000); // chunks 0 to 256
    station->putFile("big.csv", content);
    list();
    for (const std::size_t chunk : {128u, 255u, 256u}) {
        for (const Fault& fault : faults) {
            SCOPED_TRACE(std::string(fault.what) + " at chunk " + std::to_string(chunk));
            writeFile(copyOf("big.csv"), content.substr(0, (chunk - 1) * Chunk));
            fault.arm(*station);
            const bool whole = fetchWholeOrTold(content);
            if (!whole) {
                EXPECT_EQ(messages.texts().back(), fault.vanishes
                                                       ? texts.Text(TextId::FileErrors) + u'\n' +
                                                             texts.Text(TextId::StationWentAway)
                                                       : texts.Text(TextId::FileErrors));
            }
            station->clearFaults();
            station->setScreenBusy(false);
            replugIfGone();
            if (!whole)
                resumeUntilWhole(content);
        }
    }
}

// Holds the end of the last chunk on the reader thread, so that it is taken just before the
// requester's wait runs out and told just after, or taken only once the requester gave up.
class EndAtTheDeadline final : public FileDataSink
{
public:
    EndAtTheDeadline(FileDataSink& inner, HidLink& link, RecordingMessages& messages,
                     bool afterGivingUp)
        : m_inner(inner), m_link(link), m_messages(messages), m_afterGivingUp(afterGivingUp),
          m_told(messages.texts().size())
    {
    }
    void onFileData(std::string_view text) override { m_inner.onFileData(text); }
    bool onChunkEnd() override
    {
        if (++m_ends < 3)
            return m_inner.onChunkEnd();
        if (m_afterGivingUp) {
            for (int i = 0; i < 5000 && m_messages.texts().size() == m_told; ++i)
                std::this_thread::sleep_for(1ms);
            return m_inner.onChunkEnd();
        }
        const bool last = m_inner.onChunkEnd();
        // The wait ends by its time-out, which leaves the event signalled.
        m_link.ReplyEvent().waitFor(5s);
        return last;
    }

private:
    FileDataSink& m_inner;
    HidLink& m_link;
    RecordingMessages& m_messages;
    const bool m_afterGivingUp;
    const qsizetype m_told; // messages before the transfer
    int m_ends = 0;         // reader thread only
};

TEST_F(DownloadFaultTest, EndAtTheDeadlineGivesOneOutcome)
{
    const std::string content = logContent(10000);
    station->putFile("20261201.csv", content);
    list();
    struct Case
    {
        const char* what;
        bool afterGivingUp;
        bool complete;
        std::string copy;
    };
    const Case cases[] = {
        {"taken before the deadline, told after it", false, true, content},
        {"taken after the requester gave up", true, false, content.substr(0, 2 * Chunk)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(copyOf("20261201.csv"));
        EndAtTheDeadline holding(receiver, link, messages, c.afterGivingUp);
        router.setFileDataSink(&holding);
        const int completeBefore = observer.complete();
        const int messagesBefore = messages.texts().size();
        fetch("20261201.csv");
        router.setFileDataSink(&receiver);
        EXPECT_EQ(observer.complete() - completeBefore, c.complete ? 1 : 0);
        EXPECT_EQ(messages.texts().size() - messagesBefore, c.complete ? 0 : 1);
        EXPECT_TRUE(readFile(copyOf("20261201.csv")) == c.copy);
        ASSERT_FALSE(imported().empty());
        EXPECT_TRUE(imported().back() == c.copy);
    }
}

class RealTimingFaultTest : public DownloadFaultTest
{
protected:
    RealTimingFaultTest() : DownloadFaultTest(Timing{}) {}
};

// After an unanswered request the next one first waits seconds for a quiet line; closing the
// dialog does not wait with it.
TEST_F(RealTimingFaultTest, StopDuringTheWaitForAQuietLineIsQuick)
{
    station->putFile("big.csv", logContent(10000));
    list();
    station->setMuted(true);
    EXPECT_TRUE(link.Exchange(CommandFrame(Command::Live), RequestKind::Live, 10ms, 10ms));
    station->clearReceived();
    ASSERT_TRUE(download.start("big.csv", local()));
    std::this_thread::sleep_for(50ms);
    const auto start = std::chrono::steady_clock::now();
    download.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(station->received().empty()) << "no request after the stop";
}

// Passes every report on; right after the end of the second chunk the station sends one
// more data report, as a station would that answered a request twice.
class DataAfterTheSecondEnd final : public FileDataSink
{
public:
    DataAfterTheSecondEnd(FileDataSink& inner, EmulatedStation& station)
        : m_inner(inner), m_station(station)
    {
    }
    void onFileData(std::string_view text) override { m_inner.onFileData(text); }
    bool onChunkEnd() override
    {
        const bool last = m_inner.onChunkEnd();
        if (++m_ends == 2)
            m_station.sendUnasked(Payload{'{', 'z', '}'});
        return last;
    }

private:
    FileDataSink& m_inner;
    EmulatedStation& m_station;
    int m_ends = 0; // reader thread only
};

class StationPausedFaultTest : public DownloadFaultTest
{
protected:
    StationPausedFaultTest() : DownloadFaultTest(withStationPauses()) {}
};

TEST_F(StationPausedFaultTest, DataAfterAChunksEndTakesThatChunkBack)
{
    const std::string content = logContent(4 * Chunk);
    station->putFile("big.csv", content);
    list();
    DataAfterTheSecondEnd extra(receiver, *station);
    router.setFileDataSink(&extra);
    fetch("big.csv");
    router.setFileDataSink(&receiver);
    EXPECT_EQ(messages.texts(), QStringList{"This file errors"});
    EXPECT_TRUE(readFile(copyOf("big.csv")) == content.substr(0, Chunk))
        << "the second chunk's reports may have been another request's";
    EXPECT_EQ(observer.complete(), 0);
    fetch("big.csv");
    EXPECT_TRUE(readFile(copyOf("big.csv")) == content);
}

TEST_F(DownloadFaultTest, SelectWithoutAStationSaysUnconnectedAndChangesNothing)
{
    station->putFile("20261201.csv", logContent(100));
    list();
    ASSERT_TRUE(bus.unplug(Path));
    link.OnDeviceChange(DeviceChange::Removal);
    fetch("20261201.csv");
    EXPECT_EQ(messages.texts(), QStringList{"Unconnected"});
    EXPECT_FALSE(std::filesystem::exists(copyOf("20261201.csv")));
    EXPECT_TRUE(imported().empty());
    EXPECT_EQ(observer.ended(), 1);
}

QString diskFullMessage(const std::filesystem::path& copy)
{
    return QStringLiteral("The disk is full: the copy %1 could not be written (%2).")
        .arg(QString::fromStdString(copy.string()),
             QString::fromStdString(std::generic_category().message(ENOSPC)));
}

// A file system of a few pages of its own. Mounting needs the right to (root); without it
// the test is skipped and the device below still runs.
TEST_F(DownloadFaultTest, FullDiskSaysSoAndKeepsACleanPrefix)
{
    const std::filesystem::path disk = local() / "disk";
    std::filesystem::create_directory(disk);
    if (::mount("nimbra-test", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no right to mount a small file system here";
    struct Unmount
    {
        std::filesystem::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{disk};

    const std::string content = logContent(200000);
    station->putFile("big.csv", content);
    list();
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(download.start("big.csv", disk));
        download.wait();
        EXPECT_EQ(messages.texts().back(), diskFullMessage(disk / "big.csv"));
        const std::string copy = readFile(disk / "big.csv");
        EXPECT_GT(copy.size(), 0u);
        EXPECT_LT(copy.size(), content.size());
        EXPECT_EQ(copy.size() % Chunk, 0u);
        EXPECT_TRUE(isPrefix(copy, content));
    }
    EXPECT_EQ(observer.complete(), 0);
}

// A device that is always full, for every machine: the copy's name leads there. Nothing is
// imported from it (it reads as endless zeros).
TEST_F(DownloadFaultTest, CopyOnAFullDeviceSaysTheDiskIsFull)
{
    std::error_code error;
    std::filesystem::create_symlink("/dev/full", copyOf("big.csv"), error);
    if (error)
        GTEST_SKIP() << "no /dev/full here";
    station->putFile("big.csv", logContent(10000));
    list();
    DownloadThread toFullDevice{link,     receiver,
                                files,    messages,
                                observer, [](const std::filesystem::path&, const std::string&) {}};
    toFullDevice.setTexts(texts);
    ASSERT_TRUE(toFullDevice.start("big.csv", local()));
    toFullDevice.wait();
    EXPECT_EQ(messages.texts(), QStringList{diskFullMessage(copyOf("big.csv"))});
    EXPECT_EQ(observer.complete(), 0);
}

TEST(ProgressPosition, FollowsTheBytesAndStopsAtTheTopOfAnInt)
{
    const std::pair<std::uint64_t, int> cases[] = {
        {0, 0},
        {1, 1},
        {std::uint64_t{INT_MAX}, INT_MAX},
        {std::uint64_t{INT_MAX} + 1, INT_MAX},
        {UINT64_MAX, INT_MAX},
    };
    for (const auto& [bytes, position] : cases)
        EXPECT_EQ(ProgressPosition(bytes), position) << bytes;
}

} // namespace
} // namespace nimbra
