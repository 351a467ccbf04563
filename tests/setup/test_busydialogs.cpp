// Every dialog action that talks to the station, while the station's side holds the exchange:
// the window keeps answering, the dialog is busy and stays open, and once the frame is through
// the outcome and its messages follow as they always did.
#include "dialogrig.h"
#include "history.h"
#include "lang.h"
#include "synctime.h"
#include "tempdatabase.h"

#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace nimbra;
using test::exchangeRunning;
using test::waitForExchange;

namespace {

constexpr std::uint8_t code(Command command)
{
    return static_cast<std::uint8_t>(command);
}

// The setup dialogs' data as a poll fills it, and the SD-card dialog, on a gated station.
struct Rig : test::DialogRig
{
    Rig()
    {
        station->edit([](StationModel& model) {
            model.card().clear();
            model.card().put("20261201.csv", "Time,Temperature(C),Humidity(%)\n");
            model.card().put("20261202.csv", "Time,Temperature(C),Humidity(%)\n");
        });
        router.m_RouteListToMain = false;
        router.setFileLists(nullptr, &card.files());
        card.setDataFolder(database.folder(), database.path());
        router.addScreenBusyReceiver(&lang.m_ScreenBusy);
    }
    // A failed check may leave the gate held: the dialogs' workers must get through to end.
    ~Rig() { gate.release(); }

    int cardRows() const { return item<QTableWidget>(&card, History::FileList)->rowCount(); }

    test::TempDatabase database;
    LangData lang;
    History card{link, router, messages, texts, [] { return Page{}; }};
    std::unique_ptr<QDialog> dialog; // a setup dialog of the case
};

void press(QDialog* dialog, int id)
{
    item<QPushButton>(dialog, id)->click();
}

// The main window's menu commands, all of which talk to the station; none outside the window.
QList<QAction*> menuCommands(const QDialog* dialog)
{
    QList<QAction*> commands;
    for (int id = CMy7100Dlg::FirstMenuCommand; id <= CMy7100Dlg::LastMenuCommand; ++id) {
        if (auto* command = dialog->findChild<QAction*>(QString::number(id)))
            commands << command;
    }
    return commands;
}

// The main window with its poll thread ended after its last cycle: the station receives only
// what the command sends.
QDialog* quietWindow(Rig& rig)
{
    auto window = std::make_unique<CMy7100Dlg>(rig.link, rig.router, rig.bus, rig.messages,
                                               Language::English);
    window->OnInitDialog();
    window->poll().stop();
    rig.messages.answer(MessageService::Answer::Ok);
    rig.dialog = std::move(window);
    return rig.dialog.get();
}

} // namespace

class BusyDialogsTest : public QObject
{
    Q_OBJECT
private slots:
    void theWindowAnswersWhileTheStationTakesItsTime();
    void aDialogGoneDuringAnExchangeIsLeftAlone();
};

