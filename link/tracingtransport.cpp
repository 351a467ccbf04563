#include "tracingtransport.h"

#include <algorithm>

namespace nimbra {

class TracingTransport::Device final : public HidDevice
{
public:
    Device(std::unique_ptr<HidDevice> inner, std::shared_ptr<Shared> shared)
        : m_inner(std::move(inner)), m_shared(std::move(shared))
    {
    }

    bool write(const std::array<std::uint8_t, ReportSize>& report) override
    {
        Payload payload{};
        std::copy(report.begin() + 1, report.end(), payload.begin());
        const CommandInfo* command = findCommand(payload[1]);
        const RequestKind kind = command ? command->kind : RequestKind::Idle;
        m_shared->lastKind.store(kind);
        // Traced before it goes out: the reply may be read before write() returns.
        m_shared->trace.record(TraceDirection::Out, kind, payload);
        const bool written = m_inner->write(report);
        if (!written)
            m_shared->trace.record(TraceDirection::OutFailed, kind, payload);
        return written;
    }

    int read(Payload& payload, Millis timeout) override
    {
        const int n = m_inner->read(payload, timeout);
        if (n > 0) {
            Payload received{};
            std::copy_n(payload.begin(), std::min<std::size_t>(n, PayloadSize), received.begin());
            m_shared->trace.record(TraceDirection::In, m_shared->lastKind.load(), received);
        } else if (n < 0) {
            m_shared->trace.record(TraceDirection::Gone, m_shared->lastKind.load(), Payload{});
        }
        return n;
    }

private:
    const std::unique_ptr<HidDevice> m_inner;
    const std::shared_ptr<Shared> m_shared;
};

TracingTransport::TracingTransport(HidTransport& inner, TraceWriter& trace)
    : m_inner(inner), m_shared(std::make_shared<Shared>(trace))
{
}

std::vector<HidInterfaceInfo> TracingTransport::enumerate()
{
    return m_inner.enumerate();
}

std::unique_ptr<HidDevice> TracingTransport::open(const std::string& path, OpenResult* result)
{
    std::unique_ptr<HidDevice> device = m_inner.open(path, result);
    if (!device)
        return nullptr;
    return std::make_unique<Device>(std::move(device), m_shared);
}

StationKind TracingTransport::stationKind() const
{
    return m_inner.stationKind();
}

} // namespace nimbra
