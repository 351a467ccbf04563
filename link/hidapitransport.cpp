#include "hidapitransport.h"

#include <cerrno>
#include <filesystem>
#include <hidapi.h>
#include <mutex>
#include <unistd.h>

namespace nimbra {

namespace {

struct DeviceCloser
{
    void operator()(hid_device* device) const { hid_close(device); }
};
using DeviceHandle = std::unique_ptr<hid_device, DeviceCloser>;

struct EnumerationFree
{
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};

// hidapi keeps a per-device error string that read and write both rewrite, so every call on
// one handle goes through one lock. Reads are short (the link passes ~50 ms), so a write never
// waits long behind one.
class HidapiDevice final : public HidDevice
{
public:
    explicit HidapiDevice(DeviceHandle handle) : m_handle(std::move(handle)) {}

    bool write(const std::array<std::uint8_t, ReportSize>& report) override
    {
        std::lock_guard lock(m_mutex);
        return hid_write(m_handle.get(), report.data(), report.size()) >= 0;
    }

    int read(Payload& payload, Millis timeout) override
    {
        std::lock_guard lock(m_mutex);
        return hid_read_timeout(m_handle.get(), payload.data(), payload.size(),
                                static_cast<int>(timeout.count()));
    }

private:
    std::mutex m_mutex;
    DeviceHandle m_handle; // guarded by m_mutex
};

// Serial numbers are ASCII on every device seen; anything else would not survive a file name.
std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; text && *text; ++text)
        narrow += *text > 0x20 && *text < 0x7F ? static_cast<char>(*text) : '_';
    return narrow;
}

// hidraw nodes sit below their USB interface in sysfs (".../1-1.2/1-1.2:1.0/0003:0483:..."):
// the interface's name up to its colon is the port.
std::string PortPath(const std::string& node)
{
    const std::string name = std::filesystem::path(node).filename().string();
    std::error_code error;
    const std::filesystem::path device =
        std::filesystem::canonical("/sys/class/hidraw/" + name + "/device", error);
    if (error)
        return {};
    const std::string usbInterface = device.parent_path().filename().string();
    const auto colon = usbInterface.find(':');
    return colon == std::string::npos ? std::string() : usbInterface.substr(0, colon);
}

} // namespace

HidapiTransport::HidapiTransport()
{
    hid_init();
}

HidapiTransport::~HidapiTransport()
{
    hid_exit();
}

std::vector<HidInterfaceInfo> HidapiTransport::enumerate()
{
    std::vector<HidInterfaceInfo> found;
    std::unique_ptr<hid_device_info, EnumerationFree> list(hid_enumerate(0, 0));
    for (const hid_device_info* info = list.get(); info; info = info->next) {
        const std::string path = info->path ? info->path : "";
        const bool station =
            info->vendor_id == StationVendorId && info->product_id == StationProductId;
        found.push_back({path, info->vendor_id, info->product_id, Narrow(info->serial_number),
                         station ? PortPath(path) : std::string()});
    }
    return found;
}

std::unique_ptr<HidDevice> HidapiTransport::open(const std::string& path, OpenResult* result)
{
    DeviceHandle handle(hid_open_path(path.c_str()));
    OpenResult outcome = OpenResult::Opened;
    if (!handle) {
        // hidapi does not say why an open failed; the device node does.
        const bool exists = ::access(path.c_str(), F_OK) == 0;
        const bool usable = ::access(path.c_str(), R_OK | W_OK) == 0;
        outcome = !exists  ? OpenResult::NotFound
                  : usable ? OpenResult::Failed
                           : OpenResult::PermissionDenied;
    }
    if (result)
        *result = outcome;
    if (!handle)
        return nullptr;
    return std::make_unique<HidapiDevice>(std::move(handle));
}

} // namespace nimbra
