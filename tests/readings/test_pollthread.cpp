#include "pollthread.h"
#include "scriptedtransport.h"

#include <gtest/gtest.h>
#include <mutex>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using test::payloadOf;
using test::ScriptedTransport;
using test::TimedReply;

// Pass numbers (0-based) that run a cycle, for a station plugged in from pass connectFrom and a
// dialog open during [dialogFrom, dialogTo).
std::vector<int> cyclePasses(int connectFrom, int dialogFrom, int dialogTo, int passes)
{
    std::vector<int> cycles;
    int counter = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const bool mayPoll = pass >= connectFrom && !(pass >= dialogFrom && pass < dialogTo);
        if (PollThread::PassStep(counter, mayPoll, 40))
            cycles.push_back(pass);
    }
    return cycles;
}

TEST(PollCounter, CyclePassesFollowTheCounter)
{
    struct Case
    {
        const char* what;
        int connectFrom, dialogFrom, dialogTo;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"connected at start: at once, then every 20 passes", 0, 99, 99, {0, 20, 40}},
        {"plugged in at pass 10: about 15 passes later", 10, 99, 99, {25, 45}},
        {"long disconnection: at once on reconnection", 50, 99, 99, {50}},
        {"dialog open over the due pass: right after it closes", 0, 15, 30, {0, 30, 50}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cyclePasses(c.connectFrom, c.dialogFrom, c.dialogTo, 60), c.expected) << c.what;
}

struct RecordingTargets final : PollTargets
{
    std::mutex mutex;
    std::vector<std::string> events; // guarded by mutex
    std::atomic<int> repaints{0};

    void add(std::string e)
    {
        std::lock_guard lock(mutex);
        events.push_back(std::move(e));
    }
    std::vector<std::string> seen()
    {
        std::lock_guard lock(mutex);
        return events;
    }
    void intervalFetched(int minutes) override { add("interval " + std::to_string(minutes)); }
    void alarmPagesFetched(const std::array<Page, 4>& pages) override
    {
        add("alarms " + std::to_string(pages[0][0]) + " " + std::to_string(pages[1][0]) + " " +
            std::to_string(pages[2][0]) + " " + std::to_string(pages[3][0]));
    }
    void calibrationFetched(const Page& page) override
    {
        add("calibration " + std::to_string(page[0]));
    }
    void liveFetched(const Page& page, bool answered) override
    {
        add("live " + std::to_string(page[0]) + (answered ? "" : " stale"));
    }
    void repaint() override { ++repaints; }
};

ScriptedTransport::Responder station()
{
    return [](const Payload& command) -> std::vector<TimedReply> {
        if (command[1] == 0x41)
            return {{payloadOf({0, 15})}};
        if (command[1] <= 0x09)
            return {{payloadOf({command[1]})}};
        return {};
    };
}

class PollThreadTest : public ::testing::Test
{
protected:
    ~PollThreadTest() override
    {
        link.stop();
        poll.stop();
    }
    std::vector<std::uint8_t> codesSent()
    {
        std::vector<std::uint8_t> codes;
        for (const Payload& p : bus.written("S"))
            codes.push_back(p[1]);
        return codes;
    }

    ScriptedTransport bus;
    ReplyRouter router;
    const Timing timing = Timing{}.scaled(0.02);
    HidLink link{bus, router, timing};
    RecordingTargets targets;
    PollThread poll{link, router, targets};
};

TEST_F(PollThreadTest, FirstCycleAsksInOrderAndHandsThePagesOn)
{
    bus.addStation("S", station());
    ASSERT_TRUE(link.Connect());
    poll.start();
    std::this_thread::sleep_for(timing.pollPass * 5);
    const std::vector<std::uint8_t> order{0x04, 0x41, 0x06, 0x08, 0x09, 0x05, 0x03};
    const auto sent = codesSent();
    ASSERT_GE(sent.size(), order.size());
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 7), order);
    const auto events = targets.seen();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "interval 15");
    EXPECT_EQ(events[1], "alarms 6 0 8 9");
    EXPECT_EQ(events[2], "calibration 5");
    EXPECT_EQ(events[3], "live 3");
    EXPECT_TRUE(poll.m_PollEvent.isSet());
}

TEST_F(PollThreadTest, ALiveRequestWithoutReplyHandsOnTheOldPageAsStale)
{
    std::atomic<bool> silent{false};
    bus.addStation("S", [&silent, answer = station()](const Payload& command) {
        return silent.load() && command[1] == 0x03 ? std::vector<TimedReply>{} : answer(command);
    });
    ASSERT_TRUE(link.Connect());
    poll.RunPollCycle();
    silent = true;
    poll.RunPollCycle();
    const auto events = targets.seen();
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[3], "live 3");
    EXPECT_EQ(events[7], "live 3 stale");
}

TEST_F(PollThreadTest, OpenDialogHoldsCyclesOffButNotTheRepaints)
{
    bus.addStation("S", station());
    ASSERT_TRUE(link.Connect());
    poll.m_DialogOpen = true;
    poll.start();
    std::this_thread::sleep_for(timing.pollPass * 50);
    EXPECT_TRUE(codesSent().empty());
    EXPECT_GE(targets.repaints.load(), 10);
}

TEST_F(PollThreadTest, UnconnectedPollsNothing)
{
    poll.start();
    std::this_thread::sleep_for(timing.pollPass * 30);
    EXPECT_TRUE(targets.seen().empty());
    EXPECT_GE(targets.repaints.load(), 5);
}

TEST_F(PollThreadTest, StationPluggedInLaterIsPolledAboutFifteenPassesAfterIt)
{
    poll.start();
    std::this_thread::sleep_for(timing.pollPass * 10);
    bus.addStation("S", station());
    ASSERT_TRUE(link.Connect());
    const auto plugged = std::chrono::steady_clock::now();
    while (codesSent().empty() && std::chrono::steady_clock::now() - plugged < 5s)
        std::this_thread::sleep_for(timing.pollPass / 4);
    const double passes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - plugged) / timing.pollPass;
    EXPECT_GT(passes, 10) << "not at once: the counter has not reached the cycle yet";
    EXPECT_LT(passes, 22);
}

TEST_F(PollThreadTest, StoppingDuringASilentCycleIsQuick)
{
    // The station's own waits: a silent cycle would take about 14 s.
    bus.addStation("S", [](const Payload&) { return std::vector<TimedReply>{}; });
    HidLink realLink(bus, router, Timing{});
    PollThread realPoll(realLink, router, targets);
    ASSERT_TRUE(realLink.Connect());
    realPoll.start();
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(realPoll.m_PollEvent.isSet()) << "the cycle is still waiting";
    const auto start = std::chrono::steady_clock::now();
    realLink.stop();
    realPoll.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

} // namespace
} // namespace nimbra
