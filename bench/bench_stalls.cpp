// build/bin/bench_stalls (offscreen): every action of the dialogs that talks to the station,
// against the emulated station answering at once, slowly and not at all, with the station's own
// waits. A timer on the user-interface thread ticks every 10 ms meanwhile; the table gives the
// action's own time beside the longest gap between two ticks (the window's longest stall).
// "Delete, 1M rows" deletes with a store of 1,000,000 readings, which the delete empties.
// "SyncTime dialog" is the clock dialog that the window does not open today; "Menu Sync Time"
// runs in the main window with its poll cycle going.
#include "alarm.h"
#include "calib.h"
#include "dialogitems.h"
#include "emulatedbus.h"
#include "history.h"
#include "lang.h"
#include "messageservice.h"
#include "my7100dlg.h"
#include "setting.h"
#include "synctime.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sqlite3.h>

namespace nimbra {
namespace {

constexpr const char* StationPath = "emulated:stalls";

// Every question is answered OK, so Delete and Sync Time go through.
class Agreeing final : public MessageService
{
public:
    void inform(const QString&) override { ++m_told; }
    Answer ask(const QString&, const QString&) override { return Answer::Ok; }
    // The actions that end in a message and nothing else on the screen end with it.
    int told() const { return m_told; }

private:
    int m_told = 0;
};

enum class Pace
{
    Prompt,
    Slow,
    Silent
};

const char* paceName(Pace pace)
{
    switch (pace) {
    case Pace::Prompt:
        return "prompt";
    case Pace::Slow:
        return "slow";
    case Pace::Silent:
        return "silent";
    }
    return "";
}

// One station, its link and the pages a poll would have filled from it.
struct Station
{
    explicit Station(Pace pace)
    {
        texts.LoadUiText(Language::English);
        station->edit([](StationModel& model) {
            model.card().clear();
            model.card().put("20261201.csv", "Time,Temperature(C),Humidity(%)\n");
            model.card().put("20261202.csv", "Time,Temperature(C),Humidity(%)\n");
        });
        router.addScreenBusyReceiver(&setting.m_ScreenBusy);
        router.addScreenBusyReceiver(&alarm.m_ScreenBusy);
        router.addScreenBusyReceiver(&calib.m_ScreenBusy);
        router.addScreenBusyReceiver(&lang.m_ScreenBusy);
        router.m_RouteListToMain = false;
        link.Connect();
        const StationState state = station->state();
        setting.m_SettingsPage.set(state.settingsPage);
        setting.m_IntervalMinutes = state.intervalMinutes;
        alarm.m_pages.set(AlarmPages{
            state.alarmSwitchesPage, {}, state.temperatureLimitsPage, state.humidityLimitsPage});
        calib.m_OffsetPage.set(state.calibrationPage);
        calib.m_Readings.m_ReadingTemp.fill(20.0f);
        calib.m_Readings.m_ReadingHumi.fill(50);
        if (pace == Pace::Slow)
            station->delayReplies(Millis(400));
        else if (pace == Pace::Silent)
            station->setMuted(true);
    }
    ~Station() { link.stop(); }

    Timing timing;
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station = bus.addStation(StationPath);
    ReplyRouter router;
    HidLink link{bus, router, timing};
    Agreeing messages;
    UiText texts;
    SettingData setting;
    AlarmData alarm;
    CalibData calib;
    LangData lang;
};

struct Figures
{
    qint64 actionMs = 0;
    qint64 longestGapMs = 0;
};

// Runs act from the event loop, then keeps the loop running until done() holds.
Figures measure(const std::function<void()>& act, const std::function<bool()>& done)
{
    Figures figures;
    QElapsedTimer sinceTick;
    QElapsedTimer action;
    bool started = false;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (started)
            figures.longestGapMs = std::max(figures.longestGapMs, sinceTick.restart());
    });
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (started && done()) {
            figures.actionMs = action.elapsed();
            loop.quit();
        }
    });
    QTimer::singleShot(0, [&] {
        action.start();
        sinceTick.start();
        started = true;
        act();
    });
    ticker.start(10);
    check.start(1);
    loop.exec();
    figures.longestGapMs = std::max(figures.longestGapMs, sinceTick.elapsed());
    return figures;
}

template <typename Dialog, typename Data> Figures saveOf(Data& data, Station& s, int saveId)
{
    Dialog dialog(data, s.link, s.texts, s.messages);
    dialog.show();
    QApplication::processEvents();
    return measure([&] { item<QPushButton>(&dialog, saveId)->click(); },
                   [&] { return !dialog.isVisible(); });
}

Figures setIntervalOf(Station& s)
{
    Setting dialog(s.setting, s.link, s.texts, s.messages);
    dialog.show();
    QApplication::processEvents();
    auto* button = item<QPushButton>(&dialog, Setting::SetIntervalId);
    return measure([&] { button->click(); }, [&] { return button->isEnabled(); });
}

