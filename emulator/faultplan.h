#pragma once

#include "commandframe.h"
#include "timing.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace nimbra {

// The faults a test arms on one station. Counts are in reports: a multi-report reply (a file
// list, a chunk) loses, repeats or garbles single reports of it. Plain data, guarded by the
// owner (EmulatedStation).
class FaultPlan
{
public:
    void dropNext(int reports) { m_drop = std::max(0, reports); }
    void setDelay(Millis delay) { m_delay = std::max(Millis(0), delay); }
    void duplicateNext() { m_duplicate = true; }
    void corruptNext() { m_corrupt = true; }
    void setMuted(bool muted) { m_muted = muted; }
    // The n-th output report from now on (1 = the next) makes the station vanish as it
    // arrives; 0 disarms.
    void unplugOnReport(int n) { m_unplugOnReport = std::max(0, n); }
    // The station vanishes once n more input reports have been read; 0 disarms.
    void unplugAfterReplies(int n) { m_unplugAfterReplies = std::max(0, n); }
    // USB full speed: at most one input report per millisecond.
    void setPacing(bool paced) { m_pacing = paced; }

    // Faults aimed at single reports of file-chunk replies. k counts chunk replies and n data
    // reports (all reports of a chunk reply but its closing "{@}"), both from the moment the
    // fault is armed, 1 being the next.
    void dropChunkEnd(int k) { aim(Aim::ChunkEnd, k, Action::Drop); }
    void duplicateChunkEnd(int k) { aim(Aim::ChunkEnd, k, Action::Duplicate); }
    void corruptDataReport(int n) { aim(Aim::DataReport, n, Action::Corrupt); }
    // Crafted bytes go out in place of data report n (a report without "}", "{@x}", ...).
    void replaceDataReport(int n, const Payload& crafted)
    {
        aim(Aim::DataReport, n, Action::Replace, crafted);
    }
    // The station vanishes where it would have sent data report n.
    void unplugAtDataReport(int n) { aim(Aim::DataReport, n, Action::Unplug); }
    // Chunk reply k leaves the station whole, delay after its request: a late answer when that
    // is past the requester's time-out, a slow one when within it.
    void delayChunk(int k, Millis delay) { aim(Aim::ChunkReply, k, Action::Delay, {}, delay); }
    // The reports of chunk reply k trickle out evenly, the last one (its "{@}") after duration.
    void trickleChunk(int k, Millis duration)
    {
        aim(Aim::ChunkReply, k, Action::Trickle, {}, duration);
    }
    // Disarms everything but pacing, which is a property of the bus, not a fault.
    void clear();

    Millis delay() const { return m_delay; }
    bool pacing() const { return m_pacing; }

    // Counts one output report; true when it is the one that unplugs the station.
    bool outputReportArrives();
    struct Outgoing
    {
        Payload payload{};
        bool unplug = false; // the station vanishes instead of sending it
        Millis after{0};     // how much later than the rest of the reply it leaves
    };
    // The reports of one reply as they leave the station: muted, dropped, garbled, doubled.
    std::vector<Outgoing> shape(const std::vector<Payload>& reports, bool chunkReply = false);
    // Counts one input report handed to a reader; true when the station vanishes after it.
    bool inputReportDelivered();

private:
    enum class Aim
    {
        ChunkEnd,
        DataReport,
        ChunkReply // the whole reply; counted with the chunk ends
    };
    enum class Action
    {
        Drop,
        Duplicate,
        Corrupt,
        Replace,
        Unplug,
        Delay,
        Trickle
    };
    struct Aimed
    {
        Aim aim;
        long long at; // the count of its kind that it hits
        Action action;
        Payload crafted;
        Millis time{0}; // Delay: of the whole reply; Trickle: when its last report leaves
        // When report index of a reply of n reports leaves, relative to the reply.
        Millis leaves(std::size_t index, std::size_t n) const;
    };

    void aim(Aim aim, int n, Action action, const Payload& crafted = {}, Millis time = {});
    // The delay or trickle aimed at the chunk reply about to be shaped, removed from the plan.
    std::optional<Aimed> takeReplyTiming();
    // The aimed fault of this kind and count, removed from the plan; Drop/... or none.
    std::vector<Aimed>::iterator findAimed(Aim aim, long long count);
    void garble(Payload& payload);

    std::vector<Aimed> m_aimed;
    long long m_chunkEnds = 0;   // chunk replies shaped so far
    long long m_dataReports = 0; // data reports shaped so far
    int m_drop = 0;
    bool m_duplicate = false;
    bool m_corrupt = false;
    bool m_muted = false;
    bool m_pacing = false;
    Millis m_delay{0};
    int m_unplugOnReport = 0;
    int m_unplugAfterReplies = 0;
    std::mt19937 m_garbage{0x5750};
};

} // namespace nimbra
