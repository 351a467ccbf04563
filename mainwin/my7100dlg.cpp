#include "my7100dlg.h"

#include "aboutdlg.h"
#include "alarm.h"
#include "calib.h"
#include "channelscreen.h"
#include "clocksync.h"
#include "datapaths.h"
#include "dialogitems.h"
#include "messageservice.h"
#include "setting.h"

#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace nimbra {

namespace {

// Client area below the menu: the background picture with the status bar over its bottom strip.
constexpr int ClientWidth = 485;
constexpr int ClientHeight = 482;

} // namespace

CMy7100Dlg::CMy7100Dlg(HidLink& link, ReplyRouter& router, DeviceNotifier& notifier,
                       MessageService& messages, Language language, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_link(link), m_router(router), m_notifier(notifier), m_messages(messages),
      m_language(language)
{
    SetItemId(this, ResourceId);
    ModalToItsWindow(this);
    setWindowTitle(QStringLiteral("Nimbra"));
    m_router.addScreenBusyReceiver(&m_ScreenBusy);
    m_router.addScreenBusyReceiver(&m_Setting.m_ScreenBusy);
    m_router.addScreenBusyReceiver(&m_Alarm.m_ScreenBusy);
    m_router.addScreenBusyReceiver(&m_Calib.m_ScreenBusy);
    m_router.addScreenBusyReceiver(&m_Lang.m_ScreenBusy);
    m_router.setSettingsDecoder([this](const Page& page) { onSettingsPage(page); });
    m_router.setFileLists(&m_MainFiles, &m_History.files());
}

CMy7100Dlg::~CMy7100Dlg()
{
    shutDown();
    m_router.setSettingsDecoder({});
    m_router.setFileLists(nullptr, nullptr);
    m_link.setObserver(nullptr);
    m_notifier.setHandler({});
}

void CMy7100Dlg::setDataFolder(const QString& folder, const QString& database)
{
    m_dataFolder = folder;
    m_History.setDataFolder(folder.toStdU16String(), database.toStdU16String());
}

int CMy7100Dlg::DoModal()
{
    OnInitDialog();
    return exec();
}

bool CMy7100Dlg::OnInitDialog()
{
    setWindowIcon(WindowIcon());

    m_link.setObserver(this);
    m_link.Connect();
    m_RestartPending = false;
    m_UiText.LoadUiText(m_language);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* client = new QWidget(this);
    client->setFixedSize(ClientWidth, ClientHeight);
    m_screen = new ChannelScreen(
        m_Readings, [this] { return m_link.Fahrenheit(); }, client);
    m_screen->setLabels(LabelsFrom(m_UiText));
    m_screen->move(0, 0);
    layout->addWidget(client);

    buildMenu();
    layout->setMenuBar(menuBar());
    buildStatusBar();
    m_statusBar->setParent(client);
    m_statusBar->setGeometry(0, ClientHeight - m_statusBar->sizeHint().height(), ClientWidth,
                             m_statusBar->sizeHint().height());
    showStatus();
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());

    // Notifications may come on any thread; the search always runs on this one.
    m_notifier.setHandler([this](DeviceChange change) {
        QMetaObject::invokeMethod(
            this, [this, change] { OnDeviceChange(change); }, Qt::QueuedConnection);
    });
    m_router.m_RouteListToMain = true;
    m_Poll.m_PollEvent.set();
    m_Poll.start();
    return true;
}

void CMy7100Dlg::buildMenu()
{
    auto* bar = new QMenuBar(this);
    SetItemId(bar, MenuId);
    QMenu* menu = bar->addMenu(MenuText(m_language, 0));
    QList<QAction*> stationCommands;
    for (int id = FirstMenuCommand; id <= LastMenuCommand; ++id) {
        QAction* action = menu->addAction(MenuText(m_language, id));
        action->setObjectName(QString::number(id));
        connect(action, &QAction::triggered, this, [this, id] { OnMenuCommand(id); });
        stationCommands << action;
    }
    // Every one of them talks to the station; About may open while the clock is being set.
    m_exchange.holdOffWhileRunning(stationCommands);
    const QString about = StringTable(m_language, TextId::AboutMenuItem);
    if (!about.isEmpty()) {
        menu->addSeparator();
        QAction* action = menu->addAction(about);
        action->setObjectName(QString::number(AboutCommand));
        connect(action, &QAction::triggered, this, [this] { OnSysCommand(AboutCommand); });
    }
    // Alt with the title's marked letter opens the menu by itself; F10 needs its own shortcut.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, bar,
            [bar, menu] { bar->setActiveAction(menu->menuAction()); });
    m_menuBar = bar;
}

