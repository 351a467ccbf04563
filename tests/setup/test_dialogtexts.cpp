// The Setup, Alarm and Calibration dialogs as they open, in both languages, and their Save on a
// station that is off its main screen.
#include "dialogrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace nimbra;
using namespace nimbra::test;

namespace {

enum class Which
{
    Setup,
    Alarm,
    Calibration
};

std::unique_ptr<QDialog> open(Which which, DialogRig& rig)
{
    switch (which) {
    case Which::Setup:
        return std::make_unique<Setting>(rig.setting, rig.link, rig.texts, rig.messages);
    case Which::Alarm:
        return std::make_unique<Alarm>(rig.alarm, rig.link, rig.texts, rig.messages);
    case Which::Calibration:
        return std::make_unique<Calib>(rig.calib, rig.link, rig.texts, rig.messages);
    }
    return nullptr;
}

// The text a control shows: a window's title for id 0, a group box's title, a label's or a
// button's text.
QString shownText(const QWidget* dialog, int id)
{
    if (id == 0)
        return dialog->windowTitle();
    const QWidget* control = at<QWidget>(dialog, id);
    if (const auto* group = qobject_cast<const QGroupBox*>(control))
        return group->title();
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return QStringLiteral("<no text>");
}

struct Caption
{
    Which dialog;
    int control; // 0: the window title
    TextId text;
};

// Which text each control takes when its dialog opens.
constexpr Caption Captions[] = {
    {Which::Setup, 0, TextId::Setup},
    {Which::Setup, Setting::GraphTypeLabelId, TextId::GraphType},
    {Which::Setup, Setting::GraphTimeLabelId, TextId::GraphTime},
    {Which::Setup, Setting::TimeZoneLabelId, TextId::TimeZone},
    {Which::Setup, Setting::IntervalLabelId, TextId::Interval},
    {Which::Setup, Setting::TimeFormatLabelId, TextId::TimeFormat},
    {Which::Setup, Setting::DateFormatLabelId, TextId::DateFormat},
    {Which::Setup, Setting::UnitLabelId, TextId::Units},
    {Which::Setup, Setting::MinuteLabelId, TextId::Minute},
    {Which::Setup, Setting::TemperatureRowId, TextId::Temperature},
    {Which::Setup, Setting::DewPointRowId, TextId::DewPoint},
    {Which::Setup, Setting::HeatIndexRowId, TextId::HeatIndex},
    {Which::Setup, Setting::SetIntervalId, TextId::SetInterval},
    {Which::Setup, Setting::SaveId, TextId::Save},
    {Which::Setup, Setting::ExitId, TextId::Exit},
    {Which::Alarm, 0, TextId::Alarm},
    {Which::Alarm, Alarm::TempGroupId, TextId::TemperatureAlarm},
    {Which::Alarm, Alarm::HumiGroupId, TextId::HumidityAlarm},
    {Which::Alarm, Alarm::TempSwitchLabelId, TextId::TemperatureAlarm},
    {Which::Alarm, Alarm::HumiSwitchLabelId, TextId::HumidityAlarm},
    {Which::Alarm, Alarm::TempHighLabelId, TextId::High},
    {Which::Alarm, Alarm::TempLowLabelId, TextId::Low},
    {Which::Alarm, Alarm::HumiHighLabelId, TextId::High},
    {Which::Alarm, Alarm::HumiLowLabelId, TextId::Low},
    {Which::Alarm, Alarm::SaveId, TextId::Save},
    {Which::Alarm, Alarm::ExitId, TextId::Exit},
    {Which::Calibration, 0, TextId::Calibration},
    {Which::Calibration, Calib::TempLabelId, TextId::Temperature},
    {Which::Calibration, Calib::HumiLabelId, TextId::Humidity},
    {Which::Calibration, Calib::SaveId, TextId::Save},
    {Which::Calibration, Calib::ExitId, TextId::Exit},
};

} // namespace

class DialogTextsTest : public QObject
{
    Q_OBJECT
private slots:
    void captionsInBothLanguages();
    void settingsPageShownInTheBoxes();
    void busyScreenSavesNothing();
};

