#include "busfixture.h"
#include "makebus.h"

#include <atomic>
#include <functional>
#include <future>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using test::BusTest;
using test::ChangeRecorder;
using test::reportOf;
using test::since;
using test::SteadyClock;

std::vector<std::string> paths(const std::vector<HidInterfaceInfo>& list)
{
    std::vector<std::string> out;
    for (const auto& info : list)
        out.push_back(info.path);
    return out;
}

TEST(EmulatedBus, ListsDevicesInOrderAndOpensOnlyStations)
{
    EmulatedBus bus;
    bus.addOtherDevice("hid:mouse", 0x046D, 0xC077);
    bus.addStation("emulated:station-1");
    bus.addOtherDevice("hid:keyboard", 0x04F2, 0x0402);
    bus.addStation("emulated:station-2");
    EXPECT_FALSE(bus.addStation("emulated:station-1")) << "a path is taken once";

    const auto listed = bus.enumerate();
    EXPECT_EQ(paths(listed), (std::vector<std::string>{"hid:mouse", "emulated:station-1",
                                                       "hid:keyboard", "emulated:station-2"}));
    EXPECT_EQ(listed[0].vendorId, 0x046D);
    EXPECT_EQ(listed[1].vendorId, StationVendorId);
    EXPECT_EQ(listed[1].productId, StationProductId);

    OpenResult result = OpenResult::Opened;
    EXPECT_FALSE(bus.open("hid:mouse", &result));
    EXPECT_EQ(result, OpenResult::Failed);
    EXPECT_FALSE(bus.open("hid:nothing", &result));
    EXPECT_EQ(result, OpenResult::NotFound);
    bus.denyAccess("emulated:station-2");
    EXPECT_FALSE(bus.open("emulated:station-2", &result));
    EXPECT_EQ(result, OpenResult::PermissionDenied);
    EXPECT_TRUE(bus.open("emulated:station-1", &result));
    EXPECT_EQ(result, OpenResult::Opened);
    EXPECT_EQ(bus.openCount("emulated:station-1"), 1);
    EXPECT_EQ(bus.openCount("emulated:station-2"), 0);
}

TEST(EmulatedBus, SimulatedBusHasOneStationWithADemoCard)
{
    const auto bus = makeEmulatedBus();
    EXPECT_EQ(bus->stationKind(), StationKind::Emulated);
    EXPECT_EQ(paths(bus->enumerate()), std::vector<std::string>{EmulatedStationPath});
    EXPECT_GE(bus->station(EmulatedStationPath)->state().files.size(), 4u);
}

TEST_F(BusTest, RepliesGoToWhicheverHandleReads)
{
    ASSERT_TRUE(send(CommandFrame(Command::Settings)));
    const auto replies = readReports(1);
    ASSERT_EQ(replies.size(), 1u);
    Payload expected = station->state().settingsPage;
    expected[0] = static_cast<std::uint8_t>(Command::Settings);
    EXPECT_EQ(replies[0], expected);

    Payload payload{};
    EXPECT_EQ(writer->read(payload, 5ms), 0) << "the reply was taken once, by the reader";
    const auto log = station->received();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].payload(), CommandFrame(Command::Settings).bytes());
    EXPECT_EQ(log[0].outcome, ReportOutcome::Answered);
}

TEST_F(BusTest, WritesAreAppliedAndReadBackThroughTheBus)
{
    ASSERT_TRUE(send(CommandFrame::setInterval(30)));
    ASSERT_TRUE(send(CommandFrame(Command::Interval)));
    const auto replies = readReports(2, 50ms);
    ASSERT_EQ(replies.size(), 1u) << "the write is not answered";
    EXPECT_EQ(replies[0][1], 30);
    EXPECT_EQ(station->state().intervalMinutes, 30);
}

TEST_F(BusTest, ReadWaitsForTheTimeOutWhenNothingIsQueued)
{
    Payload payload{};
    const auto start = SteadyClock::now();
    EXPECT_EQ(reader->read(payload, 30ms), 0);
    EXPECT_GE(since(start), 29ms);
}

