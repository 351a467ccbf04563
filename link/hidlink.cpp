#include "hidlink.h"

#include <algorithm>
#include <chrono>

namespace nimbra {

// Each opening of the station has its own handles and its own failure flag, so a read still
// running on an old opening never touches the state of a new one. The handles close when the
// last user (the reader's read, a requester's write) lets go.
struct HidLink::Connection
{
    std::unique_ptr<HidDevice> reader;
    std::unique_ptr<HidDevice> writer;
    std::atomic<bool> broken{false};
    // Connect's thread only; the station goes free when the last user lets go of the opening.
    std::unique_ptr<StationHold> hold;
    std::string stationId;
};

HidLink::HidLink(HidTransport& transport, ReplyRouter& router, const Timing& timing,
                 const StationHolds* holds)
    : m_transport(transport), m_router(router), m_timing(timing), m_holds(holds)
{
}

HidLink::~HidLink()
{
    stop();
}

void HidLink::setObserver(LinkObserver* observer)
{
    m_observer.store(observer);
}

void HidLink::stop()
{
    m_stopping.store(true);
    m_readEvent.set();
    m_replyEvent.set();
    if (m_reader.joinable())
        m_reader.join();
}

void HidLink::cancelExchange()
{
    ++m_cancels;
    m_replyEvent.set();
}

std::shared_ptr<HidLink::Connection> HidLink::currentConnection() const
{
    std::lock_guard lock(m_connectionMutex);
    return m_connection;
}

std::shared_ptr<HidLink::Connection> HidLink::openStation(const std::string& path)
{
    OpenResult readResult = OpenResult::Failed;
    OpenResult writeResult = OpenResult::Failed;
    auto connection = std::make_shared<Connection>();
    connection->reader = m_transport.open(path, &readResult);
    if (connection->reader)
        connection->writer = m_transport.open(path, &writeResult);
    if (connection->reader && connection->writer)
        return connection;

    const bool denied =
        readResult == OpenResult::PermissionDenied || writeResult == OpenResult::PermissionDenied;
    LinkObserver* observer = m_observer.load();
    if (denied && observer && !m_accessDeniedTold) {
        m_accessDeniedTold = true;
        observer->accessDenied(path);
    }
    return nullptr;
}

std::unique_ptr<StationHold> HidLink::holdFor(const std::string& stationId, Connection* previous)
{
    // A second lock taken by this process on the station it holds would be refused.
    if (previous && previous->hold && previous->stationId == stationId)
        return std::move(previous->hold);
    if (!m_holds)
        return std::make_unique<StationHold>(-1, std::filesystem::path());
    HoldAttempt attempt = m_holds->take(stationId);
    if (!attempt.hold && !m_search.refusal)
        m_search.refusal = StationRefusal{stationId, attempt.heldBy, attempt.problem};
    return std::move(attempt.hold);
}

bool HidLink::Connect()
{
    if (!m_reader.joinable() && !m_stopping.load())
        m_reader = std::thread([this] { ReaderThread(); });

    m_connected.store(false);
    m_search = StationSearch();
    const std::shared_ptr<Connection> previous = currentConnection();
    std::shared_ptr<Connection> opened;
    for (const HidInterfaceInfo& info : m_transport.enumerate()) {
        if (info.vendorId != StationVendorId || info.productId != StationProductId)
            continue;
        const std::string id = StationId(info);
        if (!m_chosen.empty() && id != m_chosen)
            continue;
        ++m_search.stations;
        if (opened || m_search.stationId.size())
            continue;
        std::unique_ptr<StationHold> hold = holdFor(id, previous.get());
        if (!hold)
            continue;
        // The first free station wins, also when it cannot be opened: a station that refuses
        // access is reported, not silently replaced by a second one.
        m_search.stationId = id;
        opened = openStation(info.path);
        if (opened) {
            opened->hold = std::move(hold);
            opened->stationId = id;
        }
    }
    if (!opened)
        m_search.stationId.clear();
    else
        m_search.refusal.reset();
    {
        std::lock_guard lock(m_connectionMutex);
        m_connection = opened;
    }
    // Nothing an earlier opening was asked can arrive on a new one.
    m_unanswered.store(false);
    m_connected.store(opened != nullptr);
    m_readEvent.set();
    LinkObserver* observer = m_observer.load();
    if (m_search.refusal && observer)
        observer->stationHeld();
    return opened != nullptr;
}

bool HidLink::OnDeviceChange(DeviceChange change)
{
    const bool wasConnected = m_connected.load();
    const bool relevant = (change == DeviceChange::Arrival && !wasConnected) ||
                          (change == DeviceChange::Removal && wasConnected);
    if (!relevant)
        return true;

    LinkObserver* observer = m_observer.load();
    if (Connect()) {
        if (observer)
            observer->stationFound();
        return true;
    }
    m_router.buffer().fill(0, 0xFF);
    if (observer)
        observer->stationLost();
    m_replyEvent.set();
    return true;
}

void HidLink::markBroken(Connection& connection)
{
    if (connection.broken.exchange(true))
        return;
    if (LinkObserver* observer = m_observer.load())
        observer->linkBroken();
}

bool HidLink::stationGone() const
{
    const std::shared_ptr<Connection> connection = currentConnection();
    return !m_connected.load() || !connection || connection->broken.load();
}

bool HidLink::SendReport(const CommandFrame& command)
{
    std::array<std::uint8_t, ReportSize> report{};
    std::copy(command.bytes().begin(), command.bytes().end(), report.begin() + 1);

    const std::shared_ptr<Connection> connection = currentConnection();
    if (!m_connected.load() || !connection || connection->broken.load())
        return false;
    bool sent = false;
    {
        std::lock_guard lock(m_writeMutex);
        sent = connection->writer->write(report);
    }
    // A write fails only on a device that is gone: the opening is dead from now on, even before
    // the reader's next read finds out.
    if (!sent)
        markBroken(*connection);
    std::this_thread::sleep_for(m_timing.writePause);
    return sent;
}

bool HidLink::waitReply(Millis timeout)
{
    // In slices, so that stop() ends a requester's wait within one slice.
    constexpr Millis Slice(50);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (m_stopping.load())
            return false;
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left <= Millis(0))
            return m_replyEvent.isSet();
        if (m_replyEvent.waitFor(std::min(left, Slice)))
            return true;
    }
}

