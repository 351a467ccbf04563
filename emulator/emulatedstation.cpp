#include "emulatedstation.h"

#include <algorithm>

namespace nimbra {

Payload ReceivedReport::payload() const
{
    Payload bytes{};
    std::copy(report.begin() + 1, report.end(), bytes.begin());
    return bytes;
}

EmulatedStation::EmulatedStation(std::string path, std::uint32_t seed,
                                 std::shared_ptr<BusCore> core)
    : m_path(std::move(path)), m_core(std::move(core)), m_model(seed)
{
}

bool EmulatedStation::present() const
{
    std::lock_guard lock(m_core->mutex);
    return m_present;
}

void EmulatedStation::dropReplies(int reports)
{
    edit([&](StationModel&) { m_faults.dropNext(reports); });
}

void EmulatedStation::delayReplies(Millis delay)
{
    edit([&](StationModel&) { m_faults.setDelay(delay); });
}

void EmulatedStation::duplicateNextReply()
{
    edit([&](StationModel&) { m_faults.duplicateNext(); });
}

void EmulatedStation::corruptNextReply()
{
    edit([&](StationModel&) { m_faults.corruptNext(); });
}

void EmulatedStation::setMuted(bool muted)
{
    edit([&](StationModel&) { m_faults.setMuted(muted); });
}

void EmulatedStation::unplugOnReport(int n)
{
    edit([&](StationModel&) { m_faults.unplugOnReport(n); });
}

void EmulatedStation::unplugAfterReplies(int n)
{
    edit([&](StationModel&) { m_faults.unplugAfterReplies(n); });
}

void EmulatedStation::setPacing(bool paced)
{
    edit([&](StationModel&) { m_faults.setPacing(paced); });
}

void EmulatedStation::clearFaults()
{
    edit([&](StationModel&) { m_faults.clear(); });
}

void EmulatedStation::dropChunkEnd(int k)
{
    edit([&](StationModel&) { m_faults.dropChunkEnd(k); });
}

void EmulatedStation::duplicateChunkEnd(int k)
{
    edit([&](StationModel&) { m_faults.duplicateChunkEnd(k); });
}

void EmulatedStation::corruptDataReport(int n)
{
    edit([&](StationModel&) { m_faults.corruptDataReport(n); });
}

void EmulatedStation::replaceDataReport(int n, const Payload& crafted)
{
    edit([&](StationModel&) { m_faults.replaceDataReport(n, crafted); });
}

void EmulatedStation::unplugAtDataReport(int n)
{
    edit([&](StationModel&) { m_faults.unplugAtDataReport(n); });
}

void EmulatedStation::delayChunk(int k, Millis delay)
{
    edit([&](StationModel&) { m_faults.delayChunk(k, delay); });
}

void EmulatedStation::trickleChunk(int k, Millis duration)
{
    edit([&](StationModel&) { m_faults.trickleChunk(k, duration); });
}

void EmulatedStation::sendUnasked(const Payload& payload)
{
    edit([&](StationModel&) { m_replies.push_back({SteadyClock::now(), payload}); });
}

void EmulatedStation::setScreenBusy(bool busy)
{
    edit([&](StationModel& model) { model.setScreenBusy(busy); });
}

bool EmulatedStation::putFile(std::string_view name, std::string content)
{
    bool stored = false;
    edit([&](StationModel& model) { stored = model.card().put(name, std::move(content)); });
    return stored;
}

void EmulatedStation::edit(const std::function<void(StationModel&)>& change)
{
    std::lock_guard lock(m_core->mutex);
    change(m_model);
    // A change may have shortened a delay; readers re-check their wait.
    m_core->changed.notify_all();
}

StationState EmulatedStation::state() const
{
    std::lock_guard lock(m_core->mutex);
    StationState s;
    s.settingsPage = m_model.settingsPage();
    s.calibrationPage = m_model.calibrationPage();
    s.alarmSwitchesPage = m_model.alarmSwitchesPage();
    s.temperatureLimitsPage = m_model.temperatureLimitsPage();
    s.humidityLimitsPage = m_model.humidityLimitsPage();
    s.intervalMinutes = m_model.intervalMinutes();
    s.language = m_model.language();
    s.screenBusy = m_model.screenBusy();
    s.endOfWrites = m_model.endOfWriteCount();
    s.clock = m_model.clock().fields();
    s.files = m_model.card().files();
    return s;
}

std::vector<ReceivedReport> EmulatedStation::received() const
{
    std::lock_guard lock(m_core->mutex);
    return {m_received.begin(), m_received.end()};
}

void EmulatedStation::clearReceived()
{
    std::lock_guard lock(m_core->mutex);
    m_received.clear();
}

std::size_t EmulatedStation::queuedReplies() const
{
    std::lock_guard lock(m_core->mutex);
    return m_replies.size();
}

bool EmulatedStation::aliveLocked(std::uint64_t generation) const
{
    return m_present && generation == m_generation;
}

void EmulatedStation::logLocked(const std::array<std::uint8_t, ReportSize>& report,
                                ReportOutcome outcome)
{
    if (m_received.size() == ReceivedLimit)
        m_received.pop_front();
    m_received.push_back({report, outcome});
}

bool EmulatedStation::write(std::uint64_t generation,
                            const std::array<std::uint8_t, ReportSize>& report)
{
    std::lock_guard lock(m_core->mutex);
    if (!aliveLocked(generation))
        return false;
    if (m_faults.outputReportArrives()) {
        logLocked(report, ReportOutcome::Unplugged);
        vanishLocked();
        return false;
    }
    // Only report id 0 exists on the station's interface.
    if (report[0] != 0) {
        logLocked(report, ReportOutcome::Ignored);
        return true;
    }
    Payload frame{};
    std::copy(report.begin() + 1, report.end(), frame.begin());
    const StationReply reply = m_model.handle(frame);
    logLocked(report, reply.outcome);

    const auto due = SteadyClock::now() + m_faults.delay();
    for (const FaultPlan::Outgoing& out : m_faults.shape(reply.reports, reply.chunk))
        m_replies.push_back({due + out.after, out.payload, out.unplug});
    m_core->changed.notify_all();
    return true;
}

int EmulatedStation::read(std::uint64_t generation, Payload& payload, Millis timeout)
{
    std::unique_lock lock(m_core->mutex);
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        if (!aliveLocked(generation))
            return -1;
        const auto now = SteadyClock::now();
        auto wakeAt = deadline;
        if (!m_replies.empty()) {
            auto ready = m_replies.front().due;
            if (m_faults.pacing())
                ready = std::max(ready, m_lastDelivery + Millis(1));
            if (ready <= now && m_replies.front().unplug) {
                vanishLocked();
                return -1;
            }
            if (ready <= now) {
                payload = m_replies.front().payload;
                m_replies.pop_front();
                // The bus's slot, not the moment of reading: a wake-up that overshoots its
                // slot does not push every later report back with it.
                m_lastDelivery = ready;
                if (m_faults.inputReportDelivered())
                    vanishLocked();
                return static_cast<int>(PayloadSize);
            }
            wakeAt = std::min(wakeAt, ready);
        }
        if (now >= deadline)
            return 0;
        m_core->changed.wait_until(lock, wakeAt);
    }
}

void EmulatedStation::plugLocked()
{
    m_present = true;
}

void EmulatedStation::unplugLocked()
{
    m_present = false;
    ++m_generation;
    m_replies.clear();
    m_core->changed.notify_all();
}

void EmulatedStation::vanishLocked()
{
    unplugLocked();
    m_core->notices.push_back(DeviceChange::Removal);
}

} // namespace nimbra