void DialogTextsTest::captionsInBothLanguages()
{
    for (Language language : {Language::English, Language::German}) {
        DialogRig rig;
        rig.texts.LoadUiText(language);
        for (Which which : {Which::Setup, Which::Alarm, Which::Calibration}) {
            const std::unique_ptr<QDialog> dialog = open(which, rig);
            dialog->show();
            for (const Caption& c : Captions) {
                if (c.dialog != which)
                    continue;
                const QString where = QStringLiteral("dialog %1, control %2, language %3")
                                          .arg(int(which))
                                          .arg(c.control)
                                          .arg(int(language), 0, 16);
                const QString expected = StringTable(language, c.text);
                QVERIFY2(!expected.isEmpty(), qPrintable(where));
                QVERIFY2(shownText(dialog.get(), c.control) == expected, qPrintable(where));
                // Nothing cut: every label and button is as wide as its text needs.
                const QWidget* control = c.control ? at<QWidget>(dialog.get(), c.control) : nullptr;
                if (qobject_cast<const QLabel*>(control) ||
                    qobject_cast<const QAbstractButton*>(control))
                    QVERIFY2(control->width() >= control->sizeHint().width(), qPrintable(where));
            }
        }
    }
}

void DialogTextsTest::settingsPageShownInTheBoxes()
{
    struct Case
    {
        std::uint8_t graphType, timeFormat, dateFormat, daylight, unit; // bytes 1, 3, 4, 5, 7
    };
    const Case cases[] = {{0, 0, 0, 0, 0}, {3, 2, 1, 1, 1}, {1, 1, 2, 0, 0}, {2, 0, 0, 1, 1}};
    for (const Case& c : cases) {
        DialogRig rig;
        Page page = rig.station->state().settingsPage;
        page[1] = c.graphType;
        page[3] = c.timeFormat;
        page[4] = c.dateFormat;
        page[5] = c.daylight;
        page[7] = c.unit;
        rig.setting.m_SettingsPage.set(page);
        const std::unique_ptr<QDialog> dialog = open(Which::Setup, rig);
        const std::pair<int, int> shown[] = {{Setting::GraphTypeBoxId, c.graphType},
                                             {Setting::TimeFormatBoxId, c.timeFormat},
                                             {Setting::DateFormatBoxId, c.dateFormat},
                                             {Setting::DaylightBoxId, c.daylight},
                                             {Setting::UnitBoxId, c.unit}};
        for (const auto& [box, index] : shown)
            QVERIFY2(at<QComboBox>(dialog.get(), box)->currentIndex() == index,
                     qPrintable(QStringLiteral("box %1 for %2").arg(box).arg(index)));
    }
}

// The station refuses writes away from its main screen: the message, nothing but the screen
// check sent, and the dialog closes as after any Save.
void DialogTextsTest::busyScreenSavesNothing()
{
    for (Which which : {Which::Alarm, Which::Calibration}) {
        DialogRig rig;
        rig.station->setScreenBusy(true);
        const StationState before = rig.station->state();
        const std::unique_ptr<QDialog> dialog = open(which, rig);
        dialog->show();
        const int edit = which == Which::Alarm ? Alarm::TempHighEdit : Calib::TempEdit;
        at<QLineEdit>(dialog.get(), edit)->setText(QStringLiteral("1.0"));
        at<QAbstractButton>(dialog.get(), which == Which::Alarm ? Alarm::SaveId : Calib::SaveId)
            ->click();
        QVERIFY(waitForExchange(dialog.get()));
        QCOMPARE(rig.messages.texts(), QStringList{rig.texts.Text(TextId::SwitchToMainScreen)});
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(rig.codesReceived(), std::vector<std::uint8_t>{0x51});
        const StationState after = rig.station->state();
        QCOMPARE(after.alarmSwitchesPage, before.alarmSwitchesPage);
        QCOMPARE(after.temperatureLimitsPage, before.temperatureLimitsPage);
        QCOMPARE(after.humidityLimitsPage, before.humidityLimitsPage);
        QCOMPARE(after.calibrationPage, before.calibrationPage);
    }
}

QTEST_MAIN(DialogTextsTest)
#include "test_dialogtexts.moc"
