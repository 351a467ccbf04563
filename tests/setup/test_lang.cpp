#include "dialogitems.h"
#include "exchangewait.h"
#include "lang.h"
#include "language.h"
#include "quietrig.h"
#include "restart.h"
#include "singleinstance.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <signal.h>

using namespace nimbra;
using namespace nimbra::test;
using namespace Qt::StringLiterals;

namespace {

enum class Station
{
    Ready,
    Unplugged,
    Busy
};

const QString EnglishIni = u"[Language]\nLanguage=English\n"_s;

bool WriteFile(const QString& path, const QString& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content.toUtf8()) == content.size();
}

QString IniLanguage(const QString& path)
{
    return QSettings(path, QSettings::IniFormat).value(u"Language/Language"_s).toString();
}

qint64 LockOwner(const QString& lockPath)
{
    qint64 pid = 0;
    QLockFile(lockPath).getLockInfo(&pid, nullptr, nullptr);
    return pid;
}

QStringList CommandLineOf(qint64 pid)
{
    QFile file(u"/proc/%1/cmdline"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments = QString::fromLocal8Bit(file.readAll()).split(QChar(0));
    arguments.removeLast(); // after the closing zero
    return arguments;
}

// Picks a language in the language dialog once it shows, then presses Save or Exit. A Save
// that leaves the dialog open is followed by Exit.
void ChooseInLanguageDialog(const QString& language, int button)
{
    WhenDialogShows(Lang::ResourceId, [language, button](QDialog* dialog) {
        auto* list = item<QComboBox>(dialog, Lang::LanguageList);
        list->setCurrentIndex(list->findText(language));
        QTest::mouseClick(item<QPushButton>(dialog, button), Qt::LeftButton);
        if (dialog->isVisible())
            QTest::mouseClick(item<QPushButton>(dialog, Lang::ExitButton), Qt::LeftButton);
    });
}

} // namespace

class LangTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void preselection_data();
    void preselection();
    void saveOrExit_data();
    void saveOrExit();
    void germanTakesOverInANewCopy();

private:
    QTemporaryDir m_runtime;
};

void LangTest::initTestCase()
{
    QVERIFY(m_runtime.isValid());
}

void LangTest::preselection_data()
{
    QTest::addColumn<QString>("ini"); // null: no Main.ini at all
    QTest::addColumn<Language>("ui");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("texts"); // title and label, Save, Exit

    const QStringList english{u"Language"_s, u"Save"_s, u"Exit"_s};
    QTest::newRow("no file") << QString() << Language::English << 1 << english;
    QTest::newRow("no key") << u"[Language]\n"_s << Language::English << 1 << english;
    QTest::newRow("Deutsch") << u"[Language]\nLanguage=Deutsch\n"_s << Language::German << 0
                             << QStringList{u"Sprache"_s, u"Sichern"_s, u"Verlassen"_s};
    QTest::newRow("lower case") << u"[Language]\nLanguage=deutsch\n"_s << Language::English << 1
                                << english;
    QTest::newRow("German") << u"[Language]\nLanguage=German\n"_s << Language::English << 1
                            << english;
}

void LangTest::preselection()
{
    QFETCH(QString, ini);
    QFETCH(Language, ui);
    QFETCH(int, selected);
    QFETCH(QStringList, texts);

    QTemporaryDir data;
    const QString settings = data.filePath(u"Main.ini"_s);
    if (!ini.isNull())
        QVERIFY(WriteFile(settings, ini));
    QuietWindowRig rig(ui);
    UiText uiText;
    uiText.LoadUiText(ui);
    LangData langData;
    Lang dialog(rig.link, rig.messages, uiText, langData, settings);
    dialog.OnInitDialog();

    auto* list = item<QComboBox>(&dialog, Lang::LanguageList);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), u"Deutsch"_s);
    QCOMPARE(list->itemText(1), u"English"_s);
    QCOMPARE(list->currentIndex(), selected);
    QCOMPARE(dialog.windowTitle(), texts[0]);
    QCOMPARE(item<QLabel>(&dialog, Lang::Label)->text(), texts[0]);
    QCOMPARE(item<QPushButton>(&dialog, Lang::SaveButton)->text(), texts[1]);
    QCOMPARE(item<QPushButton>(&dialog, Lang::ExitButton)->text(), texts[2]);
}

void LangTest::saveOrExit_data()
{
    QTest::addColumn<Station>("station");
    QTest::addColumn<bool>("iniWritable");
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("program"); // what the restart starts
    QTest::addColumn<QString>("iniAfter");
    QTest::addColumn<QString>("told");
    QTest::addColumn<bool>("restarted");
    QTest::addColumn<bool>("languageSent");

    const QString starts = u"/bin/true"_s;
    const QString cannotStart = u"/no/such/program"_s;
    QTest::newRow("exit") << Station::Ready << true << Lang::ExitButton << starts << u"English"_s
                          << QString() << false << false;
    QTest::newRow("unconnected") << Station::Unplugged << true << Lang::SaveButton << starts
                                 << u"Deutsch"_s << QString() << true << false;
    QTest::newRow("busy screen") << Station::Busy << true << Lang::SaveButton << starts
                                 << u"Deutsch"_s
                                 << u"Please switch the device to the main screen."_s << true
                                 << false;
    QTest::newRow("Main.ini unwritable")
        << Station::Ready << false << Lang::SaveButton << starts << QString()
        << u"The language could not be saved: %1 cannot be written."_s << false << false;
    QTest::newRow("new copy does not start")
        << Station::Ready << true << Lang::SaveButton << cannotStart << u"Deutsch"_s
        << u"Nimbra could not start again. The new language applies from its next start."_s << false
        << true;
}

