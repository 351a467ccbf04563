#pragma once

#include "buscore.h"
#include "devicenotifier.h"
#include "emulatedstation.h"
#include "hidtransport.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace nimbra {

// A HID bus of emulated stations and other interfaces, in the order they were added. It is
// the program's HidTransport and DeviceNotifier when no real station is used.
//
// Device changes made through plug(), unplug() and the add functions reach the handler on the
// calling thread, after the change is complete. A station that vanishes by an injected fault
// is told from the bus's own notice thread, so a writer or reader never calls out.
//
// Lifetime: destroy the bus only when no thread is inside one of its functions; the link's
// reader must have stopped. Handles that outlive the bus are safe but dead (read() -1).
class EmulatedBus final : public HidTransport, public DeviceNotifier
{
public:
    EmulatedBus();
    ~EmulatedBus() override;
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    // Plugs a new station in at the end of the enumeration order; nullptr if the path is taken.
    // serialNumber: its USB serial number, empty for a station without one.
    std::shared_ptr<EmulatedStation> addStation(const std::string& path, std::uint32_t seed = 1,
                                                const std::string& serialNumber = {});
    // Plugs in an interface of another kind; it is listed but cannot be opened. False if the
    // path is taken.
    bool addOtherDevice(const std::string& path, std::uint16_t vendorId, std::uint16_t productId);
    // False when there is no such device or it is already in that state.
    bool plug(const std::string& path);
    bool unplug(const std::string& path);
    bool isPlugged(const std::string& path) const;
    // Opening the station then fails with OpenResult::PermissionDenied.
    void denyAccess(const std::string& path, bool denied = true);

    std::shared_ptr<EmulatedStation> station(const std::string& path) const;
    // How often open() succeeded for path (the link opens a read and a write handle).
    int openCount(const std::string& path) const;

    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path, OpenResult* result) override;
    StationKind stationKind() const override { return StationKind::Emulated; }
    void setHandler(Handler handler) override;

private:
    struct Device
    {
        HidInterfaceInfo info;
        std::shared_ptr<EmulatedStation> station; // empty for other interfaces
        bool plugged = true;                      // other interfaces only; a station knows
        bool denied = false;
        int opens = 0;
    };
    class Handle;

    Device* findLocked(const std::string& path);
    const Device* findLocked(const std::string& path) const;
    bool pluggedLocked(const Device& device) const;
    bool addLocked(Device device);
    void tell(DeviceChange change);
    void noticeLoop();

    const std::shared_ptr<BusCore> m_core = std::make_shared<BusCore>();
    std::vector<Device> m_devices; // guarded by m_core->mutex
    Handler m_handler;             // guarded by m_core->mutex
    std::thread m_noticeThread;    // runs from construction to destruction
};

} // namespace nimbra
