// Every dialog of the window as a keyboard and screen-reader user meets it, in both languages:
// the name each control speaks, and what Enter presses.
#include "aboutdlg.h"
#include "alarm.h"
#include "calib.h"
#include "dialogitems.h"
#include "emulatedbus.h"
#include "emulatorpanel.h"
#include "exchangewait.h"
#include "grapsh.h"
#include "history.h"
#include "lang.h"
#include "recordingmessages.h"
#include "setting.h"
#include "synctime.h"

#include <QAccessible>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace nimbra;
using namespace Qt::StringLiterals;

namespace {

constexpr const char* StationPath = "emulated:keys";

enum class Which
{
    Setup,
    Alarm,
    Calibration,
    Language,
    SyncTime,
    SdCard,
    Graph,
    About,
    Emulator
};
constexpr Which AllDialogs[] = {Which::Setup,    Which::Alarm,    Which::Calibration,
                                Which::Language, Which::SyncTime, Which::SdCard,
                                Which::Graph,    Which::About,    Which::Emulator};

// The dialogs against a connected emulated station, their texts in one language.
struct Rig
{
    explicit Rig(Language language) : language(language)
    {
        texts.LoadUiText(language);
        link.Connect();
        history.setDataFolder(folder.path().toStdU16String(),
                              folder.filePath(QStringLiteral("7100.db")).toStdU16String());
    }
    ~Rig() { link.stop(); }

    // Opened as the window opens it: texts set, nothing run yet.
    std::unique_ptr<QDialog> open(Which which)
    {
        switch (which) {
        case Which::Setup:
            return std::make_unique<Setting>(setting, link, texts, messages);
        case Which::Alarm:
            return std::make_unique<Alarm>(alarm, link, texts, messages);
        case Which::Calibration:
            return std::make_unique<Calib>(calib, link, texts, messages);
        case Which::Language: {
            auto dialog = std::make_unique<Lang>(link, messages, texts, lang,
                                                 folder.filePath(QStringLiteral("Main.ini")));
            dialog->OnInitDialog();
            return dialog;
        }
        case Which::SyncTime:
            return std::make_unique<SyncTime>(link, messages);
        case Which::SdCard:
            history.OnInitDialog();
            return nullptr;
        case Which::Graph:
            return std::make_unique<Grapsh>(
                texts, messages, folder.filePath(QStringLiteral("7100.db")).toStdU16String(),
                QStringLiteral("Temperature(C)"));
        case Which::About:
            return std::make_unique<CAboutDlg>();
        case Which::Emulator:
            return std::make_unique<EmulatorPanel>(bus, StationPath, language);
        }
        return nullptr;
    }

    Language language;
    QTemporaryDir folder;
    Timing timing = Timing{}.scaled(0.02);
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station = bus.addStation(StationPath);
    ReplyRouter router;
    HidLink link{bus, router, timing};
    test::RecordingMessages messages;
    UiText texts;
    SettingData setting;
    AlarmData alarm;
    CalibData calib;
    LangData lang;
    History history{link, router, messages, texts, [] { return Page{}; }};
};

// The SD-card dialog is a member of its owner, the others are made for each showing.
QDialog* Shown(Rig& rig, Which which, std::unique_ptr<QDialog>& made)
{
    made = rig.open(which);
    QDialog* dialog = made ? made.get() : &rig.history;
    dialog->show();
    // The SD-card dialog asks for its file list first; its buttons wait for the answer.
    test::waitForExchange(dialog);
    return dialog;
}

bool IsControl(QAccessible::Role role)
{
    static const QSet<QAccessible::Role> Controls{QAccessible::PushButton,   QAccessible::CheckBox,
                                                  QAccessible::RadioButton,  QAccessible::ComboBox,
                                                  QAccessible::EditableText, QAccessible::SpinBox,
                                                  QAccessible::Table,        QAccessible::List};
    return Controls.contains(role);
}

// What a screen reader meets: every control of the dialog's accessible tree with the name it
// speaks, not descending into the parts of a control.
void Controls(QAccessibleInterface* node, QList<std::pair<QString, QString>>& found)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (!child || child->role() == QAccessible::Window)
            continue;
        if (IsControl(child->role()))
            found.append({child->object() ? child->object()->objectName() : QString(),
                          child->text(QAccessible::Name)});
        else
            Controls(child, found);
    }
}

} // namespace

