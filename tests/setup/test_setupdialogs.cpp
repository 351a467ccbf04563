#include "channelscreen.h"
#include "dialogrig.h"
#include "lang.h"
#include "language.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <clocale>
#include <functional>

using namespace nimbra;
using test::at;
using test::DialogRig;
using test::waitForExchange;
using test::WindowRig;

namespace {

Page settingsPage(std::uint8_t zone, std::uint8_t unit, std::uint32_t area2)
{
    Page page{};
    page[2] = 24;
    page[6] = zone;
    page[7] = unit;
    page[9] = 0xFF; // area 1: every quantity of every channel
    page[10] = 0xFF;
    page[11] = 0xFF;
    for (int b = 0; b < 4; ++b)
        page[12 + b] = static_cast<std::uint8_t>(area2 >> (24 - 8 * b));
    return page;
}

std::optional<Payload> lastFrame(const EmulatedStation& station, Command code)
{
    std::optional<Payload> found;
    for (const ReceivedReport& r : station.received()) {
        if (r.payload()[1] == static_cast<std::uint8_t>(code))
            found = r.payload();
    }
    return found;
}

// A frame from its leading bytes, the rest zeros.
Payload frameOf(std::initializer_list<std::uint8_t> lead)
{
    Payload frame{};
    std::copy(lead.begin(), lead.end(), frame.begin());
    return frame;
}

// A frame of a command, its parameters and the closing 0x40 0x7D.
Payload frameOf(std::uint8_t code, const std::vector<std::uint8_t>& params)
{
    Payload frame{0x7B, code};
    std::copy(params.begin(), params.end(), frame.begin() + 2);
    frame[2 + params.size()] = 0x40;
    frame[3 + params.size()] = 0x7D;
    return frame;
}

std::vector<std::uint8_t> repeated(std::initializer_list<std::uint8_t> part, int times)
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < times; ++i)
        bytes.insert(bytes.end(), part);
    return bytes;
}

void setText(QWidget* dialog, int id, const QString& text)
{
    at<QLineEdit>(dialog, id)->setText(text);
}

void click(QWidget* dialog, int id)
{
    QVERIFY(test::pressAndWait(dialog, id));
}

// What an edit or a box shows, and typing or choosing it.
QString shownIn(QWidget* dialog, int id)
{
    if (auto* box = item<QComboBox>(dialog, id))
        return box->currentText();
    return at<QLineEdit>(dialog, id)->text();
}

void enter(QWidget* dialog, int id, const QString& value)
{
    if (auto* box = item<QComboBox>(dialog, id))
        box->setCurrentText(value);
    else
        setText(dialog, id, value);
}

} // namespace

class SetupDialogsTest : public QObject
{
    Q_OBJECT
private slots:
    void setupFromTheMenuReachesTheStation();
    void setupAreas();
    void setupInterval();
    void setupWithoutAStation();
    void alarmFromTheMenuReachesTheStation();
    void alarmRefusals();
    void calibrationFromTheMenuReachesTheStation();
    void everySaveSendsItsWholeSequence();
    void aSecondSaveKeepsTheFirst();
    void enterSaves();
    void busyScreenWritesNothing();
    void unplugDuringSaveIsNoSuccess();
};

