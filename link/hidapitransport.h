#pragma once

#include "hidtransport.h"

namespace nimbra {

// The system's HID interfaces through hidapi (hidraw on Linux).
class HidapiTransport final : public HidTransport
{
public:
    HidapiTransport();
    ~HidapiTransport() override;
    HidapiTransport(const HidapiTransport&) = delete;
    HidapiTransport& operator=(const HidapiTransport&) = delete;

    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path, OpenResult* result) override;
};

} // namespace nimbra
