#pragma once

#include "hidtransport.h"
#include "reporttrace.h"

#include <atomic>
#include <memory>

namespace nimbra {

// A transport that hands every report sent and received to a trace, and otherwise leaves the
// conversation to the transport it wraps. Replies carry no kind of their own: an input report
// is traced under the kind of the last command written, which is what the link files it under.
class TracingTransport final : public HidTransport
{
public:
    TracingTransport(HidTransport& inner, TraceWriter& trace);

    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path, OpenResult* result) override;
    StationKind stationKind() const override;

private:
    class Device;
    // Shared by the devices of every opening, so the reader sees the kind the writer set.
    struct Shared
    {
        explicit Shared(TraceWriter& writer) : trace(writer) {}
        TraceWriter& trace;
        std::atomic<RequestKind> lastKind{RequestKind::Idle};
    };

    HidTransport& m_inner;
    const std::shared_ptr<Shared> m_shared;
};

} // namespace nimbra