void CMy7100Dlg::SyncStationClock()
{
    // No poll cycle may start while the question is open or the write runs.
    m_Poll.m_DialogOpen = true;
    if (!stationClockWanted()) {
        m_Poll.m_DialogOpen = false;
        return;
    }
    m_exchange.run(
        [&link = m_link, &pollEvent = m_Poll.m_PollEvent, &screenBusy = m_ScreenBusy] {
            const Timing& timing = link.timing();
            pollEvent.waitFor(timing.dialogOpenWait);
            const CommandFrame frame = SetClockFrame(SystemLocalTime());
            return link.GuardedWrite(screenBusy, {&frame, 1}, timing.syncFirst, timing.syncFinal);
        },
        [this](WriteOutcome outcome) {
            tellClockOutcome(outcome);
            m_Poll.m_DialogOpen = false;
        });
}

bool CMy7100Dlg::stationClockWanted()
{
    if (m_messages.ask(m_UiText.Text(TextId::SyncTimeQuestion), m_UiText.Text(TextId::SyncTime)) !=
        MessageService::Answer::Ok)
        return false;
    if (!m_link.Connected()) {
        m_messages.inform(m_UiText.Text(TextId::Unconnected));
        return false;
    }
    return true;
}

void CMy7100Dlg::tellClockOutcome(WriteOutcome outcome)
{
    switch (outcome) {
    case WriteOutcome::Written:
        m_messages.inform(m_UiText.Text(TextId::SyncTimeSuccess));
        break;
    case WriteOutcome::ScreenBusy:
        m_messages.inform(m_UiText.Text(TextId::SwitchToMainScreen));
        break;
    case WriteOutcome::Unconnected:
        // The station went away before the frame went out: its clock was not set.
        m_messages.inform(m_UiText.Text(TextId::Unconnected));
        break;
    }
}

void CMy7100Dlg::OnLanguage()
{
    RunMenuDialog([this] {
        Lang dialog(m_link, m_messages, m_UiText, m_Lang, SettingsPath(m_dataFolder), this);
        if (dialog.DoModal() != QDialog::Accepted)
            return;
        m_RestartPending = true;
        RestartProgram();
    });
}

void CMy7100Dlg::RestartProgram()
{
    if (m_RestartPending && !(m_restarter && m_restarter())) {
        m_RestartPending = false;
        m_messages.inform(StringTable(m_language, TextId::RestartFailed));
        return;
    }
    reject();
}

void CMy7100Dlg::buildStatusBar()
{
    m_statusBar = new QStatusBar(this);
    SetItemId(m_statusBar, StatusBarId);
    m_statusBar->setSizeGripEnabled(false);
    QPalette palette = m_statusBar->palette();
    palette.setColor(QPalette::Window, QColor(180, 20, 180));
    m_statusBar->setPalette(palette);
    m_statusBar->setAutoFillBackground(true);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(15);
    m_statusBar->setFont(font);

    // Pane 0 names the kind of station when it is not a real one, so an emulated station is
    // never mistaken for hardware.
    m_pane0 = new QLabel(stationKindText(), m_statusBar);
    SetItemId(m_pane0, StatusPane0);
    m_pane0->setFixedWidth(310);
    m_pane1 = new QLabel(m_statusBar);
    SetItemId(m_pane1, StatusPane1);
    m_statusBar->addWidget(m_pane0);
    m_statusBar->addWidget(m_pane1, 1);
}

void CMy7100Dlg::showStatus()
{
    const StationSearch& search = m_link.lastSearch();
    QString station = stationKindText();
    // Which one is named only when there was a choice.
    if (!search.stationId.empty() && search.stations > 1)
        station = (station.isEmpty() ? QString() : station + QStringLiteral(" · ")) +
                  StringTable(m_language, TextId::StationNamed)
                      .arg(QString::fromStdString(search.stationId));
    m_pane0->setText(station);
    if (m_link.Connected() || !search.refusal) {
        m_pane1->setText(
            m_UiText.Text(m_link.Connected() ? TextId::Connected : TextId::Unconnected));
        return;
    }
    const std::optional<StationHolder>& holder = search.refusal->heldBy;
    m_pane1->setText(holder && holder->pid != 0 ? StringTable(m_language, TextId::HeldBy)
                                                      .arg(QString::fromStdString(holder->name))
                                                      .arg(holder->pid)
                                                : StringTable(m_language, TextId::HeldByAnother));
}

QString CMy7100Dlg::stationKindText() const
{
    switch (m_link.stationKind()) {
    case StationKind::Emulated:
        return StringTable(m_language, TextId::EmulatedStation);
    case StationKind::Replayed:
        return StringTable(m_language, TextId::ReplayedStation);
    case StationKind::Hardware:
        break;
    }
    return {};
}

