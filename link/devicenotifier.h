#pragma once

#include <functional>

namespace nimbra {

enum class DeviceChange
{
    Arrival,
    Removal
};

// Something that tells when HID interfaces come and go: the platform's hot-plug monitor or the
// emulator. The handler may be called on any thread; the receiver moves it where it belongs.
class DeviceNotifier
{
public:
    using Handler = std::function<void(DeviceChange)>;
    virtual ~DeviceNotifier() = default;
    virtual void setHandler(Handler handler) = 0;
};

} // namespace nimbra
