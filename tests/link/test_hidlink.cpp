#include "hidlink.h"
#include "scriptedtransport.h"

#include <future>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::payloadOf;
using test::ScriptedTransport;
using test::TimedReply;

struct RecordingLinkObserver final : LinkObserver
{
    std::atomic<int> found{0};
    std::atomic<int> lost{0};
    std::atomic<int> denied{0};
    std::atomic<int> broken{0};
    void stationFound() override { ++found; }
    void stationLost() override { ++lost; }
    void accessDenied(const std::string&) override { ++denied; }
    void linkBroken() override { ++broken; }
};

// Answers every page request with a page that starts with the command code and a serial.
ScriptedTransport::Responder pagesAnswer(Millis delay = 0ms)
{
    auto serial = std::make_shared<std::atomic<int>>(0);
    return [serial, delay](const Payload& command) -> std::vector<TimedReply> {
        const std::uint8_t code = command[1];
        if (code == 0x51)
            return {{payloadOf({0x51, 0}), delay}};
        if (code >= 0x10 && code != 0x41)
            return {};
        return {{payloadOf({code, std::uint8_t(++*serial), 0xEE}), delay}};
    };
}

ScriptedTransport::Responder silent()
{
    return [](const Payload&) { return std::vector<TimedReply>{}; };
}

Millis since(Clock::time_point start)
{
    return std::chrono::duration_cast<Millis>(Clock::now() - start);
}

class HidLinkTest : public ::testing::Test
{
protected:
    HidLinkTest() { link.setObserver(&observer); }

    // A live exchange on its own thread that waits long for its reply; yields how long it took.
    std::future<Millis> longExchange()
    {
        return std::async(std::launch::async, [this] {
            const auto start = Clock::now();
            link.Exchange(CommandFrame(Command::Live), RequestKind::Live, 1s, 10s);
            return since(start);
        });
    }

    ScriptedTransport bus;
    ReplyRouter router;
    const Timing timing = Timing{}.scaled(0.05);
    RecordingLinkObserver observer;
    HidLink link{bus, router, timing};
};

TEST_F(HidLinkTest, FirstStationInEnumerationOrderWins)
{
    bus.add("mouse", 0x046D, 0xC077);
    bus.addStation("A");
    bus.addStation("B");
    EXPECT_TRUE(link.Connect());
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(bus.openedPaths(), (std::vector<std::string>{"A", "A"})) << "read and write handle";
}

TEST_F(HidLinkTest, NoStationMeansUnconnectedAndNothingWritten)
{
    bus.add("keyboard", 0x04F2, 0x0402);
    EXPECT_FALSE(link.Connect());
    EXPECT_FALSE(link.SendReport(CommandFrame(Command::Live)));
    EXPECT_TRUE(bus.written("keyboard").empty());
    EXPECT_TRUE(bus.openedPaths().empty());
}

TEST_F(HidLinkTest, PlugAndUnplugSequences)
{
    bus.addStation("A", pagesAnswer());
    bus.addStation("B", pagesAnswer());
    ASSERT_TRUE(link.Connect());

    bus.unplug("B"); // the other station: the search runs again and opens A again
    link.OnDeviceChange(DeviceChange::Removal);
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(bus.openCount("A"), 4);
    EXPECT_EQ(observer.found.load(), 1);

    bus.addStation("B", pagesAnswer());
    link.OnDeviceChange(DeviceChange::Arrival); // arrival while connected: no search
    EXPECT_EQ(bus.openCount("B"), 0);

    bus.unplug("A"); // the opened one: B takes over, still connected
    link.OnDeviceChange(DeviceChange::Removal);
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(bus.openCount("B"), 2);
    EXPECT_FALSE(link.Exchange(CommandFrame(Command::Live), RequestKind::Live, 1s, 2s));
    EXPECT_EQ(router.buffer().page(0)[0], 0x03);

    bus.add("mouse", 0x046D, 0xC077);
    bus.unplug("mouse"); // any other HID removal re-runs the search
    link.OnDeviceChange(DeviceChange::Removal);
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(bus.openCount("B"), 4);

    bus.unplug("B");
    link.OnDeviceChange(DeviceChange::Removal);
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(observer.lost.load(), 1);
    Page ff;
    ff.fill(0xFF);
    EXPECT_EQ(router.buffer().page(0), ff);

    bus.add("mouse", 0x046D, 0xC077); // other device while unconnected: nothing found
    link.OnDeviceChange(DeviceChange::Arrival);
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(observer.lost.load(), 2);
}

