#pragma once

#include "commandframe.h"
#include "devicenotifier.h"
#include "hidtransport.h"
#include "manualresetevent.h"
#include "replyrouter.h"
#include "requestkind.h"
#include "stationhold.h"
#include "timing.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace nimbra {

// What the link tells its owner. Every call but linkBroken() comes on the thread that calls
// Connect() and OnDeviceChange() (the user-interface thread).
class LinkObserver
{
public:
    virtual ~LinkObserver() = default;
    // A device change ended with the station open.
    virtual void stationFound() = 0;
    // A device change ended without a station; page 0 already holds 0xFF.
    virtual void stationLost() = 0;
    // A matching station was found but the system refused to open it. Told once per process.
    virtual void accessDenied(const std::string& path) = 0;
    // Reader thread or a requester: a read or write failed, the device is most likely gone.
    // Told once per opening. The owner should run OnDeviceChange(Removal) on its own thread.
    virtual void linkBroken() = 0;
    // A search found no free station because another program holds one (see refusal()).
    virtual void stationHeld() {}
};

// Why the last search opened no station although one was there.
struct StationRefusal
{
    std::string stationId;
    std::optional<StationHolder> heldBy; // another program holds it
    std::string problem;                 // its hold could not be tried
};

// What the last search saw.
struct StationSearch
{
    int stations = 0;      // matching interfaces (the chosen one only, when one was chosen)
    std::string stationId; // the one opened; empty when none
    std::optional<StationRefusal> refusal;
};

enum class WriteOutcome
{
    Written,    // every frame went out (the station never confirms more than that)
    ScreenBusy, // the station is not on its main screen: nothing after the check was sent
    Unconnected // no station, or the link broke before every frame went out
};

// The one connection to the station: discovery, the reader thread, and the requesters'
// handshake on the reply event.
class HidLink
{
public:
    // holds: where the station is taken from every other program on the machine; without
    // them (a test's private bus) the station is opened without a hold.
    HidLink(HidTransport& transport, ReplyRouter& router, const Timing& timing,
            const StationHolds* holds = nullptr);
    ~HidLink();
    HidLink(const HidLink&) = delete;
    HidLink& operator=(const HidLink&) = delete;

    void setObserver(LinkObserver* observer);

    // Only the station of this id is searched for from now on; empty: any. Before Connect().
    void chooseStation(std::string stationId) { m_chosen = std::move(stationId); }
    const std::string& chosenStation() const { return m_chosen; }

    // Finds the first free station among the HID interfaces (the chosen one only, if any),
    // takes its hold and opens it; starts the reader thread on the first call. A station
    // another program holds is passed over. Returns whether a station is open.
    bool Connect();
    // Connect()'s thread only.
    const StationSearch& lastSearch() const { return m_search; }
    // Re-runs the search on the arrival of an interface while unconnected and on a removal
    // while connected.
    bool OnDeviceChange(DeviceChange change);

    // Writes one output report, then pauses. Writes from several threads are serialised.
    // Returns whether the report went out: false without a station or once its opening broke.
    bool SendReport(const CommandFrame& command);
    // One request and its reply. Only one exchange is under way at a time; a second requester
    // waits its turn. Replies carry no id, so the request goes out only once the line is quiet:
    // briefly after an answered request, for waitBefore after one whose reply never ended (that
    // reply may still come and must not be taken for this one's). A line that does not go quiet
    // within twice waitBefore gets no request. beforeSend runs after that, just before the
    // request goes out. Returns whether the wait for the reply timed out (also: nothing sent).
    bool Exchange(const CommandFrame& command, RequestKind kind, Millis waitBefore,
                  Millis waitAfter, const std::function<void()>& beforeSend = {});
    // A command the station does not answer, as an exchange of kind NoReply; the second wait
    // gives the station time to take it. Returns whether the frame went out.
    bool Write(const CommandFrame& command, Millis waitBefore, Millis waitAfter);
    // The screen check, then the data frames when the station shows its main screen. The
    // check waits for its own reply (bounded); without one the previous screenBusy decides.
    // A frame that cannot be sent ends the write as Unconnected: the frames after it are not
    // sent either, so the station never gets the tail of a write without its head.
    WriteOutcome GuardedWrite(const std::atomic<int>& screenBusy,
                              std::span<const CommandFrame> frames, Millis firstWait,
                              Millis finalWait);

