#pragma once

#include "commandframe.h"
#include "hidlink.h"
#include "manualresetevent.h"
#include "replyrouter.h"

#include <array>
#include <atomic>
#include <thread>

namespace nimbra {

// Where the pages of a poll cycle go. Called on the poll thread.
class PollTargets
{
public:
    virtual ~PollTargets() = default;
    virtual void intervalFetched(int minutes) = 0;
    // Alarm pages 1 to 4 in order; page 2 is never fetched and stays as it is.
    virtual void alarmPagesFetched(const std::array<Page, 4>& pages) = 0;
    virtual void calibrationFetched(const Page& page) = 0;
    // answered: the station sent this page now; otherwise it is the last one it sent (a
    // request without reply goes on with the stale page), which is no news of the station.
    virtual void liveFetched(const Page& page, bool answered) = 0;
    // The window should repaint; the receiver posts that to its own thread.
    virtual void repaint() = 0;
};

// Repaints once a pass and, while the station is connected and no dialog is open, fetches
// settings, interval, alarms, calibration and live readings about every 20 passes.
class PollThread
{
public:
    PollThread(HidLink& link, ReplyRouter& router, PollTargets& targets);
    ~PollThread();
    PollThread(const PollThread&) = delete;
    PollThread& operator=(const PollThread&) = delete;

    void start();
    // Joins the thread. Stop the link first so a running cycle does not sit out its waits.
    void stop();

    // One pass of the counter: whether this pass runs a cycle. The counter grows by 2 a pass
    // while polling is allowed and by 1 otherwise; a cycle runs when it is 0 or has reached
    // everyPasses, so a long disconnection is followed by a cycle at once.
    static bool PassStep(int& counter, bool mayPoll, int everyPasses);

    void RunPollCycle();

    // Reset while a cycle runs; a dialog waits on it before it opens.
    ManualResetEvent m_PollEvent{true};
    // No cycle starts while a dialog is open.
    std::atomic<bool> m_DialogOpen{false};

private:
    void run();
    // Whether the cycle goes on; answered tells whether the reply came.
    bool exchange(Command command, RequestKind kind, Millis wait, bool* answered = nullptr);

    HidLink& m_link;
    ReplyRouter& m_router;
    PollTargets& m_targets;
    ManualResetEvent m_stopEvent;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace nimbra
