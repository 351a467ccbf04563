#pragma once

#include "alarm.h"
#include "calib.h"
#include "dialogitems.h"
#include "emulatedbus.h"
#include "exchangewait.h"
#include "gatedtransport.h"
#include "my7100dlg.h"
#include "recordingmessages.h"
#include "setting.h"
#include "uitext.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

namespace nimbra::test {

inline constexpr const char* StationPath = "emulated:setup";

// The program's objects in the order main() makes them, with the station's waits scaled down.
// The dialogs open from the window's menu.
struct WindowRig
{
    explicit WindowRig(const std::function<void(StationModel&)>& station = {})
        : timing(Timing{}.scaled(0.02)), station(bus.addStation(StationPath)),
          link(bus, router, timing), window(link, router, bus, messages, Language::English)
    {
        if (station)
            this->station->edit(station);
        window.OnInitDialog();
        window.show();
    }

    // Waits until a whole poll cycle has run, then chooses the menu command and runs act on
    // the dialog while it is showing. A dialog that act leaves open is closed with Exit.
    // Returns whether act saw the dialog and whether it closed with OK.
    template <typename Act> std::pair<bool, bool> onMenuDialog(int command, Act act)
    {
        const auto polled = [this] {
            return window.poll().m_PollEvent.isSet() &&
                   !window.texts().Text(TextId::Save).isEmpty();
        };
        const int before = polledCycles();
        QDeadlineTimer deadline(5000);
        while (polledCycles() == before || !polled()) {
            if (deadline.hasExpired())
                qFatal("no poll cycle");
            QTest::qWait(5);
        }
        bool seen = false;
        bool accepted = false;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog == &window)
                return;
            look.stop();
            seen = true;
            act(dialog);
            accepted = dialog->result() == QDialog::Accepted;
            if (dialog->isVisible())
                dialog->reject();
        });
        look.start(5);
        window.menuBar()->findChild<QAction*>(QString::number(command))->trigger();
        // The dialog opens once the poll cycle under way has ended.
        if (!waitForExchange(&window))
            qFatal("the menu dialog never opened");
        return {seen, accepted};
    }

    // Live requests the station has received: the last request of every poll cycle.
    int polledCycles() const
    {
        int n = 0;
        for (const ReceivedReport& r : station->received())
            n += r.payload()[1] == static_cast<std::uint8_t>(Command::Live);
        return n;
    }

    Timing timing;
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station;
    ReplyRouter router;
    HidLink link;
    RecordingMessages messages;
    CMy7100Dlg window;
};

// A dialog on its own against the emulator: the pages are filled as a poll would fill them.
struct DialogRig
{
    DialogRig()
        : timing(Timing{}.scaled(0.02)), station(bus.addStation(StationPath)),
          link(gate, router, timing)
    {
        texts.LoadUiText(Language::English);
        router.addScreenBusyReceiver(&setting.m_ScreenBusy);
        router.addScreenBusyReceiver(&alarm.m_ScreenBusy);
        router.addScreenBusyReceiver(&calib.m_ScreenBusy);
        link.Connect();
        poll();
        calib.m_Readings.m_ReadingTemp.fill(20.0f);
        calib.m_Readings.m_ReadingHumi.fill(50);
        station->clearReceived();
    }
    ~DialogRig() { link.stop(); }

    // The pages as a poll cycle files them from what the station holds.
    void poll()
    {
        const StationState state = station->state();
        setting.m_SettingsPage.set(state.settingsPage);
        setting.m_IntervalMinutes = state.intervalMinutes;
        alarm.m_pages.set(AlarmPages{
            state.alarmSwitchesPage, {}, state.temperatureLimitsPage, state.humidityLimitsPage});
        calib.m_OffsetPage.set(state.calibrationPage);
    }

    // Codes of the reports the station received since the rig was made.
    std::vector<std::uint8_t> codesReceived() const
    {
        std::vector<std::uint8_t> codes;
        for (const ReceivedReport& r : station->received())
            codes.push_back(r.payload()[1]);
        return codes;
    }

    Timing timing;
    EmulatedBus bus;
    GatedTransport gate{bus};
    std::shared_ptr<EmulatedStation> station;
    ReplyRouter router;
    HidLink link;
    RecordingMessages messages;
    UiText texts;
    SettingData setting;
    AlarmData alarm;
    CalibData calib;
};

template <typename Control> Control* at(const QWidget* dialog, int id)
{
    Control* control = item<Control>(dialog, id);
    if (!control)
        qFatal("no control %d", id);
    return control;
}

} // namespace nimbra::test
