#include "aboutdlg.h"
#include "channelscreen.h"
#include "dialogitems.h"
#include "emulatedbus.h"
#include "exchangewait.h"
#include "my7100dlg.h"
#include "recordingmessages.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <fstream>

using namespace nimbra;

namespace {

constexpr const char* StationPath = "emulated:test";

// The program's objects in the order main() makes them, with the station's waits scaled down.
struct Rig
{
    explicit Rig(Language language = Language::English, Timing t = Timing{}.scaled(0.02))
        : timing(t), station(bus.addStation(StationPath)), link(bus, router, timing),
          window(link, router, bus, messages, language)
    {
    }

    Timing timing;
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station;
    ReplyRouter router;
    HidLink link;
    test::RecordingMessages messages;
    CMy7100Dlg window;
};

QString statusText(const CMy7100Dlg& window)
{
    return item<QLabel>(&window, CMy7100Dlg::StatusPane1)->text();
}

bool allNoValue(const LiveSnapshot& values)
{
    for (int i = 0; i < ReadingSlots; ++i) {
        if (values.m_Temperature[i] != NoValueTemperature || values.m_Humidity[i] != NoValue)
            return false;
    }
    return true;
}

bool allValues(const LiveSnapshot& values)
{
    for (int i = 0; i < ChannelCount; ++i) {
        if (values.m_Temperature[i] == NoValueTemperature)
            return false;
    }
    return true;
}

class PaintCounter final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void showsTheStationsReadingsWhenConnected();
    void unplugAndPlugBack();
    void germanTextsAndMenu();
    void menuFromTheKeyboard();
    void menuCommandsWaitForTheirDialogs();
    void sdCardFilesTakeTheListWhileOpen();
    void downloadResumesAfterTheStationCameBack();
    void aboutBox();
    void noCycleWhileADialogIsOpen();
    void refusedAccessIsExplained();
    void closingDuringASilentCycleIsQuick();
};

void MainWindowTest::showsTheStationsReadingsWhenConnected()
{
    Rig rig;
    rig.window.OnInitDialog();
    rig.window.show();
    QCOMPARE(statusText(rig.window), QStringLiteral("Connected"));
    QCOMPARE(item<QLabel>(&rig.window, CMy7100Dlg::StatusPane0)->text(),
             QStringLiteral("Emulated station"));
    QTRY_VERIFY_WITH_TIMEOUT(allValues(rig.window.readings()), 3000);

    const QList<ScreenBox> boxes =
        ChannelBoxes(rig.window.readings(), false, LabelsFrom(rig.window.texts()));
    QCOMPARE(boxes[1].text.left(15), QStringLiteral("Temperature:\r\n "));
    QVERIFY(!boxes[1].text.contains(QStringLiteral("--")));
    QVERIFY2(!boxes[3].text.contains(QStringLiteral("--")), "dew point of CH1");
    QCOMPARE(rig.window.size(), QSize(485, 482 + rig.window.menuBar()->sizeHint().height()));
}

void MainWindowTest::unplugAndPlugBack()
{
    Rig rig;
    rig.window.OnInitDialog();
    rig.window.show();
    QTRY_VERIFY_WITH_TIMEOUT(allValues(rig.window.readings()), 3000);

    rig.bus.unplug(StationPath);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(rig.window), QStringLiteral("Unconnected"), 1000);
    QVERIFY(allNoValue(rig.window.readings()));
    const QList<ScreenBox> boxes =
        ChannelBoxes(rig.window.readings(), false, LabelsFrom(rig.window.texts()));
    QCOMPARE(boxes[1].text, QStringLiteral("Temperature:\r\n --  \u00B0C"));

    rig.bus.plug(StationPath);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(rig.window), QStringLiteral("Connected"), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(allValues(rig.window.readings()), 3000);
}

void MainWindowTest::germanTextsAndMenu()
{
    Rig rig(Language::German);
    rig.window.OnInitDialog();
    QCOMPARE(statusText(rig.window), QStringLiteral("Verbunden"));
    QCOMPARE(item<QLabel>(&rig.window, CMy7100Dlg::StatusPane0)->text(),
             QStringLiteral("Emulierte Station"));
    const QList<QMenu*> menus = rig.window.menuBar()->findChildren<QMenu*>();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus[0]->title(), QStringLiteral("&Men\u00FC"));
    const QStringList expected{
        QStringLiteral("&Einstellungen"),        QStringLiteral("&Alarm"),
        QStringLiteral("&Kalibrierung"),         QStringLiteral("SD Karte &Datei"),
        QStringLiteral("&Synchronisationszeit"), QStringLiteral("S&prache")};
    for (int i = 0; i < expected.size(); ++i) {
        QAction* action = menus[0]->findChild<QAction*>(QString::number(32772 + i));
        QVERIFY(action);
        QCOMPARE(action->text(), expected[i]);
    }
    rig.bus.unplug(StationPath);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(rig.window), QStringLiteral("Getrennt"), 1000);
}

