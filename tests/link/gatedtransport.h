#pragma once

#include "hidtransport.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace nimbra::test {

// Another transport's interfaces, with a gate in front of every write: while the gate is held
// a write waits there, so an exchange stays under way for exactly as long as a test wants.
class GatedTransport final : public HidTransport
{
public:
    explicit GatedTransport(HidTransport& inner) : m_inner(inner) {}

    std::vector<HidInterfaceInfo> enumerate() override { return m_inner.enumerate(); }
    std::unique_ptr<HidDevice> open(const std::string& path, OpenResult* result) override
    {
        std::unique_ptr<HidDevice> device = m_inner.open(path, result);
        if (!device)
            return device;
        return std::make_unique<Device>(std::move(device), *this);
    }
    StationKind stationKind() const override { return m_inner.stationKind(); }

    void hold()
    {
        const std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_held = false;
        }
        m_opened.notify_all();
    }
    // A write is waiting at the gate.
    bool holding() const
    {
        const std::lock_guard lock(m_mutex);
        return m_waiting > 0;
    }

private:
    class Device final : public HidDevice
    {
    public:
        Device(std::unique_ptr<HidDevice> inner, GatedTransport& gate)
            : m_inner(std::move(inner)), m_gate(gate)
        {
        }
        bool write(const std::array<std::uint8_t, ReportSize>& report) override
        {
            m_gate.pass();
            return m_inner->write(report);
        }
        int read(Payload& payload, Millis timeout) override
        {
            return m_inner->read(payload, timeout);
        }

    private:
        std::unique_ptr<HidDevice> m_inner;
        GatedTransport& m_gate;
    };

    void pass()
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_opened.wait(lock, [this] { return !m_held; });
        --m_waiting;
    }

    HidTransport& m_inner;
    mutable std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_held = false; // guarded by m_mutex
    int m_waiting = 0;   // guarded by m_mutex
};

} // namespace nimbra::test
