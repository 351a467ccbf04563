#include "pollthread.h"

namespace nimbra {

PollThread::PollThread(HidLink& link, ReplyRouter& router, PollTargets& targets)
    : m_link(link), m_router(router), m_targets(targets)
{
}

PollThread::~PollThread()
{
    stop();
}

void PollThread::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void PollThread::stop()
{
    m_stopping.store(true);
    m_stopEvent.set();
    if (m_thread.joinable())
        m_thread.join();
}

bool PollThread::PassStep(int& counter, bool mayPoll, int everyPasses)
{
    bool cycle = false;
    if (mayPoll) {
        if (counter == 0 || counter >= everyPasses) {
            cycle = true;
            counter = 1;
        }
        ++counter;
    }
    ++counter;
    return cycle;
}

void PollThread::run()
{
    int counter = 0;
    while (!m_stopping.load()) {
        const bool mayPoll = m_link.Connected() && !m_DialogOpen.load();
        if (PassStep(counter, mayPoll, m_link.timing().pollEveryPasses)) {
            m_PollEvent.reset();
            RunPollCycle();
            m_targets.repaint();
            m_PollEvent.set();
        }
        if (m_stopEvent.waitFor(m_link.timing().pollPass))
            break;
        m_targets.repaint();
    }
}

bool PollThread::exchange(Command command, RequestKind kind, Millis wait, bool* answered)
{
    const bool timedOut = m_link.Exchange(CommandFrame(command), kind, wait, wait);
    if (answered)
        *answered = !timedOut && m_link.Connected();
    return !m_stopping.load();
}

void PollThread::RunPollCycle()
{
    const Timing& t = m_link.timing();
    if (!exchange(Command::Settings, RequestKind::Settings, t.settings))
        return;
    if (!exchange(Command::Interval, RequestKind::Interval, t.interval))
        return;
    m_targets.intervalFetched(m_router.m_IntervalReply.load());

    if (m_link.Connected()) {
        if (!exchange(Command::AlarmPage1, RequestKind::AlarmPage1, t.alarmPage) ||
            !exchange(Command::AlarmPage3, RequestKind::AlarmPage3, t.alarmPage) ||
            !exchange(Command::AlarmPage4, RequestKind::AlarmPage4, t.alarmPage))
            return;
        const ReplyBuffer& pages = m_router.buffer();
        m_targets.alarmPagesFetched({pages.page(3), pages.page(4), pages.page(5), pages.page(6)});
    }
    if (m_link.Connected()) {
        if (!exchange(Command::Calibration, RequestKind::Calibration, t.calibration))
            return;
        m_targets.calibrationFetched(m_router.buffer().page(2));
    }
    bool answered = false;
    if (!exchange(Command::Live, RequestKind::Live, t.live, &answered))
        return;
    m_targets.liveFetched(m_router.buffer().page(0), answered);
}

} // namespace nimbra