// F10 and Alt+M open the menu in both languages; in it every item has a letter of its own,
// and the letter runs its item (Sync Time asks its question).
void MainWindowTest::menuFromTheKeyboard()
{
    const struct
    {
        Language language;
        Qt::Key syncTimeLetter;
    } cases[] = {{Language::English, Qt::Key_T}, {Language::German, Qt::Key_S}};
    for (const auto& c : cases) {
        Rig rig(c.language);
        rig.window.OnInitDialog();
        rig.window.show();
        rig.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&rig.window));
        auto* menu = rig.window.menuBar()->findChild<QMenu*>();
        QVERIFY(menu);

        QSet<QKeySequence> letters;
        for (const QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            const QKeySequence letter = QKeySequence::mnemonic(action->text());
            QVERIFY2(!letter.isEmpty(), qPrintable(action->text()));
            QVERIFY2(!letters.contains(letter), qPrintable(action->text()));
            letters.insert(letter);
        }
        QCOMPARE(letters.size(), 7);

        for (const QKeyCombination opener :
             {QKeyCombination(Qt::Key_F10), QKeyCombination(Qt::AltModifier, Qt::Key_M)}) {
            QTest::keyClick(&rig.window, opener.key(), opener.keyboardModifiers());
            QTRY_VERIFY2(menu->isVisible(), qPrintable(QKeySequence(opener).toString()));
            QTest::keyClick(menu, Qt::Key_Escape);
            QTRY_VERIFY(!menu->isVisible());
            QTest::keyClick(rig.window.menuBar(), Qt::Key_Escape);
        }
        QTest::keyClick(&rig.window, Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(menu->isVisible());
        QTest::keyClick(menu, c.syncTimeLetter);
        QTRY_COMPARE(rig.messages.texts(),
                     QStringList{rig.window.texts().Text(TextId::SyncTimeQuestion)});
    }
}

void MainWindowTest::menuCommandsWaitForTheirDialogs()
{
    Rig rig;
    rig.window.OnInitDialog();
    for (int id = CMy7100Dlg::FirstMenuCommand; id <= CMy7100Dlg::LastMenuCommand; ++id) {
        QAction* action = rig.window.menuBar()->findChild<QAction*>(QString::number(id));
        QVERIFY2(action, qPrintable(QString::number(id)));
        QVERIFY(action->isEnabled());
    }
}

// List lines go to the main window's table while the SD-card dialog is closed, to the
// dialog's while it is open; the main table empties when the station is lost.
void MainWindowTest::sdCardFilesTakeTheListWhileOpen()
{
    Rig rig;
    rig.station->edit([](StationModel& model) {
        model.card().clear();
        model.card().put("a.csv", std::string(1536, 'x'));
        model.card().put("b.csv", std::string(2000000, 'x'));
    });
    rig.window.OnInitDialog();
    rig.link.Exchange(CommandFrame(Command::FileList), RequestKind::FileList,
                      rig.timing.fileListBefore, rig.timing.fileListAfter);
    QCOMPARE(rig.window.mainFiles().FileCount(), 2);
    QCOMPARE(rig.window.mainFiles().entries()[1].sizeText, QStringLiteral("1953.13 KB"));

    bool routedToDialog = true;
    int dialogRows = 0;
    // Looked at once the dialog is open and its own file list has come.
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        History& history = rig.window.history();
        if (!history.isVisible() || test::exchangeRunning(&history))
            return;
        look.stop();
        routedToDialog = !rig.router.m_RouteListToMain.load();
        dialogRows = history.files().FileCount();
        history.reject();
    });
    look.start(10);
    rig.window.menuBar()
        ->findChild<QAction*>(QString::number(CMy7100Dlg::SdCardCommand))
        ->trigger();
    QVERIFY(test::waitForExchange(&rig.window));
    QVERIFY(routedToDialog);
    QCOMPARE(dialogRows, 2);
    QVERIFY(rig.router.m_RouteListToMain.load());
    QCOMPARE(rig.window.mainFiles().FileCount(), 2);

    rig.bus.unplug(StationPath);
    QTRY_COMPARE_WITH_TIMEOUT(rig.window.mainFiles().FileCount(), 0, 1000);
}