void SetupDialogsTest::setupFromTheMenuReachesTheStation()
{
    WindowRig rig([](StationModel& m) { m.setSettingsPage(settingsPage(0xFB, 0, 0)); });
    int shownZone = -1;
    const auto [seen, accepted] = rig.onMenuDialog(CMy7100Dlg::SetupCommand, [&](QDialog* d) {
        shownZone = at<QComboBox>(d, Setting::TimeZoneBoxId)->currentIndex();
        at<QComboBox>(d, Setting::TimeZoneBoxId)->setCurrentIndex(15); // "3"
        at<QComboBox>(d, Setting::UnitBoxId)->setCurrentIndex(1);      // °F
        at<QComboBox>(d, Setting::AreaBoxId)->setCurrentIndex(1);
        click(d, Setting::CheckBoxId(3, MaskDewPoint));
        click(d, Setting::SaveId);
    });
    QVERIFY(seen);
    QVERIFY(accepted);
    QCOMPARE(shownZone, 7); // "-5"

    const std::optional<Payload> frame = lastFrame(*rig.station, Command::WriteSettings);
    QVERIFY(frame);
    QCOMPARE((*frame)[7], 0x03);
    const Payload expectedArea2{0x7B, 0x10, 0,    24,   0,    0,    0,    3,   1,
                                0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    QVERIFY(std::equal(expectedArea2.begin(), expectedArea2.begin() + 17, frame->begin()));
    const StationState state = rig.station->state();
    QCOMPARE(state.settingsPage[6], 0x03);
    QCOMPARE(state.endOfWrites, 1);

    // The unit reaches the main window with the next settings reply.
    QVERIFY(!rig.link.Fahrenheit());
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.Fahrenheit(), 5000);
    const QList<ScreenBox> boxes =
        ChannelBoxes(rig.window.readings(), rig.link.Fahrenheit(), LabelsFrom(rig.window.texts()));
    QVERIFY(boxes[1].text.contains(QStringLiteral("\u00B0F")));
}

void SetupDialogsTest::setupAreas()
{
    DialogRig rig;
    rig.setting.m_SettingsPage.set(settingsPage(0, 0, 0));
    {
        Setting dialog(rig.setting, rig.link, rig.texts, rig.messages);
        auto* areas = at<QComboBox>(&dialog, Setting::AreaBoxId);
        // CH Area1: only CH1 can be changed.
        for (int q = 0; q < QuantityCount; ++q) {
            for (int c = 1; c <= ChannelCount; ++c) {
                QCOMPARE(at<QCheckBox>(&dialog, Setting::CheckBoxId(c, q))->isEnabled(), c == 1);
            }
        }
        QVERIFY(at<QCheckBox>(&dialog, Setting::CheckBoxId(2, MaskTemperature))->isChecked());

        areas->setCurrentIndex(1);
        QVERIFY(at<QCheckBox>(&dialog, Setting::CheckBoxId(8, MaskHeatIndex))->isEnabled());
        click(&dialog, Setting::CheckBoxId(3, MaskDewPoint));
        areas->setCurrentIndex(3);
        QVERIFY(!at<QCheckBox>(&dialog, Setting::CheckBoxId(3, MaskDewPoint))->isChecked());
        click(&dialog, Setting::CheckBoxId(5, MaskTemperature));
        areas->setCurrentIndex(1);
        QVERIFY(at<QCheckBox>(&dialog, Setting::CheckBoxId(3, MaskDewPoint))->isChecked());
        click(&dialog, Setting::ExitId);
    }
    QVERIFY(rig.codesReceived().empty());
    QCOMPARE(rig.setting.m_AreaMask[1], MaskBit(3, MaskDewPoint));
    QCOMPARE(rig.setting.m_AreaMask[3], MaskBit(5, MaskTemperature));

    // Unconnected, the next opening shows the ticks kept from the last one.
    rig.bus.unplug(test::StationPath);
    rig.link.OnDeviceChange(DeviceChange::Removal);
    QVERIFY(!rig.link.Connected());
    Setting dialog(rig.setting, rig.link, rig.texts, rig.messages);
    at<QComboBox>(&dialog, Setting::AreaBoxId)->setCurrentIndex(3);
    QVERIFY(at<QCheckBox>(&dialog, Setting::CheckBoxId(5, MaskTemperature))->isChecked());
}

