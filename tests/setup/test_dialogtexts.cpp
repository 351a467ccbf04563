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
    int text;
};

// Which text each control takes when its dialog opens.
constexpr Caption Captions[] = {
    {Which::Setup, 0, 205},          {Which::Setup, 1089, 206},
    {Which::Setup, 1090, 207},       {Which::Setup, 1091, 211},
    {Which::Setup, 1092, 213},       {Which::Setup, 1093, 208},
    {Which::Setup, 1094, 209},       {Which::Setup, 1095, 210},
    {Which::Setup, 1096, 214},       {Which::Setup, 1097, 201},
    {Which::Setup, 1098, 293},       {Which::Setup, 1099, 229},
    {Which::Setup, 1087, 215},       {Which::Setup, 1005, 216},
    {Which::Setup, 1037, 217},       {Which::Alarm, 0, 218},
    {Which::Alarm, 1120, 219},       {Which::Alarm, 1121, 220},
    {Which::Alarm, 1122, 219},       {Which::Alarm, 1123, 220},
    {Which::Alarm, 1124, 294},       {Which::Alarm, 1125, 295},
    {Which::Alarm, 1126, 294},       {Which::Alarm, 1127, 295},
    {Which::Alarm, 1, 216},          {Which::Alarm, 2, 217},
    {Which::Calibration, 0, 221},    {Which::Calibration, 1128, 201},
    {Which::Calibration, 1129, 202}, {Which::Calibration, 1005, 216},
    {Which::Calibration, 1006, 217},
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
        const std::pair<int, int> shown[] = {{1006, c.graphType},
                                             {1008, c.timeFormat},
                                             {1009, c.dateFormat},
                                             {1010, c.daylight},
                                             {1012, c.unit}};
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
        QCOMPARE(rig.messages.texts(), QStringList{rig.texts.Text(236)});
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
