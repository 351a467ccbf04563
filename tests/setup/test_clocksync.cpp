#include "clocksync.h"
#include "dialogitems.h"
#include "quietrig.h"
#include "synctime.h"

#include <QMenuBar>
#include <QPushButton>
#include <QTest>

using namespace nimbra;
using namespace nimbra::test;
using namespace Qt::StringLiterals;
using Answer = MessageService::Answer;

namespace {

enum class Station
{
    Ready,
    Unplugged,
    Busy,
    GoneAfterTheCheck
};

QDateTime FromFields(const ClockFields& f)
{
    return QDateTime(QDate(f.year, int(f.month), int(f.day)),
                     QTime(int(f.hour), int(f.minute), int(f.second)));
}

void Prepare(QuietWindowRig& rig, Station station)
{
    switch (station) {
    case Station::Ready:
        break;
    case Station::Unplugged:
        rig.bus.unplug(QuietWindowRig::StationPath);
        QTRY_VERIFY(!rig.link.Connected());
        break;
    case Station::Busy:
        rig.station->setScreenBusy(true);
        break;
    case Station::GoneAfterTheCheck:
        // The screen check is answered, then the station is pulled before the clock frame.
        rig.station->unplugAfterReplies(1);
        break;
    }
}

} // namespace

class ClockSyncTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void menuCommand_data();
    void menuCommand();
    void syncTimeDialog_data();
    void syncTimeDialog();
};

void ClockSyncTest::initTestCase()
{
    // Half an hour off UTC, so local time cannot pass for UTC by chance.
    qputenv("TZ", "NST-5:30");
    QVERIFY(QDateTime::currentDateTime().offsetFromUtc() == 5 * 3600 + 1800);
}

void ClockSyncTest::menuCommand_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<Station>("station");
    QTest::addColumn<QString>("told");
    QTest::addColumn<bool>("clockSet");

    QTest::newRow("cancel") << Answer::Cancel << Station::Ready << QString() << false;
    QTest::newRow("unconnected") << Answer::Ok << Station::Unplugged << u"Unconnected"_s << false;
    QTest::newRow("busy screen") << Answer::Ok << Station::Busy
                                 << u"Please switch the device to the main screen."_s << false;
    QTest::newRow("success") << Answer::Ok << Station::Ready << u"Sync Time Success"_s << true;
    QTest::newRow("pulled after the check")
        << Answer::Ok << Station::GoneAfterTheCheck << u"Unconnected"_s << false;
}

void ClockSyncTest::menuCommand()
{
    QFETCH(Answer, answer);
    QFETCH(Station, station);
    QFETCH(QString, told);
    QFETCH(bool, clockSet);

    QuietWindowRig rig;
    QVERIFY(rig.start());
    Prepare(rig, station);
    rig.messages.answer(answer);
    rig.window.menuBar()->findChild<QAction*>(QStringLiteral("32776"))->trigger();

    QStringList expected{u"Are you want to Synchronization Time?"_s};
    if (!told.isEmpty())
        expected << told;
    QCOMPARE(rig.messages.texts(), expected);
    QCOMPARE(rig.messages.captions(), QStringList{u"Sync Time"_s});
    QCOMPARE(rig.receivedCount(Command::SetClock), clockSet ? 1 : 0);
    QCOMPARE(rig.receivedCount(Command::ScreenCheck),
             answer == Answer::Ok && station != Station::Unplugged ? 1 : 0);
    QVERIFY(!rig.window.poll().m_DialogOpen.load());
    if (clockSet) {
        const qint64 drift =
            QDateTime::currentDateTime().secsTo(FromFields(rig.station->state().clock));
        QVERIFY2(qAbs(drift) <= 2, qPrintable(QString::number(drift)));
    }
}

void ClockSyncTest::syncTimeDialog_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("told");
    QTest::newRow("connected") << true << u"Sync Time Success."_s;
    QTest::newRow("unconnected") << false << u"Unconnected"_s;
}

// The dialog's button sends the clock without a question or a screen check, and closes.
void ClockSyncTest::syncTimeDialog()
{
    QFETCH(bool, connected);
    QFETCH(QString, told);

    QuietWindowRig rig;
    QVERIFY(rig.start());
    if (!connected)
        Prepare(rig, Station::Unplugged);
    const QDateTime newYearsEve(QDate(2017, 12, 31), QTime(23, 59, 58));
    SyncTime dialog(rig.link, rig.messages, nullptr, [&] { return newYearsEve; });
    QCOMPARE(dialog.windowTitle(), u"Sync Time"_s);
    dialog.show();
    QTest::mouseClick(item<QPushButton>(&dialog, SyncTime::SyncButton), Qt::LeftButton);

    QCOMPARE(rig.messages.texts(), QStringList{told});
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(rig.receivedCount(Command::ScreenCheck), 0);
    const auto received = rig.station->received();
    QCOMPARE(received.back().payload() == SetClockFrame(newYearsEve).bytes(), connected);
}

QTEST_MAIN(ClockSyncTest)
#include "test_clocksync.moc"