class DialogKeysTest : public QObject
{
    Q_OBJECT
private slots:
    void everyControlSpeaksAName();
    void enterPressesTheFocusedButtonElseTheDefault();
};

void DialogKeysTest::everyControlSpeaksAName()
{
    // A few names each way a control is named: its own text, its label, a table's row and
    // column, a list's headings, a name of its own.
    const struct
    {
        Which dialog;
        int control;
        QString english;
        QString german;
    } names[] = {
        {Which::Setup, Setting::UnitBoxId, u"Units"_s, u"Einheiten"_s},
        {Which::Setup, Setting::CheckBoxId(2, 1), u"DewPoint CH2"_s, u"Taupunkt CH2"_s},
        {Which::Alarm, Alarm::HumiLowEdit + 2, u"CH3 Low"_s, u"CH3 Niedrig"_s},
        {Which::SdCard, History::FileList, u"File Name, Size"_s, u"Dateiname, Größe"_s},
        {Which::SdCard, History::SelectButton, u"Select"_s, u"Auswählen"_s},
        {Which::Graph, Grapsh::SourceBoxId, u"Readings drawn"_s, u"Gezeichnete Messwerte"_s},
    };
    for (const Language language : {Language::English, Language::German}) {
        Rig rig(language);
        for (const Which which : AllDialogs) {
            std::unique_ptr<QDialog> made;
            QDialog* dialog = Shown(rig, which, made);
            const QString where = dialog->objectName() + u' ' + dialog->windowTitle();
            QList<std::pair<QString, QString>> controls;
            Controls(QAccessible::queryAccessibleInterface(dialog), controls);
            QVERIFY2(!controls.isEmpty(), qPrintable(where));
            for (const auto& [id, name] : controls) {
                QVERIFY2(!name.trimmed().isEmpty(), qPrintable(where + u' ' + id));
                QVERIFY2(!name.contains(u'&'), qPrintable(where + u' ' + name));
            }
            // The name given; on Linux a combo box speaks its value and its label by relation.
            for (const auto& n : names) {
                if (n.dialog == which)
                    QCOMPARE(item(dialog, n.control)->accessibleName(),
                             language == Language::German ? n.german : n.english);
            }
            dialog->hide();
        }
    }
}

// Enter presses the focused button; elsewhere the dialog's default, where it has one.
void DialogKeysTest::enterPressesTheFocusedButtonElseTheDefault()
{
    const struct
    {
        const char* name;
        Which dialog;
        int focus;
        int result;           // the dialog's result after Enter
        QStringList messages; // what it told
        bool visible;         // still open
    } cases[] = {
        {"Exit in Setup", Which::Setup, Setting::ExitId, QDialog::Rejected, {}, false},
        {"Exit in Graph", Which::Graph, Grapsh::ExitId, QDialog::Rejected, {}, false},
        {"Select without a file",
         Which::SdCard,
         History::SelectButton,
         QDialog::Rejected,
         {u"Please select a file"_s},
         true},
        {"the record list, no default",
         Which::SdCard,
         History::RecordList,
         QDialog::Rejected,
         {},
         true},
        {"the name in About", Which::About, CAboutDlg::NameId, QDialog::Accepted, {}, false},
    };
    for (const auto& c : cases) {
        Rig rig(Language::English);
        std::unique_ptr<QDialog> made;
        QDialog* dialog = Shown(rig, c.dialog, made);
        QWidget* focus = item(dialog, c.focus);
        QVERIFY2(focus, c.name);
        focus->setFocusPolicy(Qt::StrongFocus);
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
        QVERIFY2(dialog->result() == c.result, c.name);
        QVERIFY2(dialog->isVisible() == c.visible, c.name);
        QCOMPARE(rig.messages.texts(), c.messages);
        dialog->hide();
    }
}

QTEST_MAIN(DialogKeysTest)
#include "test_dialogkeys.moc"