void BusyDialogsTest::theWindowAnswersWhileTheStationTakesItsTime()
{
    struct Case
    {
        const char* name;
        std::function<QDialog*(Rig&)> open; // the dialog as the user sees it before acting
        std::function<void(QDialog*)> act;
        int button; // pressed by act, or the one the outcome enables; none in the window
        std::vector<std::uint8_t> sent;
        QStringList told;   // every message, in order, once the outcome is shown
        int toldFirst = 0;  // how many of them come before the exchange
        bool closes = true; // the outcome closes the dialog
        int rows = -1;      // the card's rows while the exchange runs, then after it
        int rowsAfter = -1;
    };
    const auto setupDialog = [](auto make) {
        return [make](Rig& rig) -> QDialog* {
            rig.dialog = make(rig);
            return rig.dialog.get();
        };
    };
    const auto setting = setupDialog(
        [](Rig& r) { return std::make_unique<Setting>(r.setting, r.link, r.texts, r.messages); });
    const auto listedCard = [](Rig& rig) -> QDialog* {
        rig.card.OnInitDialog();
        if (!waitForExchange(&rig.card))
            qFatal("no file list");
        item<QTableWidget>(&rig.card, History::FileList)->setCurrentCell(1, 0);
        rig.messages.answer(MessageService::Answer::Ok);
        return &rig.card;
    };
    const auto clockDialog =
        setupDialog([](Rig& r) { return std::make_unique<SyncTime>(r.link, r.messages); });
    const auto langDialog = setupDialog([](Rig& r) {
        auto dialog = std::make_unique<Lang>(
            r.link, r.messages, r.texts, r.lang,
            QString::fromStdU16String((r.database.folder() / "Main.ini").u16string()));
        dialog->OnInitDialog();
        return dialog;
    });
    const Case cases[] = {
        {"Setup Save",
         setting,
         [](QDialog* d) { press(d, Setting::SaveId); },
         Setting::SaveId,
         {0x51, 0x10, code(Command::EndOfWrite)},
         {}},
        {"Set Interval",
         setting,
         [](QDialog* d) { press(d, Setting::SetIntervalId); },
         Setting::SetIntervalId,
         {code(Command::SetInterval)},
         {QStringLiteral("Set Interval Success")},
         0,
         false},
        {"Setup Sync Time",
         setting,
         [](QDialog* d) { press(d, Setting::SyncTimeId); },
         Setting::SyncTimeId,
         {code(Command::SetClock)},
         {QStringLiteral("Sync Time Success.")},
         0,
         false},
        {"SyncTime dialog",
         clockDialog,
         [](QDialog* d) { press(d, SyncTime::SyncButton); },
         SyncTime::SyncButton,
         {code(Command::SetClock)},
         {QStringLiteral("Sync Time Success.")}},
        {"Language Save",
         langDialog,
         [](QDialog* d) { press(d, Lang::SaveButton); },
         Lang::SaveButton,
         {code(Command::ScreenCheck), code(Command::WriteLanguage), code(Command::EndOfWrite)},
         {}},
        {"Menu Sync Time",
         quietWindow,
         [](QDialog* d) {
             d->findChild<QAction*>(QString::number(CMy7100Dlg::SyncTimeCommand))->trigger();
         },
         0,
         {code(Command::ScreenCheck), code(Command::SetClock)},
         {QStringLiteral("Are you want to Synchronization Time?"),
          QStringLiteral("Sync Time Success")},
         1,
         false},
        {"Alarm Save",
         setupDialog(
             [](Rig& r) { return std::make_unique<Alarm>(r.alarm, r.link, r.texts, r.messages); }),
         [](QDialog* d) { press(d, Alarm::SaveId); },
         Alarm::SaveId,
         {0x51, 0x12, 0x14, 0x15, code(Command::EndOfWrite)},
         {}},
        {"Calibration Save",
         setupDialog(
             [](Rig& r) { return std::make_unique<Calib>(r.calib, r.link, r.texts, r.messages); }),
         [](QDialog* d) { press(d, Calib::SaveId); },
         Calib::SaveId,
         {0x51, 0x11, code(Command::EndOfWrite)},
         {}},
        {"SD-card file list",
         [](Rig& rig) -> QDialog* { return &rig.card; },
         [](QDialog* d) { static_cast<History*>(d)->OnInitDialog(); },
         History::SelectButton,
         {code(Command::FileList)},
         {},
         0,
         false,
         0,
         2},
        {"SD-card Delete",
         listedCard,
         [](QDialog* d) { press(d, History::DeleteButton); },
         History::DeleteButton,
         {code(Command::DeleteFile)},
         {QStringLiteral("Delete 20261202.csv from the station's card?\n"
                         "Are you sure to delete the file?")},
         1,
         false,
         2,
         1},
    };
    for (const Case& c : cases) {
        Rig rig;
        QDialog* dialog = c.open(rig);
        dialog->show();
        rig.station->clearReceived();
        rig.gate.hold();
        c.act(dialog);

        QVERIFY2(exchangeRunning(dialog), c.name);
        for (const QPushButton* button : dialog->findChildren<QPushButton*>())
            QVERIFY2(!button->isEnabled(), qPrintable(button->objectName()));
        for (const QAction* command : menuCommands(dialog))
            QVERIFY2(!command->isEnabled(), qPrintable(command->objectName()));
        QTRY_VERIFY2(rig.gate.holding(), c.name);
        bool ticked = false;
        QTimer::singleShot(0, [&] { ticked = true; });
        QTRY_VERIFY2(ticked, c.name);
        QVERIFY2(!dialog->close(), c.name);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY2(dialog->isVisible(), c.name);
        QVERIFY2(rig.messages.texts() == c.told.mid(0, c.toldFirst), c.name);
        if (c.rows >= 0)
            QVERIFY2(rig.cardRows() == c.rows, c.name);

        rig.gate.release();
        QVERIFY2(waitForExchange(dialog), c.name);
        QVERIFY2(rig.codesReceived() == c.sent, c.name);
        QVERIFY2(rig.messages.texts() == c.told, qPrintable(rig.messages.texts().join(u'|')));
        QVERIFY2(dialog->isVisible() != c.closes, c.name);
        if (!c.closes && c.button != 0)
            QVERIFY2(item<QPushButton>(dialog, c.button)->isEnabled(), c.name);
        for (const QAction* command : menuCommands(dialog))
            QVERIFY2(command->isEnabled(), qPrintable(command->objectName()));
        if (c.rowsAfter >= 0)
            QVERIFY2(rig.cardRows() == c.rowsAfter, c.name);
    }
}

// A dialog destroyed while its frames are on their way (a window quitting): the frames already
// under way go out whole, and nothing runs on the dialog once it is gone.
void BusyDialogsTest::aDialogGoneDuringAnExchangeIsLeftAlone()
{
    Rig rig;
    rig.station->clearReceived();
    auto dialog = std::make_unique<Alarm>(rig.alarm, rig.link, rig.texts, rig.messages);
    dialog->show();
    rig.gate.hold();
    press(dialog.get(), Alarm::SaveId);
    QTRY_VERIFY(rig.gate.holding());
    rig.gate.release();
    dialog.reset();
    QTest::qWait(0);
    QCOMPARE(rig.codesReceived(),
             (std::vector<std::uint8_t>{0x51, 0x12, 0x14, 0x15, code(Command::EndOfWrite)}));
    QVERIFY(rig.messages.texts().isEmpty());
}

QTEST_MAIN(BusyDialogsTest)
#include "test_busydialogs.moc"
