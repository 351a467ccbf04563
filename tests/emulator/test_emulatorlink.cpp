// The emulator behind the real link: what the rest of the program will see.
#include "emulatedbus.h"
#include "hidlink.h"
#include "replyrouter.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>

namespace nimbra {
namespace {

using namespace std::chrono_literals;

class ChunkCollector final : public FileDataSink
{
public:
    void onFileData(std::string_view text) override
    {
        std::lock_guard lock(m_mutex);
        m_content += text;
    }
    bool onChunkEnd() override { return true; }
    std::string content() const
    {
        std::lock_guard lock(m_mutex);
        return m_content;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_content; // guarded by m_mutex
};

class EmulatorLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bus.addOtherDevice("hid:mouse", 0x046D, 0xC077);
        station = bus.addStation("emulated:station-1");
        router.addScreenBusyReceiver(&screenBusy);
        router.setFileDataSink(&chunks);
        ASSERT_TRUE(link.Connect());
    }
    void TearDown() override { link.stop(); }

    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station;
    ReplyRouter router;
    ChunkCollector chunks;
    std::atomic<int> screenBusy{0};
    const Timing timing = Timing{}.scaled(0.05);
    HidLink link{bus, router, timing};
};

TEST_F(EmulatorLinkTest, LinkOpensTheStationTwiceAndGetsItsPages)
{
    EXPECT_EQ(bus.openCount("emulated:station-1"), 2);
    EXPECT_FALSE(link.Exchange(CommandFrame(Command::Settings), RequestKind::Settings,
                               timing.settings, timing.settings));
    Payload expected = station->state().settingsPage;
    expected[0] = static_cast<std::uint8_t>(Command::Settings);
    EXPECT_EQ(router.buffer().page(1), expected);
    EXPECT_FALSE(link.Exchange(CommandFrame(Command::Interval), RequestKind::Interval,
                               timing.interval, timing.interval));
    EXPECT_EQ(router.m_IntervalReply.load(), 10);
}

TEST_F(EmulatorLinkTest, GuardedWriteReachesTheStationOnlyOnItsMainScreen)
{
    const CommandFrame frames[] = {CommandFrame::language(false), CommandFrame::endOfWrite()};
    station->setScreenBusy(true);
    EXPECT_EQ(link.GuardedWrite(screenBusy, frames, timing.guardedFirst, timing.guardedFinal),
              WriteOutcome::ScreenBusy);
    EXPECT_EQ(station->state().language, 1);

    station->setScreenBusy(false);
    EXPECT_EQ(link.GuardedWrite(screenBusy, frames, timing.guardedFirst, timing.guardedFinal),
              WriteOutcome::Written);
    EXPECT_EQ(station->state().language, 0);
    EXPECT_EQ(station->state().endOfWrites, 1);
}

TEST_F(EmulatorLinkTest, ChunkArrivesWholeThroughTheReader)
{
    std::string file(5000, ' ');
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>('0' + i % 10);
    station->putFile("20261201.csv", file);
    station->setPacing(true);
    EXPECT_FALSE(link.Exchange(CommandFrame::fileChunk("20261201.csv", 904, 5000),
                               RequestKind::FileData, timing.fileChunk, 3000ms));
    EXPECT_EQ(chunks.content(), file.substr(904));
}

TEST_F(EmulatorLinkTest, SilentStationTimesTheExchangeOut)
{
    station->setMuted(true);
    EXPECT_TRUE(
        link.Exchange(CommandFrame(Command::Live), RequestKind::Live, timing.live, timing.live));
}

} // namespace
} // namespace nimbra
