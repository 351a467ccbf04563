#pragma once

#include "devicenotifier.h"
#include "exchangerunner.h"
#include "filetable.h"
#include "hidlink.h"
#include "history.h"
#include "lang.h"
#include "livereadings.h"
#include "pollthread.h"
#include "readingslistener.h"
#include "replyrouter.h"
#include "setupdata.h"
#include "uitext.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QMenuBar;
class QStatusBar;

namespace nimbra {

class ChannelScreen;
class MessageService;

// Starts a new copy of the program in place of this one; false when none could be started.
using ProgramRestarter = std::function<bool()>;

// The main window: the painted channel boxes, the connection state, the menu, and the owner of
// everything that talks to the station while the program runs.
class CMy7100Dlg final : public QDialog, private LinkObserver, private PollTargets
{
    Q_OBJECT
public:
    static constexpr int ResourceId = 102;
    static constexpr int MenuId = 131;
    static constexpr int AboutCommand = 16;
    static constexpr int StatusBarId = 0xE801;
    static constexpr int StatusPane0 = 0xE701;
    static constexpr int StatusPane1 = 0xE702;
    static constexpr int FirstMenuCommand = 32772;
    static constexpr int SetupCommand = 32772;
    static constexpr int AlarmCommand = 32773;
    static constexpr int CalibrationCommand = 32774;
    static constexpr int SdCardCommand = 32775;
    static constexpr int SyncTimeCommand = 32776;
    static constexpr int LanguageCommand = 32777;
    static constexpr int LastMenuCommand = 32777;

    CMy7100Dlg(HidLink& link, ReplyRouter& router, DeviceNotifier& notifier,
               MessageService& messages, Language language, QWidget* parent = nullptr);
    ~CMy7100Dlg() override;

    // Where Main.ini lives, and where the SD-card dialog keeps its local copies and finds the
    // record store.
    void setDataFolder(const QString& folder, const QString& database);
    // What the language switch runs to bring the program back in the new language.
    void setRestarter(ProgramRestarter restarter) { m_restarter = std::move(restarter); }
    // Told of every poll's readings and of the station coming and going (a broker publisher).
    // Set before the window runs; it must outlive the window's threads.
    void setReadingsListener(ReadingsListener* listener) { m_readingsListener.store(listener); }

    // Initialises in the fixed order, then runs the window modally.
    int DoModal();
    bool OnInitDialog();

    // Runs a menu dialog with the poll cycle held off: waits for a running cycle first.
    template <typename Show> void RunMenuDialog(Show show);

    // Menu command 32776: sets the station's clock after a question and the screen check. The
    // write runs off the user-interface thread with the station's menu commands off.
    void SyncStationClock();
    // Menu command 32777: the language dialog, and the restart when it saved a language.
    void OnLanguage();
    // Hands over to a new copy when a restart is pending, then closes this window. A copy that
    // cannot be started is told and this one runs on.
    void RestartProgram();

    const UiText& texts() const { return m_UiText; }
    LiveSnapshot readings() const { return m_Readings.snapshot(); }
    PollThread& poll() { return m_Poll; }
    SettingData& setting() { return m_Setting; }
    AlarmData& alarm() { return m_Alarm; }
    CalibData& calib() { return m_Calib; }
    History& history() { return m_History; }
    const FileTable& mainFiles() const { return m_MainFiles; }

    std::atomic<int> m_ScreenBusy{0};
    bool m_RestartPending = false;

    QMenuBar* menuBar() const { return m_menuBar; }
    ChannelScreen* screen() const { return m_screen; }

public slots:
    // Stops the poll and reader threads before the window goes away.
    void reject() override;

private:
    void buildMenu();
    bool stationClockWanted();
    void tellClockOutcome(WriteOutcome outcome);
    void refreshScreen();
    void buildStatusBar();
    void showStatus();
    // Pane 0 names a station that is no hardware, in the window's language.
    QString stationKindText() const;
    void OnSysCommand(int id);
    void OnMenuCommand(int id);
    void OnSdCardFile();
    void OnDeviceChange(DeviceChange change);
    void onSettingsPage(const Page& page);
    void shutDown();

    // LinkObserver
    void stationFound() override;
    void stationLost() override;
    void accessDenied(const std::string& path) override;
    void stationHeld() override;
    void linkBroken() override;

    // PollTargets
    void intervalFetched(int minutes) override;
    void alarmPagesFetched(const std::array<Page, 4>& pages) override;
    void calibrationFetched(const Page& page) override;
    void liveFetched(const Page& page, bool answered) override;
    void repaint() override;

    HidLink& m_link;
    ReplyRouter& m_router;
    DeviceNotifier& m_notifier;
    MessageService& m_messages;
    const Language m_language;

    UiText m_UiText;
    LiveReadings m_Readings;
    SettingData m_Setting;
    AlarmData m_Alarm;
    CalibData m_Calib;
    LangData m_Lang;
    PollThread m_Poll{m_link, m_router, *this};
    // List lines that arrive while the SD-card dialog is closed; nothing shows them.
    FileTable m_MainFiles{SizeTextStyle::Kilobytes};
    History m_History{
        m_link, m_router, m_messages, m_UiText, [this] { return m_Setting.m_SettingsPage.get(); },
        this};

    ChannelScreen* m_screen = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_pane0 = nullptr;
    QLabel* m_pane1 = nullptr;
    bool m_shutDown = false;
    std::atomic<ReadingsListener*> m_readingsListener{nullptr};
    QString m_dataFolder;
    ProgramRestarter m_restarter;
    // Last, so that it waits for its worker before the poll thread and the link go.
    ExchangeRunner m_exchange{this};
};

template <typename Show> void CMy7100Dlg::RunMenuDialog(Show show)
{
    // The poll cycle under way ends first; a slow or silent station can hold it for seconds, so
    // the wait is the worker's, and the dialog opens once it is over.
    m_exchange.run(
        [this] {
            m_Poll.m_PollEvent.waitFor(m_link.timing().dialogOpenWait);
            m_Poll.m_DialogOpen = true;
            return true;
        },
        [this, show = std::move(show)](bool) mutable {
            show();
            m_Poll.m_DialogOpen = false;
        });
}

} // namespace nimbra