void SetupDialogsTest::setupInterval()
{
    DialogRig rig;
    Setting dialog(rig.setting, rig.link, rig.texts, rig.messages);
    dialog.show();
    QCOMPARE(at<QLineEdit>(&dialog, Setting::IntervalEditId)->text(), QStringLiteral("10"));

    for (const char* text : {"4", "241", "abc", "", "12abc"}) {
        setText(&dialog, Setting::IntervalEditId, QString::fromLatin1(text));
        click(&dialog, Setting::SetIntervalId);
    }
    QCOMPARE(rig.messages.texts(),
             QStringList(5, QStringLiteral("Interval Range of values: 5 to 240 Minute")));
    QVERIFY(rig.codesReceived().empty());

    for (const char* text : {"5", "240"}) {
        setText(&dialog, Setting::IntervalEditId, QString::fromLatin1(text));
        click(&dialog, Setting::SetIntervalId);
        QCOMPARE(rig.messages.texts().last(), QStringLiteral("Set Interval Success"));
        QCOMPARE(rig.station->state().intervalMinutes, std::uint8_t(QByteArray(text).toInt()));
    }
    QCOMPARE(rig.codesReceived(), (std::vector<std::uint8_t>{0x40, 0x40}));
    QVERIFY(dialog.isVisible());

    rig.station->unplugOnReport(1);
    click(&dialog, Setting::SetIntervalId);
    QCOMPARE(rig.messages.texts().last(), QStringLiteral("Unconnected"));
}

void SetupDialogsTest::setupWithoutAStation()
{
    DialogRig rig;
    rig.bus.unplug(test::StationPath);
    rig.link.OnDeviceChange(DeviceChange::Removal);
    QVERIFY(!rig.link.Connected());

    Setting dialog(rig.setting, rig.link, rig.texts, rig.messages);
    QVERIFY(!at<QPushButton>(&dialog, Setting::SaveId)->isEnabled());
    QCOMPARE(at<QLineEdit>(&dialog, Setting::IntervalEditId)->text(), QStringLiteral("5"));
    for (int id = Setting::GraphTypeBoxId; id <= Setting::UnitBoxId; ++id)
        QCOMPARE(at<QComboBox>(&dialog, id)->currentIndex(), 0);
    QCOMPARE(at<QComboBox>(&dialog, Setting::TimeZoneBoxId)->currentText(), QStringLiteral("-12"));
    click(&dialog, Setting::SetIntervalId);
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Unconnected")});

    Alarm alarm(rig.alarm, rig.link, rig.texts, rig.messages);
    QVERIFY(!at<QPushButton>(&alarm, Alarm::SaveId)->isEnabled());
    QCOMPARE(at<QComboBox>(&alarm, Alarm::TempSwitchId)->currentText(), QStringLiteral("ON"));
    QCOMPARE(at<QComboBox>(&alarm, Alarm::HumiSwitchId)->currentText(), QStringLiteral("ON"));
    for (int id : {Alarm::TempHighEdit, Alarm::TempLowEdit + 7, Alarm::HumiLowEdit + 3})
        QCOMPARE(at<QLineEdit>(&alarm, id)->text(), QStringLiteral("--"));

    Calib calib(rig.calib, rig.link, rig.texts, rig.messages);
    QVERIFY(!at<QPushButton>(&calib, Calib::SaveId)->isEnabled());
    QCOMPARE(at<QLineEdit>(&calib, Calib::TempEdit + 2)->text(), QStringLiteral("0.0"));
    QCOMPARE(at<QLineEdit>(&calib, Calib::HumiEdit + 2)->text(), QStringLiteral("0"));
}