TEST_F(HidLinkTest, ExchangeStoresReplyAndReturnsToIdle)
{
    bus.addStation("A", pagesAnswer());
    ASSERT_TRUE(link.Connect());
    const auto start = Clock::now();
    EXPECT_FALSE(link.Exchange(CommandFrame(Command::Settings), RequestKind::Settings, 5s, 5s));
    EXPECT_LT(since(start), 2s) << "a reply ends the wait";
    EXPECT_EQ(router.buffer().page(1)[0], 0x04);
    EXPECT_EQ(link.requestKind(), RequestKind::Idle);
    EXPECT_TRUE(link.ReplyEvent().isSet()) << "idle means signalled";
    const auto sent = bus.written("A");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], CommandFrame(Command::Settings).bytes());
}

TEST_F(HidLinkTest, StationThatNeverAnswersRunsEveryWaitToItsEnd)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    router.buffer().store(0, payloadOf({0x77}).data(), 1);
    const auto start = Clock::now();
    EXPECT_TRUE(
        link.Exchange(CommandFrame(Command::Live), RequestKind::Live, timing.live, timing.live));
    EXPECT_GE(since(start), timing.live);
    EXPECT_EQ(router.buffer().page(0)[0], 0x77) << "the stale page stays";
    EXPECT_EQ(link.requestKind(), RequestKind::Live) << "an unanswered kind stays in place";
    EXPECT_TRUE(link.ReplyEvent().isSet());
}

TEST_F(HidLinkTest, LateReplyLandsUnderItsOwnKindAndAnswersNoLaterRequest)
{
    bus.addStation("A", pagesAnswer(300ms));
    ASSERT_TRUE(link.Connect());

    // Own kind still pending: the late reply overwrites its own page.
    EXPECT_TRUE(link.Exchange(CommandFrame(Command::Live), RequestKind::Live, 1s, 20ms));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(router.buffer().page(0)[0], 0x03);
    EXPECT_EQ(link.requestKind(), RequestKind::Idle);

    // The next request waits for the line to go quiet: the late live reply still lands as
    // live readings and is never taken for the calibration page.
    bus.setResponder("A", [](const Payload& command) -> std::vector<TimedReply> {
        if (command[1] == 0x03)
            return {{payloadOf({0x03, 0x99}), 200ms}};
        return {};
    });
    EXPECT_TRUE(link.Exchange(CommandFrame(Command::Live), RequestKind::Live, 1s, 20ms));
    EXPECT_TRUE(
        link.Exchange(CommandFrame(Command::Calibration), RequestKind::Calibration, 1s, 100ms))
        << "the stray reply is no answer";
    EXPECT_EQ(router.buffer().page(0)[1], 0x99);
    EXPECT_EQ(router.buffer().page(2), Page{});
    EXPECT_EQ(bus.written("A").size(), 3u);
}

// A reply that never ends keeps the line busy: while it goes on, no request is sent, so none
// of its reports can pass for the answer to a new one.
TEST_F(HidLinkTest, LineThatNeverGoesQuietGetsNoRequest)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    EXPECT_TRUE(link.Exchange(CommandFrame(Command::FileList), RequestKind::FileList,
                              timing.fileListBefore, timing.fileListAfter));
    for (int i = 0; i < 100; ++i)
        bus.inject("A", test::textPayload("LINE.CSV 1"), timing.live / 10 * i);
    const auto start = Clock::now();
    EXPECT_TRUE(
        link.Exchange(CommandFrame(Command::Live), RequestKind::Live, timing.live, timing.live));
    EXPECT_LT(since(start), timing.live * 4) << "the wait is bounded";
    EXPECT_EQ(bus.written("A").size(), 1u) << "only the list request went out";
}

TEST_F(HidLinkTest, ReportsWhileNoReplyChangeNothing)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    link.setRequestKind(RequestKind::NoReply);
    link.ReplyEvent().reset();
    Payload junk;
    junk.fill(0x42);
    bus.inject("A", junk);
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(link.ReplyEvent().isSet());
    EXPECT_EQ(link.requestKind(), RequestKind::NoReply);
    for (int p = 0; p < ReplyBuffer::PageCount; ++p)
        EXPECT_EQ(router.buffer().page(p), Page{});
    link.ReplyEvent().set();
}

TEST_F(HidLinkTest, UnplugDuringExchangeEndsTheWaitAtOnce)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    auto exchange = longExchange();
    std::this_thread::sleep_for(100ms);
    bus.unplug("A");
    link.OnDeviceChange(DeviceChange::Removal);
    EXPECT_LT(exchange.get(), 3s);
    Page ff;
    ff.fill(0xFF);
    EXPECT_EQ(router.buffer().page(0), ff);
    EXPECT_FALSE(link.Connected());
}

