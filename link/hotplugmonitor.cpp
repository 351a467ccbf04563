#include "hotplugmonitor.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>
#include <libudev.h>

namespace nimbra {

void HotplugMonitor::UdevFree::operator()(udev* context) const
{
    udev_unref(context);
}

void HotplugMonitor::UdevFree::operator()(udev_monitor* monitor) const
{
    udev_monitor_unref(monitor);
}

HotplugMonitor::HotplugMonitor(HidTransport& transport, const Timing& timing, Source source,
                               QObject* parent)
    : QObject(parent), m_transport(transport)
{
    if (source == Source::Automatic && startUdev())
        return;
    m_known = presentPaths();
    m_rescanTimer.setInterval(timing.rescan);
    connect(&m_rescanTimer, &QTimer::timeout, this, &HotplugMonitor::rescan);
    m_rescanTimer.start();
}

HotplugMonitor::~HotplugMonitor() = default;

void HotplugMonitor::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

bool HotplugMonitor::startUdev()
{
    // udevd announces itself through its control socket; without it "udev" events never come.
    if (!QFileInfo::exists(QStringLiteral("/run/udev/control")))
        return false;
    m_udev.reset(udev_new());
    if (!m_udev)
        return false;
    m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"));
    if (!m_monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor.get()) < 0) {
        m_monitor.reset();
        return false;
    }
    m_notifier =
        new QSocketNotifier(udev_monitor_get_fd(m_monitor.get()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &HotplugMonitor::readUdevEvent);
    return true;
}

void HotplugMonitor::readUdevEvent()
{
    udev_device* device = udev_monitor_receive_device(m_monitor.get());
    if (!device)
        return;
    const char* action = udev_device_get_action(device);
    if (action && std::strcmp(action, "add") == 0)
        notify(DeviceChange::Arrival);
    else if (action && std::strcmp(action, "remove") == 0)
        notify(DeviceChange::Removal);
    udev_device_unref(device);
}

std::set<std::string> HotplugMonitor::presentPaths()
{
    std::set<std::string> paths;
    for (const HidInterfaceInfo& info : m_transport.enumerate())
        paths.insert(info.path);
    return paths;
}

void HotplugMonitor::rescan()
{
    std::set<std::string> now = presentPaths();
    const bool removed = !std::includes(now.begin(), now.end(), m_known.begin(), m_known.end());
    const bool added = !std::includes(m_known.begin(), m_known.end(), now.begin(), now.end());
    m_known = std::move(now);
    if (removed)
        notify(DeviceChange::Removal);
    if (added)
        notify(DeviceChange::Arrival);
}

void HotplugMonitor::notify(DeviceChange change)
{
    if (m_handler)
        m_handler(change);
}

} // namespace nimbra