// The record store of the last import, holding rows readings.
void fillStore(const std::filesystem::path& database, int rows)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(database.c_str(), &db) == SQLITE_OK) {
        const std::string fill = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                 "WHERE i < " +
                                 std::to_string(rows) +
                                 ") INSERT INTO Records SELECT 46000 + i / 1440.0, 20.5, 40, "
                                 "6.5, 20.1 FROM n";
        sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
}

struct Card
{
    explicit Card(Station& s, int storedRows = 0)
        : dialog(s.link, s.router, s.messages, s.texts, [] { return Page{}; })
    {
        s.router.setFileLists(nullptr, &dialog.files());
        const std::filesystem::path folder = dir.path().toStdU16String();
        std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, folder / "7100.db");
        std::filesystem::permissions(folder / "7100.db", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        fillStore(folder / "7100.db", storedRows);
        dialog.setDataFolder(folder, folder / "7100.db");
        dialog.show();
    }

    QTemporaryDir dir;
    History dialog;
};

Figures fileListOf(Station& s)
{
    Card card(s);
    auto* select = item<QPushButton>(&card.dialog, History::SelectButton);
    return measure([&] { card.dialog.OnInitDialog(); }, [&] { return select->isEnabled(); });
}

Figures deleteOf(Station& s, int storedRows)
{
    Card card(s, storedRows);
    auto* select = item<QPushButton>(&card.dialog, History::SelectButton);
    measure([&] { card.dialog.OnInitDialog(); }, [&] { return select->isEnabled(); });
    auto* list = item<QTableWidget>(&card.dialog, History::FileList);
    // A silent station listed nothing: the name is typed in as a picked row would give it.
    if (list->rowCount() > 0)
        list->setCurrentCell(0, 0);
    else
        item<QLabel>(&card.dialog, History::SelectedName)->setText(QStringLiteral("20261201.csv"));
    auto* button = item<QPushButton>(&card.dialog, History::DeleteButton);
    return measure([&] { button->click(); }, [&] { return button->isEnabled(); });
}

Figures syncTimeOf(Station& s)
{
    SyncTime dialog(s.link, s.messages);
    dialog.show();
    QApplication::processEvents();
    return measure([&] { item<QPushButton>(&dialog, SyncTime::SyncButton)->click(); },
                   [&] { return !dialog.isVisible(); });
}

Figures settingSyncTimeOf(Station& s)
{
    Setting dialog(s.setting, s.link, s.texts, s.messages);
    dialog.show();
    QApplication::processEvents();
    return measure([&] { item<QPushButton>(&dialog, Setting::SyncTimeId)->click(); },
                   [&] { return s.messages.told() > 0; });
}

Figures languageSaveOf(Station& s)
{
    QTemporaryDir dir;
    Lang dialog(s.link, s.messages, s.texts, s.lang, dir.filePath(QStringLiteral("Main.ini")));
    dialog.OnInitDialog();
    dialog.show();
    QApplication::processEvents();
    return measure([&] { item<QPushButton>(&dialog, Lang::SaveButton)->click(); },
                   [&] { return !dialog.isVisible(); });
}

Figures menuSyncTimeOf(Station& s)
{
    CMy7100Dlg window(s.link, s.router, s.bus, s.messages, Language::English);
    window.OnInitDialog();
    window.show();
    QApplication::processEvents();
    auto* command =
        window.menuBar()->findChild<QAction*>(QString::number(CMy7100Dlg::SyncTimeCommand));
    return measure([&] { command->trigger(); }, [&] { return s.messages.told() > 0; });
}

struct Action
{
    const char* name;
    std::function<Figures(Station&)> run;
};

} // namespace
} // namespace nimbra

int main(int argc, char** argv)
{
    using namespace nimbra;
    QApplication app(argc, argv);
    const Action actions[] = {
        {"Setup Save", [](Station& s) { return saveOf<Setting>(s.setting, s, Setting::SaveId); }},
        {"Set Interval", setIntervalOf},
        {"Alarm Save", [](Station& s) { return saveOf<Alarm>(s.alarm, s, Alarm::SaveId); }},
        {"Calibration Save", [](Station& s) { return saveOf<Calib>(s.calib, s, Calib::SaveId); }},
        {"SD-card file list", fileListOf},
        {"SD-card Delete", [](Station& s) { return deleteOf(s, 0); }},
        {"Delete, 1M rows", [](Station& s) { return deleteOf(s, 1'000'000); }},
        {"SyncTime dialog", syncTimeOf},
        {"Setup Sync Time", settingSyncTimeOf},
        {"Language Save", languageSaveOf},
        {"Menu Sync Time", menuSyncTimeOf},
    };
    std::printf("%-18s %-7s %12s %16s\n", "action", "station", "action (ms)", "longest stall (ms)");
    for (const Action& action : actions) {
        for (Pace pace : {Pace::Prompt, Pace::Slow, Pace::Silent}) {
            Station station(pace);
            const Figures f = action.run(station);
            std::printf("%-18s %-7s %12lld %16lld\n", action.name, paceName(pace),
                        static_cast<long long>(f.actionMs), static_cast<long long>(f.longestGapMs));
            std::fflush(stdout);
        }
    }
    return 0;
}
