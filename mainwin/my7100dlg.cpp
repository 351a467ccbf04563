#include "my7100dlg.h"

#include "aboutdlg.h"
#include "channelscreen.h"
#include "dialogitems.h"
#include "messageservice.h"

#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
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
    setWindowTitle(QStringLiteral("Nimbra"));
    m_router.addScreenBusyReceiver(&m_ScreenBusy);
    m_router.addScreenBusyReceiver(&m_Setting.m_ScreenBusy);
    m_router.addScreenBusyReceiver(&m_Alarm.m_ScreenBusy);
    m_router.addScreenBusyReceiver(&m_Calib.m_ScreenBusy);
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
    for (int id = FirstMenuCommand; id <= LastMenuCommand; ++id) {
        QAction* action = menu->addAction(MenuText(m_language, id));
        action->setObjectName(QString::number(id));
        if (id == SdCardCommand) {
            connect(action, &QAction::triggered, this, [this] { OnSdCardFile(); });
            continue;
        }
        // The dialogs behind these commands come with their own subsystems.
        action->setEnabled(false);
    }
    const QString about = StringTable(m_language, 101);
    if (!about.isEmpty()) {
        menu->addSeparator();
        QAction* action = menu->addAction(about);
        action->setObjectName(QString::number(AboutCommand));
        connect(action, &QAction::triggered, this, [this] { OnSysCommand(AboutCommand); });
    }
    m_menuBar = bar;
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
    m_pane0 = new QLabel(QString::fromStdString(m_link.description()), m_statusBar);
    SetItemId(m_pane0, StatusPane0);
    m_pane0->setFixedWidth(310);
    m_pane1 = new QLabel(m_statusBar);
    SetItemId(m_pane1, StatusPane1);
    m_statusBar->addWidget(m_pane0);
    m_statusBar->addWidget(m_pane1, 1);
}

void CMy7100Dlg::showStatus()
{
    m_pane1->setText(m_UiText.Text(m_link.Connected() ? 233 : 232));
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
}

void CMy7100Dlg::stationLost()
{
    m_MainFiles.Reset();
    nimbra::DecodeLiveData(m_router.buffer().page(0), m_Readings);
    showStatus();
    refreshScreen();
}

void CMy7100Dlg::accessDenied(const std::string& path)
{
    m_messages.inform(
        QStringLiteral("The station at %1 was found, but this user may not open it.\n"
                       "Install the udev rule 70-nimbra.rules (cmake --install puts it into "
                       "/etc/udev/rules.d), then unplug the station and plug it in again.")
            .arg(QString::fromStdString(path)));
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

void CMy7100Dlg::liveFetched(const Page& page)
{
    nimbra::DecodeLiveData(page, m_Readings);
}

void CMy7100Dlg::repaint()
{
    QMetaObject::invokeMethod(
        this, [this] { refreshScreen(); }, Qt::QueuedConnection);
}

} // namespace nimbra
