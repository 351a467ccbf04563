#pragma once

#include "uitext.h"

#include <QDialog>
#include <memory>

namespace nimbra {

class EmulatedBus;
class EmulatedStation;

// A small tool window beside the main window while the program runs on the emulated station:
// it plugs and unplugs the station and puts it off its main screen, as a user would with the
// real one. It speaks the user-interface language and keeps itself above the program's other
// windows, so it stays at hand while a dialog runs.
class EmulatorPanel final : public QDialog
{
    Q_OBJECT
public:
    EmulatorPanel(EmulatedBus& bus, std::string stationPath, Language language,
                  QWidget* parent = nullptr);
    ~EmulatorPanel() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EmulatedBus& m_bus;
    const std::string m_path;
};

} // namespace nimbra
