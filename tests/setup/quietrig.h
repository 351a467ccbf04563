#pragma once

#include "emulatedbus.h"
#include "my7100dlg.h"
#include "recordingmessages.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace nimbra::test {

// The program's objects in the order main() makes them, with the station's waits scaled down.
// Unlike WindowRig of the setup dialogs' test, the poll cycle runs once at the start and then not
// again, so what the station receives afterwards comes from the command under test alone.
struct QuietWindowRig
{
    static constexpr const char* StationPath = "emulated:quiet";

    explicit QuietWindowRig(Language language = Language::English)
        : timing(quietTiming()), station(bus.addStation(StationPath)), link(bus, router, timing),
          window(link, router, bus, messages, language)
    {
    }

    static Timing quietTiming()
    {
        Timing t = Timing{}.scaled(0.02);
        t.pollEveryPasses = 1 << 30;
        return t;
    }

    // Opens the window and waits until its first poll cycle is over.
    bool start()
    {
        window.OnInitDialog();
        window.show();
        return window.poll().m_PollEvent.waitFor(Millis(5000)) &&
               QTest::qWaitFor([&] { return station->received().size() >= 7; }, 5000) &&
               window.poll().m_PollEvent.waitFor(Millis(5000));
    }

    // How many reports with this command code the station received.
    int receivedCount(Command code) const
    {
        const auto reports = station->received();
        return static_cast<int>(std::count_if(reports.begin(), reports.end(), [&](const auto& r) {
            return r.payload()[1] == static_cast<std::uint8_t>(code);
        }));
    }

    Timing timing;
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station;
    ReplyRouter router;
    HidLink link;
    RecordingMessages messages;
    CMy7100Dlg window;
};

// Runs act on the modal dialog with the given resource id as soon as it shows.
inline void WhenDialogShows(int resourceId, std::function<void(QDialog*)> act)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, resourceId, act = std::move(act)] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QString::number(resourceId))
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start(10);
}

} // namespace nimbra::test
