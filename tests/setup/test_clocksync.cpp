#include "dialogitems.h"
#include "exchangewait.h"
#include "quietrig.h"
#include "setting.h"
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

QDateTime FromFields(const DateTimeParts& f)
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
    void syncTimeButtons_data();
    void syncTimeButtons();
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
    QVERIFY(waitForExchange(&rig.window));

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

void ClockSyncTest::syncTimeButtons_data()
{
    QTest::addColumn<int>("dialog");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("told");
    for (const int dialog : {SyncTime::ResourceId, Setting::ResourceId}) {
        const QByteArray name = dialog == SyncTime::ResourceId ? "SyncTime" : "Setup";
        QTest::newRow(name + " connected") << dialog << true << u"Sync Time Success."_s;
        QTest::newRow(name + " unconnected") << dialog << false << u"Unconnected"_s;
    }
}

// The SyncTime dialog's button and the Setup dialog's hidden one send the clock without a
// question or a screen check. The SyncTime dialog closes afterwards, the Setup dialog stays.
void ClockSyncTest::syncTimeButtons()
{
    QFETCH(int, dialog);
    QFETCH(bool, connected);
    QFETCH(QString, told);

    QuietWindowRig rig;
    QVERIFY(rig.start());
    if (!connected)
        Prepare(rig, Station::Unplugged);
    bool openAfterwards = false;
    if (dialog == SyncTime::ResourceId) {
        SyncTime syncTime(rig.link, rig.messages);
        QCOMPARE(syncTime.windowTitle(), u"Sync Time"_s);
        syncTime.show();
        QTest::mouseClick(item<QPushButton>(&syncTime, SyncTime::SyncButton), Qt::LeftButton);
        QVERIFY(waitForExchange(&syncTime));
        openAfterwards = syncTime.isVisible();
    } else {
        WhenDialogShows(Setting::ResourceId, [&](QDialog* setup) {
            item<QPushButton>(setup, Setting::SyncTimeId)->click();
            if (!waitForExchange(setup))
                qFatal("the clock was never sent");
            openAfterwards = setup->isVisible();
            setup->reject();
        });
        rig.window.menuBar()->findChild<QAction*>(u"32772"_s)->trigger();
        QVERIFY(waitForExchange(&rig.window));
    }

    QCOMPARE(rig.messages.texts(), QStringList{told});
    QCOMPARE(openAfterwards, dialog == Setting::ResourceId);
    QCOMPARE(rig.receivedCount(Command::ScreenCheck), 0);
    QCOMPARE(rig.receivedCount(Command::SetClock), connected ? 1 : 0);
}

QTEST_MAIN(ClockSyncTest)
#include "test_clocksync.moc"
