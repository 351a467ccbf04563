#include "stationside.h"

#include "datapaths.h"
#include "emulatedbus.h"
#include "emulatorpanel.h"
#include "hidapitransport.h"
#include "hotplugmonitor.h"
#include "makebus.h"
#include "singleinstance.h"
#include "stationhold.h"

#include <QDir>
#include <QWidget>
#include <filesystem>

namespace nimbra {

StationSide HardwareStation(const Timing& timing)
{
    StationSide side;
    side.transport = std::make_unique<HidapiTransport>();
    auto monitor = std::make_unique<HotplugMonitor>(*side.transport, timing);
    side.notifier = monitor.get();
    side.monitor = std::move(monitor);
    side.holdFolder = MachineHoldFolder();
    return side;
}

StationSide EmulatedStationSide(const QString& dataFolder, Language language,
                                const std::string& stationId)
{
    StationSide side;
    std::unique_ptr<EmulatedBus> bus =
        makeEmulatedBus(stationId.empty() ? DefaultEmulatedStationId() : stationId,
                        SimulatedStationFile(dataFolder));
    side.holdFolder = DefaultLockFolder().toStdU16String();
    EmulatedBus* busPointer = bus.get();
    side.notifier = bus.get();
    side.transport = std::move(bus);
    side.companion = [busPointer, language](QWidget* mainWindow) {
        // A window of its own, not the main window's: the main window's dialogs block their
        // owner only, so the station can be pulled while one of them runs. It goes with the
        // main window, before the bus it drives.
        auto* panel = new EmulatorPanel(*busPointer, EmulatedStationPath, language, nullptr);
        QObject::connect(mainWindow, &QObject::destroyed, [panel] { delete panel; });
        panel->move(mainWindow->frameGeometry().topRight() + QPoint(8, 0));
        panel->show();
    };
    return side;
}

} // namespace nimbra