TEST_F(BusTest, UnplugKillsHandlesAndReplugNeedsNewOnes)
{
    ASSERT_TRUE(send(CommandFrame::setInterval(60)));
    ASSERT_TRUE(send(CommandFrame(Command::Live)));
    ASSERT_TRUE(bus.unplug(Path));
    EXPECT_FALSE(bus.unplug(Path));
    EXPECT_EQ(changes.changes(),
              (std::vector<DeviceChange>{DeviceChange::Arrival, DeviceChange::Removal}));
    EXPECT_EQ(changes.threads().back(), std::this_thread::get_id());

    Payload payload{};
    EXPECT_EQ(reader->read(payload, 10ms), -1) << "a queued reply dies with the device";
    EXPECT_FALSE(send(CommandFrame(Command::Live)));
    EXPECT_TRUE(bus.enumerate().empty());
    OpenResult result = OpenResult::Opened;
    EXPECT_FALSE(bus.open(Path, &result));
    EXPECT_EQ(result, OpenResult::NotFound);

    ASSERT_TRUE(bus.plug(Path));
    EXPECT_EQ(changes.changes().back(), DeviceChange::Arrival);
    EXPECT_EQ(reader->read(payload, 10ms), -1) << "handles of the earlier plug-in stay dead";
    reader = bus.open(Path, nullptr);
    writer = bus.open(Path, nullptr);
    ASSERT_TRUE(send(CommandFrame(Command::Interval)));
    const auto replies = readReports(1);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0][1], 60) << "the station keeps its settings over a re-plug";
}

TEST_F(BusTest, UnplugWakesABlockedReader)
{
    auto blocked = std::async(std::launch::async, [&] {
        Payload payload{};
        const auto start = SteadyClock::now();
        const int n = reader->read(payload, 5000ms);
        return std::make_pair(n, since(start));
    });
    std::this_thread::sleep_for(20ms);
    bus.unplug(Path);
    const auto [n, waited] = blocked.get();
    EXPECT_EQ(n, -1);
    EXPECT_LT(waited, 2000ms);
}

TEST_F(BusTest, DroppedRepliesNeverArrive)
{
    station->dropReplies(2);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(send(CommandFrame(Command::Interval)));
    EXPECT_EQ(readReports(3, 30ms).size(), 1u);
}

TEST_F(BusTest, DelayedReplyArrivesAfterTheDelay)
{
    station->delayReplies(80ms);
    const auto start = SteadyClock::now();
    ASSERT_TRUE(send(CommandFrame(Command::Interval)));
    Payload payload{};
    EXPECT_EQ(reader->read(payload, 20ms), 0);
    EXPECT_EQ(reader->read(payload, 1000ms), int(PayloadSize));
    EXPECT_GE(since(start), 79ms);
    EXPECT_EQ(payload[0], static_cast<std::uint8_t>(Command::Interval));
}

TEST_F(BusTest, DuplicatedReplyArrivesTwice)
{
    station->duplicateNextReply();
    ASSERT_TRUE(send(CommandFrame(Command::Settings)));
    ASSERT_TRUE(send(CommandFrame(Command::Interval)));
    const auto replies = readReports(4, 30ms);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0], replies[1]);
    EXPECT_EQ(replies[2][0], static_cast<std::uint8_t>(Command::Interval));
}

TEST_F(BusTest, CorruptedReplyIsGarbledOnce)
{
    ASSERT_TRUE(send(CommandFrame(Command::Settings)));
    const Payload good = readReports(1).at(0);
    station->corruptNextReply();
    ASSERT_TRUE(send(CommandFrame(Command::Settings)));
    ASSERT_TRUE(send(CommandFrame(Command::Settings)));
    const auto replies = readReports(2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_NE(replies[0], good);
    EXPECT_EQ(replies[1], good);
}

TEST_F(BusTest, MutedStationHearsButNeverAnswers)
{
    station->setMuted(true);
    ASSERT_TRUE(send(CommandFrame(Command::Live)));
    ASSERT_TRUE(send(CommandFrame::setInterval(15)));
    EXPECT_TRUE(readReports(1, 30ms).empty());
    EXPECT_EQ(station->received().size(), 2u);
    EXPECT_EQ(station->state().intervalMinutes, 15) << "a mute station still takes writes";
    station->setMuted(false);
    ASSERT_TRUE(send(CommandFrame(Command::Live)));
    EXPECT_EQ(readReports(1).size(), 1u);
}

TEST_F(BusTest, BusyScreenRefusesWritesThroughTheBus)
{
    station->setScreenBusy(true);
    ASSERT_TRUE(send(CommandFrame(Command::ScreenCheck)));
    ASSERT_TRUE(send(CommandFrame::language(false)));
    ASSERT_TRUE(send(CommandFrame(Command::EndOfWrite)));
    EXPECT_EQ(readReports(1).at(0)[1], 1);
    EXPECT_EQ(station->state().language, 1);
    const auto log = station->received();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].outcome, ReportOutcome::Refused);
    EXPECT_EQ(log[2].outcome, ReportOutcome::Applied);
}

