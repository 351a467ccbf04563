#include "scriptedtransport.h"

#include <algorithm>

namespace nimbra::test {

Payload payloadOf(std::initializer_list<std::uint8_t> bytes)
{
    Payload p{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), p.size()), p.begin());
    return p;
}

Payload textPayload(std::string_view text)
{
    Payload p{};
    std::copy_n(text.begin(), std::min(text.size(), p.size()), p.begin());
    return p;
}

class ScriptedTransport::Handle final : public HidDevice
{
public:
    Handle(ScriptedTransport& bus, std::string path, int generation)
        : m_bus(bus), m_path(std::move(path)), m_generation(generation)
    {
    }
    bool write(const std::array<std::uint8_t, ReportSize>& report) override
    {
        Payload payload{};
        std::copy(report.begin() + 1, report.end(), payload.begin());
        return report[0] == 0 && m_bus.write(m_path, m_generation, payload);
    }
    int read(Payload& payload, Millis timeout) override
    {
        return m_bus.read(m_path, m_generation, payload, timeout);
    }

private:
    ScriptedTransport& m_bus;
    const std::string m_path;
    const int m_generation;
};

void ScriptedTransport::add(const std::string& path, std::uint16_t vendor, std::uint16_t product,
                            Responder responder)
{
    std::lock_guard lock(m_mutex);
    // Adding a path again is a new plug-in: handles of the earlier one stay dead.
    Device& device = m_devices[path];
    ++device.generation;
    device.info = {path, vendor, product};
    device.responder = std::move(responder);
    device.plugged = true;
    device.denied = false;
    device.opens = 0;
    device.written.clear();
    device.pending.clear();
    std::erase(m_order, path);
    m_order.push_back(path);
}

void ScriptedTransport::unplug(const std::string& path)
{
    {
        std::lock_guard lock(m_mutex);
        m_devices.at(path).plugged = false;
        std::erase(m_order, path);
    }
    m_changed.notify_all();
}

void ScriptedTransport::setResponder(const std::string& path, Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_devices.at(path).responder = std::move(responder);
}

void ScriptedTransport::denyAccess(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_devices.at(path).denied = true;
}

void ScriptedTransport::inject(const std::string& path, const Payload& payload, Millis delay)
{
    {
        std::lock_guard lock(m_mutex);
        queue(m_devices.at(path), payload, delay);
    }
    m_changed.notify_all();
}

std::vector<Payload> ScriptedTransport::written(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    return m_devices.at(path).written;
}

std::vector<std::string> ScriptedTransport::openedPaths() const
{
    std::lock_guard lock(m_mutex);
    return m_opened;
}

int ScriptedTransport::openCount(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    return m_devices.at(path).opens;
}

std::vector<HidInterfaceInfo> ScriptedTransport::enumerate()
{
    std::lock_guard lock(m_mutex);
    std::vector<HidInterfaceInfo> list;
    for (const std::string& path : m_order)
        list.push_back(m_devices.at(path).info);
    return list;
}

std::unique_ptr<HidDevice> ScriptedTransport::open(const std::string& path, OpenResult* result)
{
    std::lock_guard lock(m_mutex);
    auto it = m_devices.find(path);
    OpenResult outcome = OpenResult::Opened;
    if (it == m_devices.end() || !it->second.plugged)
        outcome = OpenResult::NotFound;
    else if (it->second.denied)
        outcome = OpenResult::PermissionDenied;
    if (result)
        *result = outcome;
    if (outcome != OpenResult::Opened)
        return nullptr;
    ++it->second.opens;
    m_opened.push_back(path);
    return std::make_unique<Handle>(*this, path, it->second.generation);
}

void ScriptedTransport::queue(Device& device, const Payload& payload, Millis delay)
{
    device.pending.emplace_back(Clock::now() + delay, payload);
    std::stable_sort(device.pending.begin(), device.pending.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool ScriptedTransport::write(const std::string& path, int generation, const Payload& payload)
{
    Responder responder;
    {
        std::lock_guard lock(m_mutex);
        Device& device = m_devices.at(path);
        if (!device.plugged || device.generation != generation)
            return false;
        device.written.push_back(payload);
        responder = device.responder;
    }
    if (!responder)
        return true;
    const std::vector<TimedReply> replies = responder(payload);
    {
        std::lock_guard lock(m_mutex);
        Device& device = m_devices.at(path);
        for (const TimedReply& reply : replies)
            queue(device, reply.payload, reply.delay);
    }
    m_changed.notify_all();
    return true;
}

int ScriptedTransport::read(const std::string& path, int generation, Payload& payload,
                            Millis timeout)
{
    std::unique_lock lock(m_mutex);
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        Device& device = m_devices.at(path);
        if (!device.plugged || device.generation != generation)
            return -1;
        if (!device.pending.empty() && device.pending.front().first <= Clock::now()) {
            payload = device.pending.front().second;
            device.pending.pop_front();
            return static_cast<int>(payload.size());
        }
        auto wake = deadline;
        if (!device.pending.empty())
            wake = std::min(wake, device.pending.front().first);
        if (m_changed.wait_until(lock, wake) == std::cv_status::timeout && Clock::now() >= deadline)
            return 0;
    }
}

} // namespace nimbra::test
