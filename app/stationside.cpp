#include "stationside.h"

#include "emulatedbus.h"
#include "emulatorpanel.h"
#include "hidapitransport.h"
#include "hotplugmonitor.h"
#include "makebus.h"

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
    return side;
}

StationSide EmulatedStationSide(const QString& dataFolder, Language language)
{
    StationSide side;
    std::unique_ptr<EmulatedBus> bus = makeEmulatedBus();
    const std::filesystem::path file =
        QDir(dataFolder).filePath(QStringLiteral("SimulatedStation.txt")).toStdU16String();
    bus->station(EmulatedStationPath)->edit([&file](StationModel& model) {
        KeepSettingsInFile(model, file);
    });
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