TEST_F(HidLinkTest, BrokenReadEndsTheWaitAndTellsTheOwner)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    auto exchange = longExchange();
    std::this_thread::sleep_for(100ms);
    bus.unplug("A"); // no device notification at all
    EXPECT_LT(exchange.get(), 3s);
    EXPECT_EQ(observer.broken.load(), 1);
    EXPECT_FALSE(link.SendReport(CommandFrame(Command::Live))) << "a dead opening";
}

// A requester that failed asks whether the station went away: a silent station did not, an
// unplugged one did from its first failed write, before any device change is told.
TEST_F(HidLinkTest, StationGoneOnlyForAVanishedDeviceAndAtOnce)
{
    EXPECT_TRUE(link.stationGone()) << "never connected";
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    EXPECT_TRUE(link.Exchange(CommandFrame(Command::Live), RequestKind::Live, 1s, 50ms));
    EXPECT_FALSE(link.stationGone()) << "a silent station is still there";
    bus.unplug("A"); // no device notification at all
    EXPECT_FALSE(link.SendReport(CommandFrame(Command::Live)));
    EXPECT_TRUE(link.stationGone());
    EXPECT_TRUE(link.Connected()) << "the owner has not run its device change yet";
    std::this_thread::sleep_for(3 * timing.readTimeout);
    EXPECT_EQ(observer.broken.load(), 1) << "told once, whether the write or the read saw it";
    link.OnDeviceChange(DeviceChange::Removal);
    EXPECT_TRUE(link.stationGone());
}

TEST_F(HidLinkTest, TwoRequestersNeverCrossTheirReplies)
{
    bus.addStation("A", pagesAnswer(5ms));
    ASSERT_TRUE(link.Connect());
    auto requester = [this](Command command, RequestKind kind, int page) {
        int crossed = 0;
        int timedOut = 0;
        for (int i = 0; i < 25; ++i) {
            timedOut += link.Exchange(CommandFrame(command), kind, 2s, 2s);
            crossed += router.buffer().page(page)[0] != static_cast<std::uint8_t>(command);
        }
        return std::pair{crossed, timedOut};
    };
    auto poll = std::async(std::launch::async, requester, Command::Live, RequestKind::Live, 0);
    auto dialog =
        std::async(std::launch::async, requester, Command::Settings, RequestKind::Settings, 1);
    EXPECT_EQ(poll.get(), std::pair(0, 0));
    EXPECT_EQ(dialog.get(), std::pair(0, 0));
}

TEST_F(HidLinkTest, WritesFromTwoThreadsKeepEachRequestersOrder)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    auto writer = [this](std::uint8_t who) {
        for (std::uint8_t i = 0; i < 40; ++i) {
            const std::uint8_t params[] = {who, i};
            link.SendReport(CommandFrame(Command::WriteSettings, params));
        }
    };
    auto a = std::async(std::launch::async, writer, std::uint8_t(1));
    auto b = std::async(std::launch::async, writer, std::uint8_t(2));
    a.get();
    b.get();
    const auto sent = bus.written("A");
    ASSERT_EQ(sent.size(), 80u);
    int next[3] = {0, 0, 0};
    for (const Payload& p : sent) {
        ASSERT_EQ(p[0], 0x7B);
        ASSERT_EQ(p[4], 0x40) << "a report was torn";
        ASSERT_EQ(p[3], next[p[2]]++) << "order of requester " << int(p[2]);
    }
}

class GuardedWriteTest : public HidLinkTest
{
protected:
    void stationScreen(std::uint8_t busyByte, Millis delay)
    {
        bus.setResponder("A", [=](const Payload& command) -> std::vector<TimedReply> {
            if (command[1] == 0x51)
                return {{payloadOf({0x51, busyByte}), delay}};
            return {};
        });
    }
    std::vector<std::uint8_t> codesSent() const
    {
        std::vector<std::uint8_t> codes;
        for (const Payload& p : bus.written("A"))
            codes.push_back(p[1]);
        return codes;
    }
    WriteOutcome write()
    {
        const CommandFrame frames[] = {
            CommandFrame(Command::WriteAlarmSwitches), CommandFrame(Command::WriteTempLimits),
            CommandFrame(Command::WriteHumiLimits), CommandFrame::endOfWrite()};
        return link.GuardedWrite(screenBusy, frames, timing.guardedFirst, timing.guardedFinal);
    }

