#pragma once

#include "hidtransport.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace nimbra::test {

struct TimedReply
{
    Payload payload{};
    Millis delay{0};
};

Payload payloadOf(std::initializer_list<std::uint8_t> bytes);
Payload textPayload(std::string_view text);

// A HID bus whose devices answer through a function the test supplies. Every write is logged;
// replies become readable after their delay. Thread-safe: the link's reader reads while the
// test and requester threads write, plug and unplug.
class ScriptedTransport final : public HidTransport
{
public:
    using Responder = std::function<std::vector<TimedReply>(const Payload& command)>;

    void add(const std::string& path, std::uint16_t vendor, std::uint16_t product,
             Responder responder = {});
    void addStation(const std::string& path, Responder responder = {})
    {
        add(path, StationVendorId, StationProductId, std::move(responder));
    }
    void unplug(const std::string& path);
    void setResponder(const std::string& path, Responder responder);
    void denyAccess(const std::string& path);
    // Queues a report as if the device had sent it unasked.
    void inject(const std::string& path, const Payload& payload, Millis delay = Millis(0));

    std::vector<Payload> written(const std::string& path) const;
    std::vector<std::string> openedPaths() const;
    int openCount(const std::string& path) const;

    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path, OpenResult* result) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Device
    {
        HidInterfaceInfo info;
        Responder responder;
        bool plugged = true;
        bool denied = false;
        int generation = 0;
        int opens = 0;
        std::vector<Payload> written;
        std::deque<std::pair<Clock::time_point, Payload>> pending;
    };
    class Handle;

    bool write(const std::string& path, int generation, const Payload& payload);
    int read(const std::string& path, int generation, Payload& payload, Millis timeout);
    void queue(Device& device, const Payload& payload, Millis delay);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_order;        // guarded by m_mutex
    std::map<std::string, Device> m_devices; // guarded by m_mutex
    std::vector<std::string> m_opened;       // guarded by m_mutex
};

} // namespace nimbra::test
