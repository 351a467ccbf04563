// The emulator's panel under --simulate: it speaks the user-interface language and its boxes
// plug the station and put it off its main screen.
#include "emulatedbus.h"
#include "emulatorpanel.h"

#include <QCheckBox>
#include <QTest>

using namespace nimbra;

class EmulatorPanelTest : public QObject
{
    Q_OBJECT
private slots:
    void speaksTheLanguageAndDrivesTheStation();
};

void EmulatorPanelTest::speaksTheLanguageAndDrivesTheStation()
{
    for (Language language : {Language::English, Language::German}) {
        EmulatedBus bus;
        const auto station = bus.addStation("emulated:panel");
        EmulatorPanel panel(bus, "emulated:panel", language);
        auto* plugged = panel.findChild<QCheckBox*>(QStringLiteral("plugged"));
        auto* busy = panel.findChild<QCheckBox*>(QStringLiteral("busy"));
        QVERIFY(plugged && busy);
        QCOMPARE(panel.windowTitle(), StringTable(language, TextId::EmulatorTitle));
        QCOMPARE(plugged->text(), StringTable(language, TextId::EmulatorPlugged));
        QCOMPARE(busy->text(), StringTable(language, TextId::EmulatorBusy));
        panel.show();
        QVERIFY2(plugged->width() >= plugged->sizeHint().width(), "nothing cut");
        QVERIFY2(busy->width() >= busy->sizeHint().width(), "nothing cut");

        QVERIFY(plugged->isChecked());
        plugged->click();
        QVERIFY(!bus.isPlugged("emulated:panel"));
        plugged->click();
        QVERIFY(bus.isPlugged("emulated:panel"));
        busy->click();
        QVERIFY(station->state().screenBusy);
    }
}

QTEST_MAIN(EmulatorPanelTest)
#include "test_emulatorpanel.moc"