void SetupDialogsTest::alarmFromTheMenuReachesTheStation()
{
    WindowRig rig([](StationModel& m) { m.setSettingsPage(settingsPage(0, 1, 0)); });
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.Fahrenheit(), 5000);
    QStringList unitLabels;
    bool greyed = false;
    bool enterSaves = false;
    const auto [seen, accepted] = rig.onMenuDialog(CMy7100Dlg::AlarmCommand, [&](QDialog* d) {
        unitLabels << at<QLabel>(d, Alarm::TempUnitHigh)->text()
                   << at<QLabel>(d, Alarm::TempUnitLow + ChannelCount - 1)->text();
        QCOMPARE(at<QLineEdit>(d, Alarm::TempHighEdit)->text(), QStringLiteral("95.0"));
        setText(d, Alarm::TempHighEdit, QStringLiteral("86"));
        setText(d, Alarm::HumiLowEdit + 7, QStringLiteral("33"));
        click(d, Alarm::HumiHighCheck + 1);
        at<QComboBox>(d, Alarm::TempSwitchId)->setCurrentIndex(1);
        greyed = !at<QLineEdit>(d, Alarm::TempLowEdit + 7)->isEnabled() &&
                 !at<QCheckBox>(d, Alarm::TempHighCheck)->isEnabled() &&
                 at<QLineEdit>(d, Alarm::HumiLowEdit)->isEnabled();
        // Save is the default button: Enter in an edit saves.
        QTest::keyClick(at<QLineEdit>(d, Alarm::HumiLowEdit), Qt::Key_Return);
        QVERIFY(waitForExchange(d));
        enterSaves = !d->isVisible();
    });
    QVERIFY(seen);
    QVERIFY(accepted);
    QVERIFY(greyed);
    QVERIFY(enterSaves);
    QCOMPARE(unitLabels, (QStringList{QStringLiteral("\u00B0F"), QStringLiteral("\u00B0F")}));

    const StationState state = rig.station->state();
    QCOMPARE(state.temperatureLimitsPage[1], 0x01);
    QCOMPARE(state.temperatureLimitsPage[2], 0x2C);
    QCOMPARE(state.temperatureLimitsPage[3], 0xFF); // CH1 low -10.0 °C = 14.0 °F, unchanged
    QCOMPARE(state.temperatureLimitsPage[4], 0x9C);
    QCOMPARE(state.humidityLimitsPage[16], 33);
    QCOMPARE(state.alarmSwitchesPage[2], 1);
    QCOMPARE(state.alarmSwitchesPage[3], 0x02);
    QCOMPARE(state.endOfWrites, 1);
    std::vector<std::uint8_t> order;
    for (const ReceivedReport& r : rig.station->received()) {
        if (r.outcome == ReportOutcome::Applied)
            order.push_back(r.payload()[1]);
    }
    QCOMPARE(order, (std::vector<std::uint8_t>{0x12, 0x14, 0x15, 0x2F}));
}

void SetupDialogsTest::alarmRefusals()
{
    DialogRig rig;
    rig.link.setFahrenheit(1);
    Alarm dialog(rig.alarm, rig.link, rig.texts, rig.messages);
    dialog.show();
    setText(&dialog, Alarm::TempLowEdit + 3, QStringLiteral("141"));
    click(&dialog, Alarm::SaveId);
    setText(&dialog, Alarm::TempLowEdit + 3, QStringLiteral("140.1"));
    setText(&dialog, Alarm::HumiHighEdit + 5, QStringLiteral("--"));
    click(&dialog, Alarm::SaveId);
    setText(&dialog, Alarm::HumiHighEdit + 5, QStringLiteral("abc"));
    click(&dialog, Alarm::SaveId);
    QCOMPARE(rig.messages.texts(),
             (QStringList{QStringLiteral("Temp Error"), QStringLiteral("Humi Error"),
                          QStringLiteral("Humi Error")}));
    QVERIFY(dialog.isVisible());
    QVERIFY(rig.codesReceived().empty());
}

