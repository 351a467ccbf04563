#include "hotplugmonitor.h"
#include "scriptedtransport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

void spin(Millis time)
{
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(HotplugMonitor, RescanReportsRemovalsAndArrivals)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    test::ScriptedTransport bus;
    bus.addStation("A");
    bus.add("mouse", 0x046D, 0xC077);
    Timing timing;
    timing.rescan = Millis(10);
    HotplugMonitor monitor(bus, timing, HotplugMonitor::Source::Rescan);
    std::vector<DeviceChange> seen;
    monitor.setHandler([&seen](DeviceChange change) { seen.push_back(change); });

    spin(Millis(50));
    EXPECT_TRUE(seen.empty()) << "what was there at the start is not news";

    bus.unplug("mouse");
    spin(Millis(50));
    bus.addStation("B");
    spin(Millis(50));
    bus.unplug("A");
    bus.add("keyboard", 0x04F2, 0x0402);
    spin(Millis(50));
    const std::vector<DeviceChange> expected{DeviceChange::Removal, DeviceChange::Arrival,
                                             DeviceChange::Removal, DeviceChange::Arrival};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(monitor.usesUdev());
}

} // namespace
} // namespace nimbra