void LangTest::saveOrExit()
{
    QFETCH(Station, station);
    QFETCH(bool, iniWritable);
    QFETCH(int, button);
    QFETCH(QString, program);
    QFETCH(QString, iniAfter);
    QFETCH(QString, told);
    QFETCH(bool, restarted);
    QFETCH(bool, languageSent);

    QTemporaryDir data;
    const QString settings = data.filePath(u"Main.ini"_s);
    // A folder in its place makes Main.ini unwritable even for the superuser.
    QVERIFY(iniWritable ? WriteFile(settings, EnglishIni) : QDir().mkdir(settings));
    SingleInstanceLock lock(m_runtime.path(), u"kv7100"_s);
    QVERIFY(lock.acquire());

    QuietWindowRig rig;
    QVERIFY(rig.start());
    if (station == Station::Unplugged) {
        rig.bus.unplug(QuietWindowRig::StationPath);
        QTRY_VERIFY(!rig.link.Connected());
    }
    rig.station->setScreenBusy(station == Station::Busy);
    rig.window.setDataFolder(data.path(), data.filePath(QStringLiteral("7100.db")));
    int starts = 0;
    rig.window.setRestarter([&] {
        ++starts;
        return StartNewCopy(lock, program, {});
    });

    ChooseInLanguageDialog(u"Deutsch"_s, button);
    rig.window.menuBar()->findChild<QAction*>(u"32777"_s)->trigger();
    QVERIFY(test::waitForExchange(&rig.window));

    if (iniAfter.isNull())
        QVERIFY(QFileInfo(settings).isDir());
    else
        QCOMPARE(IniLanguage(settings), iniAfter);
    if (told.contains(u"%1"_s))
        told = told.arg(QDir::toNativeSeparators(settings));
    QCOMPARE(rig.messages.texts(), told.isEmpty() ? QStringList{} : QStringList{told});
    QCOMPARE(rig.window.isVisible(), !restarted);
    QCOMPARE(lock.held(), !restarted);
    QCOMPARE(starts, program == u"/no/such/program"_s || restarted ? 1 : 0);
    QCOMPARE(rig.receivedCount(Command::WriteLanguage), languageSent ? 1 : 0);
    QCOMPARE(rig.receivedCount(Command::EndOfWrite), languageSent ? 1 : 0);
    QVERIFY(!rig.window.poll().m_DialogOpen.load());
}

// Deutsch and Save: Main.ini and the station take it, this window closes, and a new copy of
// the program runs on the same data folder with the emulator, holding the lock this one gave up.
void LangTest::germanTakesOverInANewCopy()
{
    QTemporaryDir data;
    const QString settings = data.filePath(u"Main.ini"_s);
    QVERIFY(WriteFile(settings, EnglishIni));
    // Where the new copy on this data folder looks for its lock.
    SingleInstanceLock lock(DefaultLockFolder(), LockName(data.path()));
    QVERIFY(lock.acquire());
    const QStringList options{u"--simulate"_s, u"--data-folder"_s, data.path()};

    const QString lockPath = lock.fileName();
    // A new copy left running would hold the test runner's output open; it never outlives the
    // test, whatever the test finds.
    const auto endNewCopy = qScopeGuard([&] {
        const qint64 owner = LockOwner(lockPath);
        if (owner > 0 && owner != QCoreApplication::applicationPid())
            ::kill(pid_t(owner), SIGKILL);
    });

    QuietWindowRig rig;
    QVERIFY(rig.start());
    rig.window.setDataFolder(data.path(), data.filePath(QStringLiteral("7100.db")));
    rig.window.setRestarter(
        [&] { return StartNewCopy(lock, QStringLiteral(NIMBRA_EXE), options); });
    ChooseInLanguageDialog(u"Deutsch"_s, Lang::SaveButton);
    rig.window.menuBar()->findChild<QAction*>(u"32777"_s)->trigger();
    QVERIFY(test::waitForExchange(&rig.window));

    QCOMPARE(IniLanguage(settings), u"Deutsch"_s);
    QCOMPARE(rig.station->state().language, std::uint8_t(0));
    QCOMPARE(rig.station->state().endOfWrites, 1);
    QVERIFY(rig.messages.texts().isEmpty());
    QVERIFY(!rig.window.isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(LockOwner(lockPath) > 0, 20000);
    const qint64 newCopy = LockOwner(lockPath);
    QVERIFY(newCopy != QCoreApplication::applicationPid());
    QCOMPARE(CommandLineOf(newCopy), QStringList{QStringLiteral(NIMBRA_EXE)} + options);
    ::kill(pid_t(newCopy), SIGKILL);
    QTRY_VERIFY(CommandLineOf(newCopy).isEmpty());
}

QTEST_MAIN(LangTest)
#include "test_lang.moc"
