#pragma once

#include "commandframe.h"
#include "requestkind.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace nimbra {

// Which way a traced report went. Gone is a read that found the station unplugged. A report
// is traced as Out before it is written; OutFailed follows when the system refused it.
enum class TraceDirection
{
    Out,
    OutFailed,
    In,
    Gone
};

// One line of a report trace: microseconds since the trace began, the direction, the request
// kind it belongs to, and the payload (without the report id).
//
// No trace runs for a century: a later time was never written by a TraceWriter, and keeping
// times below it lets a replay add and scale them without running out of range.
inline constexpr std::int64_t MaxTraceMicros = 36525LL * 86400 * 1000000; // 100 years
struct TraceEntry
{
    std::int64_t micros = 0;
    TraceDirection direction = TraceDirection::Out;
    RequestKind kind = RequestKind::Idle;
    Payload payload{};

    friend bool operator==(const TraceEntry&, const TraceEntry&) = default;
};

// "1234567 out FileData 7b02...": one line, no line end. Gone lines carry zero bytes.
std::string FormatTraceLine(const TraceEntry& entry);
// A line as FormatTraceLine writes it; comments (#), anything malformed and a time outside
// 0..MaxTraceMicros give nothing.
std::optional<TraceEntry> ParseTraceLine(std::string_view line);

// Writes trace lines to a file on a thread of its own, so the link never waits for the disk.
// A disk that cannot keep up loses lines beyond a fixed backlog (and says how many) instead of
// letting memory grow.
class TraceWriter
{
public:
    static constexpr std::size_t BacklogLimit = 100000;

    explicit TraceWriter(const std::filesystem::path& file);
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // False when the file could not be created; record() then does nothing.
    bool isOpen() const { return m_open; }
    // Any thread. The time stamp is taken here, on the monotonic clock, under the lock that
    // orders the lines, so that a trace's times never go back.
    void record(TraceDirection direction, RequestKind kind, const Payload& payload);
    // Blocks until every entry recorded so far is on disk (tests, shutdown).
    void flush();

private:
    void run();

    using Clock = std::chrono::steady_clock;
    const Clock::time_point m_start = Clock::now();
    std::ofstream m_file; // the writer thread's only
    bool m_open = false;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<TraceEntry> m_backlog; // guarded by m_mutex
    std::size_t m_lost = 0;           // guarded by m_mutex
    std::uint64_t m_recorded = 0;     // guarded by m_mutex
    std::uint64_t m_written = 0;      // guarded by m_mutex
    bool m_stopping = false;          // guarded by m_mutex
    std::thread m_thread;
};

} // namespace nimbra