void SetupDialogsTest::calibrationFromTheMenuReachesTheStation()
{
    WindowRig rig([](StationModel& m) {
        m.setSettingsPage(settingsPage(0, 0, 0));
        m.channels().fix(2, 595, 97);
        m.channels().setTemperatureMissing(4);
        m.channels().setHumidityMissing(4);
    });
    QStringList shown;
    bool ch4Greyed = false;
    const auto [seen, accepted] = rig.onMenuDialog(CMy7100Dlg::CalibrationCommand, [&](QDialog* d) {
        ch4Greyed = !at<QLineEdit>(d, Calib::TempEdit + 3)->isEnabled() &&
                    !at<QLineEdit>(d, Calib::HumiEdit + 3)->isEnabled() &&
                    at<QLineEdit>(d, Calib::TempEdit + 2)->isEnabled();
        setText(d, Calib::TempEdit + 1, QStringLiteral("0.6"));
        click(d, Calib::SaveId);
        setText(d, Calib::TempEdit + 1, QStringLiteral("0.5"));
        setText(d, Calib::HumiEdit + 1, QStringLiteral("3"));
        click(d, Calib::SaveId);
        setText(d, Calib::HumiEdit + 1, QStringLiteral("-5"));
        click(d, Calib::SaveId);
    });
    QVERIFY(seen);
    QVERIFY(accepted);
    QVERIFY(ch4Greyed);
    QCOMPARE(rig.messages.texts(), (QStringList{QStringLiteral(" CH2 Temp Out of value."),
                                                QStringLiteral(" CH2 Humi Out of value.")}));
    const Page page = rig.station->state().calibrationPage;
    QCOMPARE(page[4], 0x00);
    QCOMPARE(page[5], 0x05);
    QCOMPARE(page[6], 0xFB);

    // The station applies the offsets; the next poll shows the corrected reading.
    QTRY_COMPARE_WITH_TIMEOUT(rig.window.readings().m_Humidity[1], 92, 5000);
    QCOMPARE(rig.window.readings().m_Temperature[1], 60.0f);
}

