#pragma once

#include "buscore.h"
#include "faultplan.h"
#include "stationmodel.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nimbra {

// One output report as the station received it, and what the station made of it. Faults act
// on the way out and do not show here: a muted station still logs Answered.
struct ReceivedReport
{
    std::array<std::uint8_t, ReportSize> report{}; // report id and the 64 payload bytes
    ReportOutcome outcome = ReportOutcome::Ignored;

    Payload payload() const;
};

// A copy of everything the station keeps.
struct StationState
{
    Payload settingsPage{};
    Payload calibrationPage{};
    Payload alarmSwitchesPage{};
    Payload temperatureLimitsPage{};
    Payload humidityLimitsPage{};
    std::uint8_t intervalMinutes = 0;
    std::uint8_t language = 0;
    bool screenBusy = false;
    int endOfWrites = 0;
    DateTimeParts clock;
    std::vector<CardFile> files;
};

// A station on an EmulatedBus: the model, its queue of input reports, the faults armed on it
// and the log of what it received. Every method is thread-safe; all state is guarded by the
// bus's lock (BusCore::mutex). Created by EmulatedBus::addStation.
class EmulatedStation
{
public:
    using SteadyClock = std::chrono::steady_clock;
    // The log keeps the latest reports only, so a long simulated session stays small.
    static constexpr std::size_t ReceivedLimit = 20000;

    EmulatedStation(std::string path, std::uint32_t seed, std::shared_ptr<BusCore> core);
    EmulatedStation(const EmulatedStation&) = delete;
    EmulatedStation& operator=(const EmulatedStation&) = delete;

    const std::string& path() const { return m_path; }
    bool present() const;

    // Faults, see FaultPlan.
    void dropReplies(int reports);
    void delayReplies(Millis delay);
    void duplicateNextReply();
    void corruptNextReply();
    void setMuted(bool muted);
    void unplugOnReport(int n);
    void unplugAfterReplies(int n);
    void setPacing(bool paced);
    void clearFaults();
    // Faults aimed at single reports of chunk replies, see FaultPlan.
    void dropChunkEnd(int k);
    void duplicateChunkEnd(int k);
    void corruptDataReport(int n);
    void replaceDataReport(int n, const Payload& crafted);
    void unplugAtDataReport(int n);
    void delayChunk(int k, Millis delay);
    void trickleChunk(int k, Millis duration);
    // An input report nobody asked for, queued at once.
    void sendUnasked(const Payload& payload);

    void setScreenBusy(bool busy);
    bool putFile(std::string_view name, std::string content);
    // Any other change: runs under the bus's lock, so it must not call back into the bus or
    // this station.
    void edit(const std::function<void(StationModel&)>& change);

    StationState state() const;
    std::vector<ReceivedReport> received() const;
    void clearReceived();
    std::size_t queuedReplies() const;

    // The two sides of an opened handle. generation is the plug-in the handle was opened on.
    bool write(std::uint64_t generation, const std::array<std::uint8_t, ReportSize>& report);
    int read(std::uint64_t generation, Payload& payload, Millis timeout);

private:
    friend class EmulatedBus;

    struct Queued
    {
        SteadyClock::time_point due;
        Payload payload;
        bool unplug = false; // the station vanishes instead of sending it
    };

    // The bus's side; the caller holds BusCore::mutex.
    void plugLocked();
    void unplugLocked();
    void vanishLocked();
    bool presentLocked() const { return m_present; }
    std::uint64_t generationLocked() const { return m_generation; }
    bool aliveLocked(std::uint64_t generation) const;
    void logLocked(const std::array<std::uint8_t, ReportSize>& report, ReportOutcome outcome);

    const std::string m_path;
    const std::shared_ptr<BusCore> m_core;
    StationModel m_model;                     // guarded by m_core->mutex
    FaultPlan m_faults;                       // guarded by m_core->mutex
    std::deque<Queued> m_replies;             // guarded by m_core->mutex
    std::deque<ReceivedReport> m_received;    // guarded by m_core->mutex
    SteadyClock::time_point m_lastDelivery{}; // guarded by m_core->mutex
    bool m_present = true;                    // guarded by m_core->mutex
    // Bumped by every unplug, so a handle of an earlier plug-in stays dead after a re-plug.
    std::uint64_t m_generation = 0; // guarded by m_core->mutex
};

} // namespace nimbra