TEST_F(BusTest, UnplugOnTheNthReportIsToldFromTheBusThread)
{
    station->unplugOnReport(3);
    EXPECT_TRUE(send(CommandFrame(Command::Live)));
    EXPECT_TRUE(send(CommandFrame(Command::Live)));
    EXPECT_FALSE(send(CommandFrame(Command::Live))) << "the third report finds no device";

    Payload payload{};
    EXPECT_EQ(reader->read(payload, 10ms), -1);
    EXPECT_TRUE(bus.enumerate().empty());
    EXPECT_FALSE(bus.isPlugged(Path));
    ASSERT_TRUE(changes.waitFor(2));
    EXPECT_EQ(changes.changes().back(), DeviceChange::Removal);
    EXPECT_NE(changes.threads().back(), std::this_thread::get_id());
    const auto log = station->received();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.back().outcome, ReportOutcome::Unplugged);

    EXPECT_TRUE(bus.plug(Path));
    EXPECT_TRUE(bus.open(Path, nullptr)) << "an injected unplug can be undone like any other";
}

TEST_F(BusTest, UnplugInTheMiddleOfAChunk)
{
    station->putFile("20261201.csv", std::string(10000, 'x'));
    station->unplugAfterReplies(10);
    ASSERT_TRUE(send(CommandFrame::fileChunk("20261201.csv", 0, 4096)));
    EXPECT_EQ(readReports(100).size(), 10u);
    Payload payload{};
    EXPECT_EQ(reader->read(payload, 10ms), -1);
    EXPECT_TRUE(changes.waitFor(2));
}

// Faults aimed at one report of a chunk reply; the file of 10000 bytes gives 67 data reports
// and "{@}" per 4096-byte chunk.
TEST_F(BusTest, FaultsAimedAtSingleReportsOfAChunk)
{
    const Payload crafted{'{', '@', 'x', '}'};
    struct Case
    {
        const char* name;
        std::function<void(EmulatedStation&)> arm;
        std::size_t secondChunkReports;
        int changedReport; // index into the second chunk whose bytes differ, -1 for none
        bool unplugged;
    };
    const Case cases[] = {
        {"drop end of chunk 2", [](EmulatedStation& s) { s.dropChunkEnd(2); }, 67, -1, false},
        {"duplicate end of chunk 2", [](EmulatedStation& s) { s.duplicateChunkEnd(2); }, 69, -1,
         false},
        {"corrupt data report 70", [](EmulatedStation& s) { s.corruptDataReport(70); }, 68, 2,
         false},
        {"crafted data report 68", [&](EmulatedStation& s) { s.replaceDataReport(68, crafted); },
         68, 0, false},
        {"unplug at data report 72", [](EmulatedStation& s) { s.unplugAtDataReport(72); }, 4, -1,
         true},
    };
    station->putFile("20261201.csv", std::string(10000, 'x'));
    const std::vector<Payload> clean = [&] {
        send(CommandFrame::fileChunk("20261201.csv", 4096, 8192));
        return readReports(100, 20ms);
    }();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arm(*station);
        send(CommandFrame::fileChunk("20261201.csv", 0, 4096));
        EXPECT_EQ(readReports(100, 20ms).size(), 68u);
        send(CommandFrame::fileChunk("20261201.csv", 4096, 8192));
        const std::vector<Payload> second = readReports(100, 20ms);
        EXPECT_EQ(second.size(), c.secondChunkReports);
        for (std::size_t i = 0; i < std::min(second.size(), clean.size()); ++i) {
            EXPECT_EQ(second[i] != clean[i], int(i) == c.changedReport) << i;
        }
        if (c.changedReport == 0) {
            EXPECT_EQ(second[0], crafted);
        }
        if (c.unplugged) {
            Payload payload{};
            EXPECT_EQ(reader->read(payload, 10ms), -1);
            ASSERT_TRUE(bus.plug(Path));
            reader = bus.open(Path, nullptr);
            writer = bus.open(Path, nullptr);
        }
    }
}

