#pragma once

#include <QDialog>
#include <memory>

namespace nimbra {

class EmulatedBus;
class EmulatedStation;

// A small tool window beside the main window while the program runs on the emulated station:
// it plugs and unplugs the station and puts it off its main screen, as a user would with the
// real one.
class EmulatorPanel final : public QDialog
{
    Q_OBJECT
public:
    EmulatorPanel(EmulatedBus& bus, std::string stationPath, QWidget* parent = nullptr);

private:
    EmulatedBus& m_bus;
    const std::string m_path;
};

} // namespace nimbra