    std::atomic<int> screenBusy{0};
};

TEST_F(GuardedWriteTest, MainScreenGetsEveryFrameInOrder)
{
    bus.addStation("A");
    router.addScreenBusyReceiver(&screenBusy);
    ASSERT_TRUE(link.Connect());
    stationScreen(0, 0ms);
    EXPECT_EQ(write(), WriteOutcome::Written);
    EXPECT_EQ(codesSent(), (std::vector<std::uint8_t>{0x51, 0x12, 0x14, 0x15, 0x2F}));
    EXPECT_EQ(link.requestKind(), RequestKind::NoReply);
    EXPECT_TRUE(link.ReplyEvent().isSet());
}

TEST_F(GuardedWriteTest, BusyScreenStopsAfterTheCheck)
{
    bus.addStation("A");
    router.addScreenBusyReceiver(&screenBusy);
    ASSERT_TRUE(link.Connect());
    stationScreen(1, 0ms);
    EXPECT_EQ(write(), WriteOutcome::ScreenBusy);
    EXPECT_EQ(codesSent(), (std::vector<std::uint8_t>{0x51}));
    EXPECT_EQ(screenBusy.load(), 1);
}

TEST_F(GuardedWriteTest, ReplyTooLateLeavesThePreviousValueInCharge)
{
    bus.addStation("A");
    router.addScreenBusyReceiver(&screenBusy);
    ASSERT_TRUE(link.Connect());
    const Millis late = std::max(timing.screenCheck, timing.guardedFinal) * 4;

    screenBusy = 1;
    stationScreen(0, late);
    EXPECT_EQ(write(), WriteOutcome::ScreenBusy);

    std::this_thread::sleep_for(late * 2);
    EXPECT_EQ(screenBusy.load(), 0) << "the late reply still lands";
    stationScreen(1, late);
    EXPECT_EQ(write(), WriteOutcome::Written);
}

TEST_F(GuardedWriteTest, UnplugAfterTheScreenCheckIsNoSuccess)
{
    bus.addStation("A");
    router.addScreenBusyReceiver(&screenBusy);
    ASSERT_TRUE(link.Connect());
    // The station takes the check, then vanishes before its answer and the data frames.
    bus.setResponder("A", [this](const Payload& command) -> std::vector<TimedReply> {
        if (command[1] == 0x51)
            bus.unplug("A");
        return {};
    });
    EXPECT_EQ(write(), WriteOutcome::Unconnected);
    EXPECT_EQ(codesSent(), (std::vector<std::uint8_t>{0x51}));
    EXPECT_TRUE(link.ReplyEvent().isSet());
}

TEST_F(GuardedWriteTest, NoStationSendsNothingAndSaysSo)
{
    router.addScreenBusyReceiver(&screenBusy);
    ASSERT_FALSE(link.Connect());
    EXPECT_EQ(write(), WriteOutcome::Unconnected);
    EXPECT_TRUE(link.ReplyEvent().isSet());
}

TEST_F(HidLinkTest, WriteSaysWhetherTheFrameWentOut)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    EXPECT_TRUE(link.Write(CommandFrame::setInterval(30), 1s, timing.setInterval));
    EXPECT_EQ(link.requestKind(), RequestKind::NoReply);
    bus.unplug("A");
    EXPECT_FALSE(link.Write(CommandFrame::setInterval(40), 1s, timing.setInterval));
    EXPECT_EQ(bus.written("A").size(), 1u);
    EXPECT_TRUE(link.ReplyEvent().isSet());
}

TEST_F(HidLinkTest, RefusedAccessIsToldOnce)
{
    bus.addStation("A");
    bus.denyAccess("A");
    EXPECT_FALSE(link.Connect());
    EXPECT_FALSE(link.Connect());
    EXPECT_EQ(observer.denied.load(), 1);
    EXPECT_FALSE(link.Connected());
}

TEST_F(HidLinkTest, StopEndsARunningWaitAndLaterExchangesDoNotWait)
{
    bus.addStation("A", silent());
    ASSERT_TRUE(link.Connect());
    auto exchange = longExchange();
    std::this_thread::sleep_for(100ms);
    link.stop();
    EXPECT_LT(exchange.get(), 2s);
    const auto start = Clock::now();
    EXPECT_TRUE(link.Exchange(CommandFrame(Command::Live), RequestKind::Live, 10s, 10s));
    EXPECT_LT(since(start), 2s);
}

} // namespace
} // namespace nimbra
