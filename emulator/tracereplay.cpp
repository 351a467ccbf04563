#include "tracereplay.h"

#include <algorithm>

namespace nimbra {

LoadedTrace ReadTrace(std::istream& in)
{
    LoadedTrace trace;
    std::string line;
    std::int64_t commandTime = 0;
    std::int64_t lastTime = 0;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const std::optional<TraceEntry> entry = ParseTraceLine(line);
        if (!entry || entry->micros < lastTime) {
            trace.badLine = number;
            return trace;
        }
        lastTime = entry->micros;
        if (entry->direction == TraceDirection::Out) {
            trace.exchanges.push_back({entry->payload, {}, false});
            commandTime = entry->micros;
        } else if (!trace.exchanges.empty() && entry->direction == TraceDirection::In) {
            trace.exchanges.back().replies.emplace_back(
                std::chrono::microseconds(entry->micros - commandTime), entry->payload);
        } else if (!trace.exchanges.empty() && entry->direction == TraceDirection::Gone) {
            trace.exchanges.back().goneAfter = true;
        } else if (!trace.exchanges.empty() && entry->direction == TraceDirection::OutFailed &&
                   trace.exchanges.back().command == entry->payload) {
            trace.exchanges.pop_back(); // never reached the station
        }
    }
    return trace;
}

namespace {

using Clock = std::chrono::steady_clock;

// now + wait, held at the end of the clock instead of running past it: a scaled delay may be
// as long as a double can say.
Clock::time_point After(Clock::time_point now, std::chrono::duration<double, std::nano> wait)
{
    if (!(wait.count() > 0.0))
        return now;
    const Clock::rep room = (Clock::time_point::max() - now).count();
    if (!(wait.count() < static_cast<double>(room)))
        return Clock::time_point::max();
    return now + Clock::duration(std::min(static_cast<Clock::rep>(wait.count()), room));
}

} // namespace

class ReplayTransport::Device final : public HidDevice
{
public:
    explicit Device(ReplayTransport& replay) : m_replay(replay) {}

    bool write(const std::array<std::uint8_t, ReportSize>& report) override
    {
        Payload command{};
        std::copy(report.begin() + 1, report.end(), command.begin());
        return m_replay.write(command);
    }
    int read(Payload& payload, Millis timeout) override { return m_replay.read(payload, timeout); }

private:
    ReplayTransport& m_replay;
};

ReplayTransport::ReplayTransport(std::vector<TracedExchange> exchanges, double timeScale)
    : m_exchanges(std::move(exchanges)), m_timeScale(std::max(0.0, timeScale))
{
}

int ReplayTransport::unmatchedCommands() const
{
    std::lock_guard lock(m_mutex);
    return m_unmatched;
}

bool ReplayTransport::finished() const
{
    std::lock_guard lock(m_mutex);
    return m_next == m_exchanges.size() && m_due.empty();
}

std::vector<HidInterfaceInfo> ReplayTransport::enumerate()
{
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return {};
    return {{Path, StationVendorId, StationProductId}};
}

std::unique_ptr<HidDevice> ReplayTransport::open(const std::string& path, OpenResult* result)
{
    std::lock_guard lock(m_mutex);
    const bool present = !m_gone && path == Path;
    if (result)
        *result = present ? OpenResult::Opened : OpenResult::NotFound;
    return present ? std::make_unique<Device>(*this) : nullptr;
}

StationKind ReplayTransport::stationKind() const
{
    return StationKind::Replayed;
}

bool ReplayTransport::write(const Payload& command)
{
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return false;
    const auto begin = m_exchanges.begin() + static_cast<std::ptrdiff_t>(m_next);
    const auto match = std::find_if(begin, m_exchanges.end(),
                                    [&](const TracedExchange& e) { return e.command == command; });
    if (match == m_exchanges.end()) {
        ++m_unmatched;
        return true;
    }
    m_next = static_cast<std::size_t>(match - m_exchanges.begin()) + 1;
    const Clock::time_point now = Clock::now();
    for (const auto& [delay, payload] : match->replies) {
        const Clock::time_point due = After(now, delay * m_timeScale);
        // Replies keep their order even when scaling would let a later one overtake.
        const Clock::time_point at = m_due.empty() ? due : std::max(due, m_due.back().at);
        m_due.push_back({at, payload});
    }
    m_vanishing = m_vanishing || match->goneAfter;
    m_changed.notify_all();
    return true;
}

int ReplayTransport::read(Payload& payload, Millis timeout)
{
    std::unique_lock lock(m_mutex);
    const Clock::time_point deadline = After(Clock::now(), timeout);
    for (;;) {
        if (m_gone)
            return -1;
        const Clock::time_point now = Clock::now();
        if (!m_due.empty() && m_due.front().at <= now) {
            payload = m_due.front().payload;
            m_due.pop_front();
            return static_cast<int>(PayloadSize);
        }
        if (m_due.empty() && m_vanishing) {
            m_gone = true;
            return -1;
        }
        if (now >= deadline)
            return 0;
        const Clock::time_point wake =
            m_due.empty() ? deadline : std::min(deadline, m_due.front().at);
        m_changed.wait_until(lock, wake);
    }
}

} // namespace nimbra