// An unplug in the middle of a download ends it at once with the failure message; once the
// station is back, Select resumes the copy to the station's bytes.
void MainWindowTest::downloadResumesAfterTheStationCameBack()
{
    Rig rig;
    QTemporaryDir folder;
    const std::filesystem::path data = folder.path().toStdString();
    std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, data / "7100.db");
    std::filesystem::permissions(data / "7100.db", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    std::string content;
    for (int line = 0; content.size() < 20000; ++line)
        content += "2026-12-01 0:" + std::to_string(line % 60) + ":00,21.5,40,7.5,21.0\n";
    rig.station->edit([&](StationModel& model) {
        model.card().clear();
        model.card().put("20261201.csv", content);
    });
    rig.window.setDataFolder(folder.path(), folder.filePath(QStringLiteral("7100.db")));
    rig.window.OnInitDialog();
    History& dialog = rig.window.history();
    rig.router.m_RouteListToMain = false;
    dialog.OnInitDialog();
    QVERIFY(test::waitForExchange(&dialog));
    item<QTableWidget>(&dialog, History::FileList)->setCurrentCell(0, 0);
    auto* select = item<QPushButton>(&dialog, History::SelectButton);
    const auto copy = data / "20261201.csv";

    rig.station->unplugAtDataReport(150);
    select->click();
    QTRY_VERIFY_WITH_TIMEOUT(select->isEnabled() && !rig.messages.texts().isEmpty(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.messages.texts().size(), 2, 1000);
    QCOMPARE(rig.messages.texts().at(0), rig.window.texts().Text(TextId::FileErrors) + u'\n' +
                                             rig.window.texts().Text(TextId::StationWentAway));
    QVERIFY(QRegularExpression(
                QStringLiteral(
                    "^[1-9][0-9]* rows were imported from the incomplete copy of 20261201.csv.$"))
                .match(rig.messages.texts().at(1))
                .hasMatch());
    QTRY_COMPARE_WITH_TIMEOUT(statusText(rig.window), QStringLiteral("Unconnected"), 1000);
    QCOMPARE(std::filesystem::file_size(copy), std::uintmax_t(8192));

    rig.bus.plug(StationPath);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(rig.window), QStringLiteral("Connected"), 1000);
    select->click();
    QTRY_VERIFY_WITH_TIMEOUT(select->isEnabled() && !dialog.transferRunning(), 3000);
    std::ifstream in(copy, std::ios::binary);
    const std::string copied((std::istreambuf_iterator<char>(in)), {});
    QVERIFY(copied == content);
    QCOMPARE(rig.messages.texts().size(), 2);
    QCOMPARE(dialog.records().rowCount(),
             int(std::count(content.begin(), content.end(), '\n')) - 1);
}

void MainWindowTest::aboutBox()
{
    Rig rig;
    rig.window.OnInitDialog();
    QAction* about = rig.window.menuBar()->findChild<QAction*>(QStringLiteral("16"));
    QVERIFY(about);
    QCOMPARE(about->text(), QStringLiteral("&About Nimbra..."));
    QString title;
    QString line;
    QTimer::singleShot(100, [&] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        title = box->windowTitle();
        line = item<QLabel>(box, CAboutDlg::NameId)->text();
        box->close();
    });
    about->trigger();
    QCOMPARE(title, QStringLiteral("ABout Nimbra"));
    QCOMPARE(line, QStringLiteral("Nimbra, 1.3"));
}

void MainWindowTest::noCycleWhileADialogIsOpen()
{
    Rig rig;
    rig.window.OnInitDialog();
    rig.window.show();
    QTRY_VERIFY_WITH_TIMEOUT(allValues(rig.window.readings()), 3000);
    PaintCounter counter;
    rig.window.screen()->installEventFilter(&counter);

    std::size_t before = 0;
    std::size_t after = 0;
    rig.window.RunMenuDialog([&] {
        before = rig.station->received().size();
        QTest::qWait(static_cast<int>(rig.timing.pollPass.count()) * 60);
        after = rig.station->received().size();
    });
    QVERIFY(test::waitForExchange(&rig.window));
    QCOMPARE(after, before);
    QVERIFY2(counter.paints >= 10, qPrintable(QString::number(counter.paints)));
    QVERIFY(!rig.window.poll().m_DialogOpen.load());
}

void MainWindowTest::refusedAccessIsExplained()
{
    Rig rig;
    rig.bus.denyAccess(StationPath);
    rig.window.OnInitDialog();
    QCOMPARE(statusText(rig.window), QStringLiteral("Unconnected"));
    QCOMPARE(rig.messages.texts().size(), 1);
    QVERIFY(rig.messages.texts()[0].contains(QStringLiteral("70-nimbra.rules")));
}

void MainWindowTest::closingDuringASilentCycleIsQuick()
{
    Rig rig(Language::English, Timing{});
    rig.station->setMuted(true);
    rig.window.OnInitDialog();
    QTest::qWait(200);
    QVERIFY(!rig.window.poll().m_PollEvent.isSet());
    QElapsedTimer clock;
    clock.start();
    rig.window.reject();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(MainWindowTest)
#include "test_my7100dlg.moc"
