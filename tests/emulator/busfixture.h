#pragma once

#include "emulatedbus.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace nimbra::test {

using SteadyClock = std::chrono::steady_clock;

inline std::array<std::uint8_t, ReportSize> reportOf(const CommandFrame& frame)
{
    std::array<std::uint8_t, ReportSize> report{};
    std::copy(frame.bytes().begin(), frame.bytes().end(), report.begin() + 1);
    return report;
}

inline Millis since(SteadyClock::time_point start)
{
    return std::chrono::duration_cast<Millis>(SteadyClock::now() - start);
}

// Records the device changes the bus tells, with the thread each came on.
class ChangeRecorder
{
public:
    DeviceNotifier::Handler handler()
    {
        return [this](DeviceChange change) {
            std::lock_guard lock(m_mutex);
            m_changes.push_back(change);
            m_threads.push_back(std::this_thread::get_id());
            m_changed.notify_all();
        };
    }

    // Waits until at least n changes were told.
    bool waitFor(std::size_t n, Millis timeout = Millis(2000))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_changes.size() >= n; });
    }

    std::vector<DeviceChange> changes() const
    {
        std::lock_guard lock(m_mutex);
        return m_changes;
    }

    std::vector<std::thread::id> threads() const
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<DeviceChange> m_changes;    // guarded by m_mutex
    std::vector<std::thread::id> m_threads; // guarded by m_mutex
};

// A bus with one station, opened twice as the link opens it: a read and a write handle.
class BusTest : public ::testing::Test
{
protected:
    static constexpr const char* Path = "emulated:station-1";

    void SetUp() override
    {
        bus.setHandler(changes.handler());
        station = bus.addStation(Path);
        ASSERT_TRUE(station);
        reader = bus.open(Path, nullptr);
        writer = bus.open(Path, nullptr);
        ASSERT_TRUE(reader && writer);
    }

    bool send(const CommandFrame& frame) { return writer->write(reportOf(frame)); }

    // Reads up to n reports, each within timeout; stops at the first time-out or failure.
    std::vector<Payload> readReports(std::size_t n, Millis timeout = Millis(200))
    {
        std::vector<Payload> reports;
        Payload payload{};
        while (reports.size() < n && reader->read(payload, timeout) == int(PayloadSize))
            reports.push_back(payload);
        return reports;
    }

    ChangeRecorder changes;
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station;
    std::unique_ptr<HidDevice> reader;
    std::unique_ptr<HidDevice> writer;
};

} // namespace nimbra::test
