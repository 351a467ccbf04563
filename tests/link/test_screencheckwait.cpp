// How long a write waits for the station's answer to the screen check: a write's own final wait
// (0.5 s for the setup dialogs' Save, 1 s for the clock), never less than 50 ms. An answer within
// that time decides the write; a later one is left to the next write.
#include "hidlink.h"
#include "scriptedtransport.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using test::payloadOf;
using test::ScriptedTransport;

struct Case
{
    const char* what;
    Millis finalWait;
    double answerAt; // share of the final wait after which the station answers "busy"
    WriteOutcome outcome;
};

class ScreenCheckWait : public ::testing::TestWithParam<Case>
{
protected:
    ScreenCheckWait()
    {
        router.addScreenBusyReceiver(&screenBusy);
        bus.addStation("A");
    }
    ~ScreenCheckWait() override { link.stop(); }

    ScriptedTransport bus;
    ReplyRouter router;
    const Timing timing; // the station's own waits: the boundary is what is tested
    HidLink link{bus, router, timing};
    std::atomic<int> screenBusy{0};
};

TEST_P(ScreenCheckWait, AnAnswerCountsOnlyWithinTheWait)
{
    const Case& c = GetParam();
    const auto answerAfter = std::chrono::duration_cast<Millis>(c.finalWait * c.answerAt);
    bus.setResponder("A", [answerAfter](const Payload& command) -> std::vector<test::TimedReply> {
        if (command[1] == 0x51)
            return {{payloadOf({0x51, 1}), answerAfter}};
        return {};
    });
    ASSERT_TRUE(link.Connect());
    const CommandFrame frames[] = {CommandFrame(Command::WriteAlarmSwitches),
                                   CommandFrame::endOfWrite()};
    EXPECT_EQ(link.GuardedWrite(screenBusy, frames, 100ms, c.finalWait), c.outcome);
    const auto written = bus.written("A");
    EXPECT_EQ(written.size(), c.outcome == WriteOutcome::Written ? 3u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ScreenCheckWait,
    ::testing::Values(
        Case{"Save: answer just inside half a second", 500ms, 0.6, WriteOutcome::ScreenBusy},
        Case{"Save: answer just after half a second", 500ms, 1.5, WriteOutcome::Written},
        Case{"clock: answer just inside a second", 1000ms, 0.6, WriteOutcome::ScreenBusy},
        Case{"clock: answer just after a second", 1000ms, 1.5, WriteOutcome::Written}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p)))
                name += *p;
        return name;
    });

} // namespace
} // namespace nimbra