// Each Save against the emulator's factory pages, with one entry changed: what the station
// receives, frame by frame and byte by byte, from the screen check to EndOfWrite.
void SetupDialogsTest::everySaveSendsItsWholeSequence()
{
    const Payload screenCheck = frameOf({0x7B, 0x51, 0x40, 0x7D});
    const Payload endOfWrite = frameOf({0x7B, 0x2F, 0x40, 0x7D});
    std::vector<std::uint8_t> settings(27, 0);
    settings[1] = 24;   // graph time
    settings[5] = 3;    // time zone "3"
    settings[8] = 0xFF; // area 1 as the dialog shows it: every box of every channel
    settings[9] = 0xFF;
    settings[10] = 0xFF;
    std::vector<std::uint8_t> tempLimits = repeated({0x01, 0x5E, 0xFF, 0x9C}, ChannelCount);
    tempLimits[0] = 0x01; // CH1 high 30.0
    tempLimits[1] = 0x2C;
    std::vector<std::uint8_t> humiLimits = repeated({80, 20}, ChannelCount);
    humiLimits[15] = 33; // CH8 low
    std::vector<std::uint8_t> offsets(3 * ChannelCount, 0);
    offsets[1] = 15; // CH1 "1,5" °C

    struct Case
    {
        const char* name;
        std::function<void(DialogRig&, LangData&, const QString& iniPath)> save;
        std::vector<Payload> sent;
    };
    const Case cases[] = {
        {"setup",
         [](DialogRig& rig, LangData&, const QString&) {
             rig.setting.m_SettingsPage.set(settingsPage(0, 0, 0));
             Setting dialog(rig.setting, rig.link, rig.texts, rig.messages);
             at<QComboBox>(&dialog, Setting::TimeZoneBoxId)->setCurrentIndex(15);
             click(&dialog, Setting::SaveId);
         },
         {screenCheck, frameOf(0x10, settings), endOfWrite}},
        {"interval",
         [](DialogRig& rig, LangData&, const QString&) {
             Setting dialog(rig.setting, rig.link, rig.texts, rig.messages);
             setText(&dialog, Setting::IntervalEditId, QStringLiteral("30"));
             click(&dialog, Setting::SetIntervalId);
         },
         {frameOf({0x7B, 0x40, 30, 0x40, 0x7D})}},
        {"alarm",
         [](DialogRig& rig, LangData&, const QString&) {
             Alarm dialog(rig.alarm, rig.link, rig.texts, rig.messages);
             setText(&dialog, Alarm::TempHighEdit, QStringLiteral("30"));
             setText(&dialog, Alarm::HumiLowEdit + 7, QStringLiteral("33"));
             click(&dialog, Alarm::SaveId);
         },
         {screenCheck, frameOf(0x12, {0, 0, 0, 0, 1, 1}), frameOf(0x14, tempLimits),
          frameOf(0x15, humiLimits), endOfWrite}},
        // In the German program a decimal comma is typed; the C library then reads and writes
        // numbers with one as well.
        {"calibration in German",
         [](DialogRig& rig, LangData&, const QString&) {
             rig.texts.LoadUiText(Language::German);
             const auto translator = ApplyLanguage(Language::German);
             const QByteArray numbers = std::setlocale(LC_NUMERIC, nullptr);
             std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
             Calib dialog(rig.calib, rig.link, rig.texts, rig.messages);
             setText(&dialog, Calib::TempEdit, QStringLiteral("1,5"));
             click(&dialog, Calib::SaveId);
             std::setlocale(LC_NUMERIC, numbers.constData());
             ApplyLanguage(Language::English);
         },
         {screenCheck, frameOf(0x11, offsets), endOfWrite}},
        {"language",
         [](DialogRig& rig, LangData& data, const QString& iniPath) {
             Lang dialog(rig.link, rig.messages, rig.texts, data, iniPath);
             dialog.OnInitDialog();
             at<QComboBox>(&dialog, Lang::LanguageList)->setCurrentIndex(0); // Deutsch
             click(&dialog, Lang::SaveButton);
         },
         {screenCheck, frameOf({0x7B, 0x0B, 0, 0x40, 0x7D}), endOfWrite}},
    };
    for (const Case& c : cases) {
        QTemporaryDir folder;
        LangData lang; // outlives the rig, whose reader may still file a screen check into it
        DialogRig rig;
        rig.router.addScreenBusyReceiver(&lang.m_ScreenBusy);
        c.save(rig, lang, folder.filePath(QStringLiteral("Main.ini")));
        std::vector<Payload> sent;
        for (const ReceivedReport& r : rig.station->received())
            sent.push_back(r.payload());
        const auto hex = [](const std::vector<Payload>& frames) {
            QStringList lines;
            for (const Payload& f : frames)
                lines << QByteArray(reinterpret_cast<const char*>(f.data()), 36).toHex(' ');
            return lines.join(u'\n');
        };
        QVERIFY2(sent == c.sent,
                 qPrintable(QStringLiteral("%1: sent\n%2\nexpected\n%3")
                                .arg(QLatin1String(c.name), hex(sent), hex(c.sent))));
    }
}

