#include "emulatorpanel.h"

#include "emulatedbus.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace nimbra {

EmulatorPanel::EmulatorPanel(EmulatedBus& bus, std::string stationPath, Language language,
                             QWidget* parent)
    : QDialog(parent, Qt::Tool), m_bus(bus), m_path(std::move(stationPath))
{
    setWindowTitle(StringTable(language, TextId::EmulatorTitle));
    auto* plugged = new QCheckBox(StringTable(language, TextId::EmulatorPlugged), this);
    plugged->setObjectName(QStringLiteral("plugged"));
    plugged->setChecked(m_bus.isPlugged(m_path));
    auto* busy = new QCheckBox(StringTable(language, TextId::EmulatorBusy), this);
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
    qApp->installEventFilter(this);
}

EmulatorPanel::~EmulatorPanel()
{
    qApp->removeEventFilter(this);
}

// Whenever another window of the program appears or is brought forward, the panel goes back on
// top of it (without taking the focus), so a dialog never hides the station's plug.
bool EmulatorPanel::eventFilter(QObject* watched, QEvent* event)
{
    const bool shownOrActivated =
        event->type() == QEvent::Show || event->type() == QEvent::WindowActivate;
    if (shownOrActivated && watched != this && isVisible() && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow())
        QTimer::singleShot(0, this, [this] { raise(); });
    return QDialog::eventFilter(watched, event);
}

} // namespace nimbra
