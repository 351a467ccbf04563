#include "emulatedbus.h"

#include <algorithm>

namespace nimbra {

// An opened station. Several handles of one station share its reply queue.
class EmulatedBus::Handle final : public HidDevice
{
public:
    Handle(std::shared_ptr<EmulatedStation> station, std::uint64_t generation)
        : m_station(std::move(station)), m_generation(generation)
    {
    }

    bool write(const std::array<std::uint8_t, ReportSize>& report) override
    {
        return m_station->write(m_generation, report);
    }

    int read(Payload& payload, Millis timeout) override
    {
        return m_station->read(m_generation, payload, timeout);
    }

private:
    const std::shared_ptr<EmulatedStation> m_station;
    const std::uint64_t m_generation;
};

EmulatedBus::EmulatedBus() : m_noticeThread([this] { noticeLoop(); }) {}

EmulatedBus::~EmulatedBus()
{
    {
        std::lock_guard lock(m_core->mutex);
        m_core->closing = true;
        for (Device& device : m_devices)
            if (device.station && device.station->presentLocked())
                device.station->unplugLocked();
        m_core->changed.notify_all();
    }
    m_noticeThread.join();
}

namespace {

// For the const and the non-const lookup alike.
template <typename Devices> auto* findByPath(Devices& devices, const std::string& path)
{
    auto it = std::find_if(devices.begin(), devices.end(),
                           [&](const auto& d) { return d.info.path == path; });
    return it == devices.end() ? nullptr : &*it;
}

} // namespace

EmulatedBus::Device* EmulatedBus::findLocked(const std::string& path)
{
    return findByPath(m_devices, path);
}

const EmulatedBus::Device* EmulatedBus::findLocked(const std::string& path) const
{
    return findByPath(m_devices, path);
}

bool EmulatedBus::pluggedLocked(const Device& device) const
{
    return device.station ? device.station->presentLocked() : device.plugged;
}

bool EmulatedBus::addLocked(Device device)
{
    if (findLocked(device.info.path))
        return false;
    m_devices.push_back(std::move(device));
    return true;
}

std::shared_ptr<EmulatedStation> EmulatedBus::addStation(const std::string& path,
                                                         std::uint32_t seed,
                                                         const std::string& serialNumber)
{
    auto station = std::make_shared<EmulatedStation>(path, seed, m_core);
    {
        std::lock_guard lock(m_core->mutex);
        if (!addLocked({{path, StationVendorId, StationProductId, serialNumber}, station}))
            return nullptr;
    }
    tell(DeviceChange::Arrival);
    return station;
}

bool EmulatedBus::addOtherDevice(const std::string& path, std::uint16_t vendorId,
                                 std::uint16_t productId)
{
    {
        std::lock_guard lock(m_core->mutex);
        if (!addLocked({{path, vendorId, productId}, nullptr}))
            return false;
    }
    tell(DeviceChange::Arrival);
    return true;
}

bool EmulatedBus::plug(const std::string& path)
{
    {
        std::lock_guard lock(m_core->mutex);
        Device* device = findLocked(path);
        if (!device || pluggedLocked(*device))
            return false;
        if (device->station)
            device->station->plugLocked();
        device->plugged = true;
    }
    tell(DeviceChange::Arrival);
    return true;
}

bool EmulatedBus::unplug(const std::string& path)
{
    {
        std::lock_guard lock(m_core->mutex);
        Device* device = findLocked(path);
        if (!device || !pluggedLocked(*device))
            return false;
        if (device->station)
            device->station->unplugLocked();
        device->plugged = false;
    }
    tell(DeviceChange::Removal);
    return true;
}

bool EmulatedBus::isPlugged(const std::string& path) const
{
    std::lock_guard lock(m_core->mutex);
    const Device* device = findLocked(path);
    return device && pluggedLocked(*device);
}

void EmulatedBus::denyAccess(const std::string& path, bool denied)
{
    std::lock_guard lock(m_core->mutex);
    if (Device* device = findLocked(path))
        device->denied = denied;
}

std::shared_ptr<EmulatedStation> EmulatedBus::station(const std::string& path) const
{
    std::lock_guard lock(m_core->mutex);
    const Device* device = findLocked(path);
    return device ? device->station : nullptr;
}

int EmulatedBus::openCount(const std::string& path) const
{
    std::lock_guard lock(m_core->mutex);
    const Device* device = findLocked(path);
    return device ? device->opens : 0;
}

std::vector<HidInterfaceInfo> EmulatedBus::enumerate()
{
    std::lock_guard lock(m_core->mutex);
    std::vector<HidInterfaceInfo> listed;
    for (const Device& device : m_devices)
        if (pluggedLocked(device))
            listed.push_back(device.info);
    return listed;
}

std::unique_ptr<HidDevice> EmulatedBus::open(const std::string& path, OpenResult* result)
{
    OpenResult outcome = OpenResult::Opened;
    std::unique_ptr<HidDevice> handle;
    {
        std::lock_guard lock(m_core->mutex);
        Device* device = findLocked(path);
        if (!device || !pluggedLocked(*device))
            outcome = OpenResult::NotFound;
        else if (device->denied)
            outcome = OpenResult::PermissionDenied;
        else if (!device->station)
            outcome = OpenResult::Failed; // only stations are emulated behind their listing
        else {
            handle = std::make_unique<Handle>(device->station, device->station->generationLocked());
            ++device->opens;
        }
    }
    if (result)
        *result = outcome;
    return handle;
}

void EmulatedBus::setHandler(Handler handler)
{
    std::lock_guard lock(m_core->mutex);
    m_handler = std::move(handler);
}

void EmulatedBus::tell(DeviceChange change)
{
    Handler handler;
    {
        std::lock_guard lock(m_core->mutex);
        handler = m_handler;
    }
    if (handler)
        handler(change);
}

void EmulatedBus::noticeLoop()
{
    std::unique_lock lock(m_core->mutex);
    for (;;) {
        m_core->changed.wait(lock, [&] { return m_core->closing || !m_core->notices.empty(); });
        if (m_core->closing)
            return;
        const DeviceChange change = m_core->notices.front();
        m_core->notices.pop_front();
        Handler handler = m_handler;
        lock.unlock();
        if (handler)
            handler(change);
        lock.lock();
    }
}

} // namespace nimbra
