#include "emulatorpanel.h"

#include "emulatedbus.h"

#include <QCheckBox>
#include <QVBoxLayout>

namespace nimbra {

EmulatorPanel::EmulatorPanel(EmulatedBus& bus, std::string stationPath, QWidget* parent)
    : QDialog(parent, Qt::Tool), m_bus(bus), m_path(std::move(stationPath))
{
    setWindowTitle(QStringLiteral("Station emulator"));
    auto* plugged = new QCheckBox(QStringLiteral("Station plugged in"), this);
    plugged->setObjectName(QStringLiteral("plugged"));
    plugged->setChecked(m_bus.isPlugged(m_path));
    auto* busy = new QCheckBox(QStringLiteral("Away from its main screen"), this);
    busy->setObjectName(QStringLiteral("busy"));

    connect(plugged, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            m_bus.plug(m_path);
        else
            m_bus.unplug(m_path);
    });
    connect(busy, &QCheckBox::toggled, this, [this](bool on) {
        if (const auto station = m_bus.station(m_path))
            station->setScreenBusy(on);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plugged);
    layout->addWidget(busy);
    setFixedSize(sizeHint());
}

} // namespace nimbra
