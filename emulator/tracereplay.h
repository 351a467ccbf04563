#pragma once

#include "hidtransport.h"
#include "reporttrace.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nimbra {

// One command of a trace and what the station sent after it until the next command: the
// replies with their delays after the command, and whether the station vanished then.
struct TracedExchange
{
    Payload command{};
    std::vector<std::pair<std::chrono::microseconds, Payload>> replies;
    bool goneAfter = false;
};

// A trace read into exchanges. Replies before the first command (nobody asked for them) and
// commands whose write failed are left out; a malformed line, or one whose time lies before
// the line above it, ends the reading with its number.
struct LoadedTrace
{
    std::vector<TracedExchange> exchanges;
    int badLine = 0; // 0: every line was understood
};
LoadedTrace ReadTrace(std::istream& in);

// A station that answers as a trace says it once did. Each written command is looked up
// forward from the last one matched, so commands of the program that the trace does not hold
// (a poll between two chunks, say) go unanswered instead of derailing the replay; a matched
// command gets the replies recorded after it, with their recorded delays times timeScale.
// When the trace says the station vanished, it does so after those replies. Every method is
// thread-safe.
class ReplayTransport final : public HidTransport
{
public:
    static constexpr const char* Path = "replay:station";

    explicit ReplayTransport(std::vector<TracedExchange> exchanges, double timeScale = 1.0);

    // How many written commands the trace did not hold.
    int unmatchedCommands() const;
    // Whether every exchange of the trace has been replayed.
    bool finished() const;

    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path, OpenResult* result) override;
    StationKind stationKind() const override;

private:
    class Device;
    using Clock = std::chrono::steady_clock;
    struct Due
    {
        Clock::time_point at;
        Payload payload;
    };

    bool write(const Payload& command);
    int read(Payload& payload, Millis timeout);

    const std::vector<TracedExchange> m_exchanges;
    const double m_timeScale;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;   // guarded by m_mutex: first exchange not yet matched
    std::deque<Due> m_due;    // guarded by m_mutex
    bool m_vanishing = false; // guarded by m_mutex: gone once m_due is empty
    bool m_gone = false;      // guarded by m_mutex
    int m_unmatched = 0;      // guarded by m_mutex
};

} // namespace nimbra