// A chunk reply is held back whole or spread out over time; the replies around it are not.
TEST_F(BusTest, ChunkReplyHeldBackOrTrickling)
{
    station->putFile("20261201.csv", std::string(10000, 'x'));
    station->delayChunk(2, 150ms);
    station->trickleChunk(3, 100ms);
    auto request = [&] {
        const auto asked = SteadyClock::now();
        EXPECT_TRUE(send(CommandFrame::fileChunk("20261201.csv", 0, 4096)));
        return asked;
    };
    request();
    EXPECT_EQ(readReports(68, 50ms).size(), 68u) << "the first reply at once";

    auto asked = request();
    EXPECT_TRUE(readReports(1, 100ms).empty());
    EXPECT_EQ(readReports(68).size(), 68u);
    EXPECT_GE(since(asked), 149ms) << "the second all at once, late";

    asked = request();
    Payload payload{};
    EXPECT_EQ(reader->read(payload, 50ms), int(PayloadSize)) << "the third begins at once";
    EXPECT_EQ(readReports(67).size(), 67u);
    EXPECT_GE(since(asked), 99ms) << "and ends after its whole duration";
    EXPECT_EQ(payload[1], 'x');

    request();
    EXPECT_EQ(readReports(68, 50ms).size(), 68u) << "the fourth at once again";
}

TEST_F(BusTest, UnaskedReportArrivesWithoutARequest)
{
    const Payload unasked{'{', 'z', '}'};
    station->sendUnasked(unasked);
    const auto reports = readReports(2, 20ms);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], unasked);
}

TEST_F(BusTest, PacingDeliversAtMostOneReportPerMillisecond)
{
    station->putFile("20261201.csv", std::string(10000, 'x'));
    station->setPacing(true);
    const auto start = SteadyClock::now();
    ASSERT_TRUE(send(CommandFrame::fileChunk("20261201.csv", 0, 4096)));
    const auto replies = readReports(68);
    const Millis took = since(start);
    EXPECT_EQ(replies.size(), 68u) << "67 data reports and the end report";
    EXPECT_GE(took, Millis(replies.size() - 1));
    EXPECT_TRUE(readReports(1, 5ms).empty());
}

// Requesters, the reader, fault switches and device changes all at once: the point is a
// clean run under ThreadSanitizer and no lost or invented report.
TEST_F(BusTest, ConcurrentUseIsSafe)
{
    constexpr int PerWriter = 150;
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread readerThread([&] {
        Payload payload{};
        while (!stop.load()) {
            const int n = reader->read(payload, 2ms);
            if (n < 0)
                break;
            delivered += n > 0;
        }
    });
    auto requester = [&](Command code) {
        for (int i = 0; i < PerWriter; ++i)
            send(CommandFrame(code));
    };
    std::thread first(requester, Command::Live);
    std::thread second(requester, Command::Settings);
    for (int i = 0; i < 20; ++i) {
        station->duplicateNextReply();
        station->delayReplies(Millis(i % 3));
        station->setPacing(i % 2 == 0);
        (void)station->state();
        (void)bus.enumerate();
    }
    first.join();
    second.join();
    station->clearFaults();
    while (station->queuedReplies() > 0)
        std::this_thread::sleep_for(1ms);
    stop = true;
    readerThread.join();
    EXPECT_GE(delivered.load(), 2 * PerWriter);
    EXPECT_LE(delivered.load(), 2 * PerWriter + 20);
    EXPECT_EQ(station->received().size(), std::size_t(2 * PerWriter));

    std::thread unplugger([&] { bus.unplug(Path); });
    unplugger.join();
    Payload payload{};
    EXPECT_EQ(reader->read(payload, 1ms), -1);
}

} // namespace
} // namespace nimbra