void CMy7100Dlg::refreshScreen()
{
    m_screen->update();
}

void CMy7100Dlg::OnSysCommand(int id)
{
    if ((id & 0xFFF0) != AboutCommand)
        return;
    CAboutDlg about(this);
    about.exec();
}

void CMy7100Dlg::OnMenuCommand(int id)
{
    switch (id) {
    case SetupCommand:
        RunMenuDialog([this] {
            Setting dialog(m_Setting, m_link, m_UiText, m_messages, this);
            dialog.exec();
        });
        break;
    case AlarmCommand:
        RunMenuDialog([this] {
            Alarm dialog(m_Alarm, m_link, m_UiText, m_messages, this);
            dialog.exec();
        });
        break;
    case CalibrationCommand:
        RunMenuDialog([this] {
            const LiveSnapshot now = m_Readings.snapshot();
            m_Calib.m_Readings.m_ReadingTemp = now.m_Temperature;
            m_Calib.m_Readings.m_ReadingHumi = now.m_Humidity;
            Calib dialog(m_Calib, m_link, m_UiText, m_messages, this);
            dialog.exec();
        });
        break;
    case SdCardCommand:
        OnSdCardFile();
        break;
    case SyncTimeCommand:
        SyncStationClock();
        break;
    case LanguageCommand:
        OnLanguage();
        break;
    default:
        break;
    }
}

void CMy7100Dlg::OnSdCardFile()
{
    RunMenuDialog([this] {
        m_router.m_RouteListToMain = false;
        m_History.DoModal();
        m_router.m_RouteListToMain = true;
    });
}

void CMy7100Dlg::OnDeviceChange(DeviceChange change)
{
    if (!m_shutDown)
        m_link.OnDeviceChange(change);
}

void CMy7100Dlg::onSettingsPage(const Page& page)
{
    m_link.setFahrenheit(nimbra::DecodeSettingsPage(page, m_Readings));
    m_Setting.m_SettingsPage.set(page);
}

void CMy7100Dlg::reject()
{
    shutDown();
    QDialog::reject();
}

void CMy7100Dlg::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    // The download worker first: once the link stops, its waits would end as failures.
    m_History.stopTransfer();
    m_link.stop();
    m_Poll.stop();
}

void CMy7100Dlg::stationFound()
{
    showStatus();
    if (ReadingsListener* listener = m_readingsListener.load())
        listener->stationPresent(true);
}

void CMy7100Dlg::stationLost()
{
    m_MainFiles.Reset();
    nimbra::DecodeLiveData(m_router.buffer().page(0), m_Readings);
    showStatus();
    refreshScreen();
    if (ReadingsListener* listener = m_readingsListener.load())
        listener->stationPresent(false);
}

void CMy7100Dlg::accessDenied(const std::string& path)
{
    m_messages.inform(
        QStringLiteral("The station at %1 was found, but this user may not open it.\n"
                       "Install the udev rule 70-nimbra.rules (cmake --install puts it into "
                       "/etc/udev/rules.d), then unplug the station and plug it in again.")
            .arg(QString::fromStdString(path)));
}

void CMy7100Dlg::stationHeld()
{
    // Its holder may end at any time, and no device change tells of that: look again.
    constexpr int LookAgainMs = 2000;
    QTimer::singleShot(LookAgainMs, this, [this] { OnDeviceChange(DeviceChange::Arrival); });
}

void CMy7100Dlg::linkBroken()
{
    QMetaObject::invokeMethod(
        this, [this] { OnDeviceChange(DeviceChange::Removal); }, Qt::QueuedConnection);
}

void CMy7100Dlg::intervalFetched(int minutes)
{
    m_Setting.m_IntervalMinutes = minutes;
}

void CMy7100Dlg::alarmPagesFetched(const std::array<Page, 4>& pages)
{
    m_Alarm.m_pages.set(pages);
}

void CMy7100Dlg::calibrationFetched(const Page& page)
{
    m_Calib.m_OffsetPage.set(page);
}

void CMy7100Dlg::liveFetched(const Page& page, bool answered)
{
    nimbra::DecodeLiveData(page, m_Readings);
    // The screen repeats a stale page; a listener must not take it for a fresh reading.
    ReadingsListener* listener = m_readingsListener.load();
    if (listener && answered)
        listener->readingsPolled(m_Readings.snapshot(), m_link.Fahrenheit());
    else if (listener)
        listener->stationPresent(false);
}

void CMy7100Dlg::repaint()
{
    QMetaObject::invokeMethod(
        this, [this] { refreshScreen(); }, Qt::QueuedConnection);
}

} // namespace nimbra