void HidLink::replyCutShort()
{
    m_unanswered.store(true);
    markLineActive();
}

void HidLink::markLineActive()
{
    m_lineActive.store(std::chrono::steady_clock::now().time_since_epoch().count());
}

bool HidLink::settle(Millis quietAfterUnanswered)
{
    using Clock = std::chrono::steady_clock;
    constexpr Millis Slice(50);
    const Millis longQuiet = std::max(quietAfterUnanswered, m_timing.lineQuiet);
    const auto limit = Clock::now() + 2 * longQuiet;
    const unsigned cancels = m_cancels.load();
    for (;;) {
        if (m_stopping.load() || m_cancels.load() != cancels)
            return false;
        // Without a station nothing can come, and the request will not go out either.
        if (!m_connected.load())
            return true;
        const Millis quiet = m_unanswered.load() ? longQuiet : m_timing.lineQuiet;
        const auto quietAt = Clock::time_point(Clock::duration(m_lineActive.load())) + quiet;
        const auto now = Clock::now();
        if (now >= quietAt)
            return true;
        if (now >= limit)
            return false;
        std::this_thread::sleep_until(std::min({quietAt, limit, now + Slice}));
    }
}

bool HidLink::sendRequest(const CommandFrame& command, RequestKind kind)
{
    // Set before the report goes out, so that a quick reply's end always finds it to clear.
    m_unanswered.store(kind != RequestKind::NoReply);
    const bool sent = SendReport(command);
    if (!sent)
        m_unanswered.store(false);
    return sent;
}

HidLink::Turn HidLink::exchangeTurn(const CommandFrame& command, RequestKind kind,
                                    Millis waitBefore, Millis waitAfter,
                                    const std::function<void()>& beforeSend)
{
    std::lock_guard turn(m_exchangeMutex);
    waitReply(waitBefore);
    Turn result;
    result.timedOut = true;
    if (settle(waitBefore)) {
        m_replyEvent.reset();
        if (beforeSend)
            beforeSend();
        m_requestKind.store(kind);
        result.sent = sendRequest(command, kind);
        result.timedOut = !waitReply(waitAfter);
        // The quiet that the next request waits for starts no earlier than this time-out.
        if (result.timedOut && m_unanswered.load())
            markLineActive();
    }
    m_replyEvent.reset();
    m_replyEvent.set();
    return result;
}

