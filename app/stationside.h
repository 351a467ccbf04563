#pragma once

#include "devicenotifier.h"
#include "hidtransport.h"
#include "timing.h"
#include "uitext.h"

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>

class QWidget;

namespace nimbra {

// What the link talks to and what tells it of plug and unplug: the system's HID interfaces
// with the hot-plug monitor, or the emulated station with its own notifications. Chosen once,
// when the program starts; nothing after that knows which one it got.
struct StationSide
{
    std::unique_ptr<HidTransport> transport;
    std::unique_ptr<QObject> monitor; // owner of the hot-plug watcher, if one is needed
    DeviceNotifier* notifier = nullptr;
    // Shows a window of its own beside the main window (the emulator's controls); may be empty.
    std::function<void(QWidget* mainWindow)> companion;
    // Where the holds of these stations are kept: the machine's for real stations, the
    // user's own for emulated ones (no other user can reach them).
    std::filesystem::path holdFolder;
};

StationSide HardwareStation(const Timing& timing);
// The emulated station keeps its settings in dataFolder, so that it comes back as it was left
// when the program starts again (the language switch restarts it). Its panel speaks language.
// stationId: the station's id; empty for one of this process's own.
StationSide EmulatedStationSide(const QString& dataFolder, Language language,
                                const std::string& stationId);

} // namespace nimbra
