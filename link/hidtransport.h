#pragma once

#include "commandframe.h"
#include "timing.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbra {

inline constexpr std::uint16_t StationVendorId = 0x0483;
inline constexpr std::uint16_t StationProductId = 0x5750;

struct HidInterfaceInfo
{
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serialNumber; // empty when the device has none
    std::string portPath;     // the USB port it is plugged into ("1-1.2"); may be empty
};

// One opened HID interface. write() and read() may be called from two threads at once (the
// reader reads while requesters write); implementations make that safe.
class HidDevice
{
public:
    virtual ~HidDevice() = default;

    // A whole output report: report id 0 and the 64 payload bytes.
    virtual bool write(const std::array<std::uint8_t, ReportSize>& report) = 0;

    // Waits up to timeout for one input report and stores its payload (the bytes after the
    // report id). Returns the payload length (64 for a full report), 0 on time-out, -1 when the
    // device is gone.
    virtual int read(Payload& payload, Millis timeout) = 0;
};

// What stands behind a transport, so the window can say so in its own language.
enum class StationKind
{
    Hardware,
    Emulated,
    Replayed
};

enum class OpenResult
{
    Opened,
    NotFound,
    PermissionDenied,
    Failed
};

// The platform's HID interfaces: enumeration in the system's order, and opening one by path.
class HidTransport
{
public:
    virtual ~HidTransport() = default;

    virtual std::vector<HidInterfaceInfo> enumerate() = 0;
    virtual std::unique_ptr<HidDevice> open(const std::string& path, OpenResult* result) = 0;

    // Named to the user beside the connection state, except for real hardware.
    virtual StationKind stationKind() const { return StationKind::Hardware; }
};

} // namespace nimbra