bool HidLink::Exchange(const CommandFrame& command, RequestKind kind, Millis waitBefore,
                       Millis waitAfter, const std::function<void()>& beforeSend)
{
    return exchangeTurn(command, kind, waitBefore, waitAfter, beforeSend).timedOut;
}

bool HidLink::Write(const CommandFrame& command, Millis waitBefore, Millis waitAfter)
{
    return exchangeTurn(command, RequestKind::NoReply, waitBefore, waitAfter).sent;
}

WriteOutcome HidLink::GuardedWrite(const std::atomic<int>& screenBusy,
                                   std::span<const CommandFrame> frames, Millis firstWait,
                                   Millis finalWait)
{
    std::lock_guard turn(m_exchangeMutex);
    waitReply(firstWait);
    // A line that never goes quiet would hand a stray report's byte to the screen check.
    if (!settle(firstWait)) {
        m_replyEvent.set();
        return WriteOutcome::Unconnected;
    }
    m_replyEvent.reset();

    const WriteOutcome outcome = checkScreenThenSend(screenBusy, frames, finalWait);
    // Without a station nobody answers: no reason to wait for the station to settle.
    if (outcome != WriteOutcome::Unconnected)
        waitReply(finalWait);
    m_replyEvent.reset();
    m_replyEvent.set();
    return outcome;
}

WriteOutcome HidLink::checkScreenThenSend(const std::atomic<int>& screenBusy,
                                          std::span<const CommandFrame> frames, Millis finalWait)
{
    using Clock = std::chrono::steady_clock;
    const auto asked = Clock::now();
    m_requestKind.store(RequestKind::ScreenCheck);
    if (!sendRequest(CommandFrame(Command::ScreenCheck), RequestKind::ScreenCheck))
        return WriteOutcome::Unconnected;
    // The station answers within a few milliseconds; the spare time covers a busy bus. The
    // pause is never shorter than the station's own 50 ms.
    if (!waitReply(std::max(m_timing.screenCheck, finalWait)) && m_unanswered.load())
        markLineActive();
    std::this_thread::sleep_until(asked + m_timing.screenCheck);
    if (screenBusy.load() != 0)
        return WriteOutcome::ScreenBusy;

    m_requestKind.store(RequestKind::NoReply);
    for (const CommandFrame& frame : frames) {
        if (!SendReport(frame))
            return WriteOutcome::Unconnected;
        std::this_thread::sleep_for(m_timing.sequencePause);
    }
    return WriteOutcome::Written;
}

void HidLink::ReaderThread()
{
    for (;;) {
        // Reset before the look at m_stopping: a stop() whose set() came between the two
        // would otherwise be wiped out, and the wait below would never end.
        m_readEvent.reset();
        if (m_stopping.load())
            return;
        const std::shared_ptr<Connection> connection = currentConnection();
        if (!m_connected.load() || !connection || connection->broken.load()) {
            m_readEvent.wait();
            continue;
        }
        readOnce(connection);
    }
}

bool HidLink::readOnce(const std::shared_ptr<Connection>& connection)
{
    Payload payload{};
    const int n = connection->reader->read(payload, m_timing.readTimeout);
    if (n < 0) {
        // Told before the waits end, so a requester woken by the break finds its owner told.
        markBroken(*connection);
        m_replyEvent.set();
        return false;
    }
    if (n == 0 || !m_connected.load() || currentConnection() != connection)
        return false;

    markLineActive();
    const DispatchResult result =
        m_router.dispatch(m_requestKind.load(), payload, static_cast<std::size_t>(n));
    if (result.backToIdle)
        m_requestKind.store(RequestKind::Idle);
    if (result.signal) {
        m_unanswered.store(false);
        m_replyEvent.set();
    }
    return true;
}

} // namespace nimbra