    // Ends the exchange under way at once, waiting for a quiet line or for its reply: a request
    // not yet sent is not sent. For a requester that is being stopped.
    void cancelExchange();
    // The last reply ended before all of it came (a chunk whose end arrived early): the rest
    // may still be on its way, so the next request waits as after a reply that never ended.
    void replyCutShort();

    // Stops and joins the reader thread and ends every requester's wait at once; from then on
    // exchanges return without waiting. For shutdown.
    void stop();

    bool Connected() const { return m_connected.load(); }
    // No station, or its opening broke (a read or write found the device gone): true from then,
    // before the owner has run OnDeviceChange(Removal), and never for a station that is merely
    // silent.
    bool stationGone() const;
    bool Fahrenheit() const { return m_fahrenheit.load() != 0; }
    void setFahrenheit(int value) { m_fahrenheit.store(value); }
    RequestKind requestKind() const { return m_requestKind.load(); }
    void setRequestKind(RequestKind kind) { m_requestKind.store(kind); }
    ManualResetEvent& ReplyEvent() { return m_replyEvent; }
    const Timing& timing() const { return m_timing; }
    StationKind stationKind() const { return m_transport.stationKind(); }

private:
    struct Connection;

    std::shared_ptr<Connection> currentConnection() const;
    std::shared_ptr<Connection> openStation(const std::string& path);
    std::unique_ptr<StationHold> holdFor(const std::string& stationId, Connection* previous);
    void ReaderThread();
    bool waitReply(Millis timeout);
    bool settle(Millis quietAfterUnanswered);
    void markLineActive();
    bool sendRequest(const CommandFrame& command, RequestKind kind);
    struct Turn
    {
        bool sent = false;
        bool timedOut = false;
    };
    Turn exchangeTurn(const CommandFrame& command, RequestKind kind, Millis waitBefore,
                      Millis waitAfter, const std::function<void()>& beforeSend = {});
    bool readOnce(const std::shared_ptr<Connection>& connection);
    // The opening is dead; its owner is told once.
    void markBroken(Connection& connection);
    WriteOutcome checkScreenThenSend(const std::atomic<int>& screenBusy,
                                     std::span<const CommandFrame> frames, Millis finalWait);

    HidTransport& m_transport;
    ReplyRouter& m_router;
    const Timing m_timing;

    std::atomic<LinkObserver*> m_observer{nullptr};
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_fahrenheit{0};
    std::atomic<RequestKind> m_requestKind{RequestKind::Idle};
    ManualResetEvent m_replyEvent{true};
    ManualResetEvent m_readEvent;
    std::atomic<bool> m_stopping{false};
    std::atomic<unsigned> m_cancels{0}; // grows with every cancelExchange()
    // A request went out whose reply has not ended yet (cleared by the reader at its end).
    std::atomic<bool> m_unanswered{false};
    // The last input report or unanswered time-out, as steady-clock ticks.
    std::atomic<std::chrono::steady_clock::rep> m_lineActive{0};
    bool m_accessDeniedTold = false; // Connect's thread only
    const StationHolds* m_holds = nullptr;
    std::string m_chosen;   // Connect's thread only
    StationSearch m_search; // Connect's thread only

    mutable std::mutex m_connectionMutex;
    std::shared_ptr<Connection> m_connection; // guarded by m_connectionMutex

    std::mutex m_writeMutex;    // one output report at a time
    std::mutex m_exchangeMutex; // one exchange at a time
    std::thread m_reader;       // started by the first Connect
};

} // namespace nimbra
