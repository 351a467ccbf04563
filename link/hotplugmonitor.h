#pragma once

#include "devicenotifier.h"
#include "hidtransport.h"
#include "timing.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <set>
#include <string>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace nimbra {

// Tells of HID interfaces coming and going. Listens to udev's "hidraw" events when udevd runs
// (its events come after the rules have set the permissions); without udevd that monitor stays
// silent, so it falls back to comparing enumerations once a second. The handler runs on the
// thread that owns this object.
class HotplugMonitor final : public QObject, public DeviceNotifier
{
    Q_OBJECT
public:
    enum class Source
    {
        Automatic,
        Rescan
    };

    HotplugMonitor(HidTransport& transport, const Timing& timing, Source source = Source::Automatic,
                   QObject* parent = nullptr);
    ~HotplugMonitor() override;

    void setHandler(Handler handler) override;
    bool usesUdev() const { return m_monitor != nullptr; }

private:
    struct UdevFree
    {
        void operator()(udev* context) const;
        void operator()(udev_monitor* monitor) const;
    };

    bool startUdev();
    void readUdevEvent();
    void rescan();
    std::set<std::string> presentPaths();
    void notify(DeviceChange change);

    HidTransport& m_transport;
    Handler m_handler;
    std::unique_ptr<udev, UdevFree> m_udev;
    std::unique_ptr<udev_monitor, UdevFree> m_monitor;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_rescanTimer;
    std::set<std::string> m_known;
};

} // namespace nimbra