// Once a Save went out the station holds its page: reopened before the next poll, the dialog
// shows the saved values, and a second Save sends them back beside its own change.
void SetupDialogsTest::aSecondSaveKeepsTheFirst()
{
    struct Change
    {
        int id;
        QString value;
        int button;
    };
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<QDialog>(DialogRig&)> open;
        Change first;
        Change second;
    };
    const auto setup = [](DialogRig& rig) {
        return std::make_unique<Setting>(rig.setting, rig.link, rig.texts, rig.messages);
    };
    const Case cases[] = {
        {"setup", setup, {1011, "3", Setting::SaveId}, {1009, "DD-MM-YYYY", Setting::SaveId}},
        {"interval",
         setup,
         {Setting::IntervalEditId, "30", Setting::SetIntervalId},
         {1011, "3", Setting::SaveId}},
        {"alarm",
         [](DialogRig& rig) {
             return std::make_unique<Alarm>(rig.alarm, rig.link, rig.texts, rig.messages);
         },
         {Alarm::TempHighEdit, "30.0", Alarm::SaveId},
         {Alarm::HumiLowEdit + 7, "33", Alarm::SaveId}},
        {"calibration",
         [](DialogRig& rig) {
             return std::make_unique<Calib>(rig.calib, rig.link, rig.texts, rig.messages);
         },
         {Calib::TempEdit + 2, "2.0", Calib::SaveId},
         {Calib::TempEdit + 3, "1.0", Calib::SaveId}},
    };
    for (const Case& c : cases) {
        DialogRig rig;
        std::unique_ptr<QDialog> dialog = c.open(rig);
        enter(dialog.get(), c.first.id, c.first.value);
        click(dialog.get(), c.first.button);
        dialog = c.open(rig);
        QVERIFY2(shownIn(dialog.get(), c.first.id) == c.first.value, c.name);
        enter(dialog.get(), c.second.id, c.second.value);
        click(dialog.get(), c.second.button);

        rig.poll();
        dialog = c.open(rig);
        QVERIFY2(shownIn(dialog.get(), c.first.id) == c.first.value, c.name);
        QVERIFY2(shownIn(dialog.get(), c.second.id) == c.second.value, c.name);
        QVERIFY2(rig.messages.texts().filter(QStringLiteral("Unconnected")).isEmpty(), c.name);
    }
}

// Enter in any field saves, as the Save button would.
void SetupDialogsTest::enterSaves()
{
    DialogRig rig;
    Setting setting(rig.setting, rig.link, rig.texts, rig.messages);
    Calib calib(rig.calib, rig.link, rig.texts, rig.messages);
    Alarm alarm(rig.alarm, rig.link, rig.texts, rig.messages);
    const std::pair<QDialog*, int> fields[] = {{&setting, Setting::IntervalEditId},
                                               {&calib, Calib::TempEdit},
                                               {&alarm, Alarm::HumiLowEdit}};
    for (const auto& [dialog, field] : fields) {
        dialog->show();
        QTest::keyClick(at<QLineEdit>(dialog, field), Qt::Key_Return);
        QVERIFY(waitForExchange(dialog));
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }
    QCOMPARE(rig.codesReceived(), (std::vector<std::uint8_t>{0x51, 0x10, 0x2F, 0x51, 0x11, 0x2F,
                                                             0x51, 0x12, 0x14, 0x15, 0x2F}));
}

void SetupDialogsTest::busyScreenWritesNothing()
{
    DialogRig rig;
    rig.station->setScreenBusy(true);
    const Page before = rig.station->state().settingsPage;
    Setting dialog(rig.setting, rig.link, rig.texts, rig.messages);
    dialog.show();
    at<QComboBox>(&dialog, Setting::GraphTypeBoxId)->setCurrentIndex(2);
    click(&dialog, Setting::SaveId);
    QCOMPARE(rig.messages.texts(),
             QStringList{QStringLiteral("Please switch the device to the main screen.")});
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(rig.codesReceived(), std::vector<std::uint8_t>{0x51});
    QCOMPARE(rig.station->state().settingsPage, before);
}

void SetupDialogsTest::unplugDuringSaveIsNoSuccess()
{
    DialogRig rig;
    const StationState before = rig.station->state();
    // The screen check goes out, the station vanishes as the first data frame arrives.
    rig.station->unplugOnReport(2);
    Alarm dialog(rig.alarm, rig.link, rig.texts, rig.messages);
    dialog.show();
    setText(&dialog, Alarm::TempHighEdit, QStringLiteral("30"));
    click(&dialog, Alarm::SaveId);
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Unconnected")});
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(rig.station->state().temperatureLimitsPage, before.temperatureLimitsPage);
    QCOMPARE(rig.station->state().endOfWrites, 0);
}

QTEST_MAIN(SetupDialogsTest)
#include "test_setupdialogs.moc"
