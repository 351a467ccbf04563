// The SD-card dialog at its edges: what the template hides, the record list before any import,
// the refusals of Delete and Select, and how the download bar reports a transfer.
#include "dialogitems.h"
#include "emulatedbus.h"
#include "history.h"
#include "recordingmessages.h"
#include "scriptedtransport.h"
#include "tempdatabase.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

using namespace nimbra;

namespace {

constexpr const char* StationPath = "emulated:station-1";

std::string content(std::size_t n)
{
    std::string text;
    for (int line = 0; text.size() < n; ++line)
        text += "2026-12-01 0:" + std::to_string(10 + line % 50) + ":00,21.5,40,7.5,21.5\n";
    text.resize(n);
    return text;
}

// The dialog on a transport of the test's choosing, with its file list routed to it.
template <typename Transport> struct Rig
{
    explicit Rig(Language language = Language::English)
    {
        texts.LoadUiText(language);
        router.m_RouteListToMain = false;
        router.setFileLists(nullptr, &dialog.files());
        dialog.setDataFolder(database.folder(), database.path());
    }
    ~Rig() { link.stop(); }

    template <typename T = QWidget> T* at(int id) { return item<T>(&dialog, id); }
    void pick(int row) { at<QTableWidget>(History::FileList)->setCurrentCell(row, 0); }
    bool idle() { return at<QPushButton>(History::SelectButton)->isEnabled(); }
    QString text(TextId id) const { return StringTable(texts.language(), id); }
    void selectAndWait()
    {
        at<QPushButton>(History::SelectButton)->click();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
    }

    UiText texts;
    test::TempDatabase database;
    Timing timing = Timing{}.scaled(0.05);
    Transport bus;
    ReplyRouter router;
    HidLink link{bus, router, timing};
    test::RecordingMessages messages;
    History dialog{link, router, messages, texts, [] { return Page{}; }};
};

struct EmulatedRig : Rig<EmulatedBus>
{
    explicit EmulatedRig(Language language = Language::English) : Rig(language)
    {
        station->edit([](StationModel& model) { model.card().clear(); });
        link.Connect();
    }
    int deleteFrames() const
    {
        int n = 0;
        for (const ReceivedReport& r : station->received())
            n += r.payload()[1] == static_cast<std::uint8_t>(Command::DeleteFile);
        return n;
    }
    std::shared_ptr<EmulatedStation> station = bus.addStation(StationPath);
};

QString grouped(Language language, qint64 n)
{
    return QLocale(language == Language::German ? QLocale::German : QLocale::English).toString(n);
}

} // namespace

class HistoryEdgesTest : public QObject
{
    Q_OBJECT
private slots:
    void sizeLabelStaysHidden();
    void recordColumnsBeforeAnyImport();
    void deleteWithNothingSelected();
    void namesToDeleteFitTheFrame();
    void localCopyThatCannotBeCreated();
    void localCopyGoneBeforeTheImport();
    void barReportsAFailedTransferWhereItStopped();
    void barReportsACompleteTransfer();
    void aRefusedImportKeepsTheLastImportedFile();
};

void HistoryEdgesTest::sizeLabelStaysHidden()
{
    EmulatedRig rig;
    rig.station->putFile("20261201.csv", content(100));
    rig.dialog.show();
    rig.dialog.OnInitDialog();
    rig.pick(0);
    auto* size = rig.at<QLabel>(History::SizeLabel);
    QCOMPARE(size->text(), QStringLiteral("0.10 KB"));
    QVERIFY(!size->isVisible());
    rig.selectAndWait();
    QCOMPARE(size->text(), QStringLiteral("ok..."));
    QVERIFY(!size->isVisible());
}

void HistoryEdgesTest::recordColumnsBeforeAnyImport()
{
    for (Language language : {Language::English, Language::German}) {
        EmulatedRig rig(language);
        rig.dialog.OnInitDialog();
        const QAbstractItemModel* records = rig.at<QTableView>(History::RecordList)->model();
        const TextId ids[] = {TextId::Time, TextId::Temperature, TextId::Humidity, TextId::DewPoint,
                              TextId::HeatIndex};
        QCOMPARE(records->columnCount(), int(std::size(ids)));
        for (int column = 0; column < records->columnCount(); ++column)
            QCOMPARE(records->headerData(column, Qt::Horizontal).toString(), rig.text(ids[column]));
    }
}

void HistoryEdgesTest::deleteWithNothingSelected()
{
    EmulatedRig rig;
    rig.station->putFile("20261201.csv", content(100));
    rig.dialog.OnInitDialog();
    rig.at<QPushButton>(History::SelectButton)->setEnabled(false);
    rig.at<QPushButton>(History::DeleteButton)->click();
    QCOMPARE(rig.messages.texts(), QStringList{rig.text(TextId::SelectFilePlease)});
    QCOMPARE(rig.deleteFrames(), 0);
    QCOMPARE(rig.at<QTableWidget>(History::FileList)->rowCount(), 1);
    QVERIFY2(rig.idle(), "Delete gives Select back");
}

// The delete command holds "{", its code, the name and "@}" in 64 bytes: 60 bytes of name.
void HistoryEdgesTest::namesToDeleteFitTheFrame()
{
    EmulatedRig rig;
    rig.dialog.OnInitDialog();
    auto* name = rig.at<QLabel>(History::SelectedName);
    const QString longest(60, QLatin1Char('n'));
    name->setText(longest + QLatin1Char('n'));
    rig.messages.answer(MessageService::Answer::Ok);
    rig.at<QPushButton>(History::DeleteButton)->click();
    QCOMPARE(rig.messages.texts(), QStringList{rig.text(TextId::NameTooLong).arg(60)});
    QCOMPARE(rig.deleteFrames(), 0);

    name->setText(longest);
    rig.at<QPushButton>(History::DeleteButton)->click();
    QCOMPARE(rig.messages.texts().last(), rig.text(TextId::DeleteFileQuestion).arg(longest) +
                                              u'\n' + rig.text(TextId::DeleteQuestion));
    QCOMPARE(rig.deleteFrames(), 1);
    const Payload sent = rig.station->received().back().payload();
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(sent.data()) + 2, 60), longest.toLatin1());
    QCOMPARE(sent[62], 0x40);
    QCOMPARE(sent[63], 0x7D);
}

void HistoryEdgesTest::localCopyThatCannotBeCreated()
{
    EmulatedRig rig;
    rig.station->putFile("20261201.csv", content(100));
    const auto missing = rig.database.folder() / "no such folder";
    rig.dialog.setDataFolder(missing, rig.database.path());
    rig.dialog.OnInitDialog();
    rig.pick(0);
    rig.selectAndWait();
    QTRY_COMPARE(rig.messages.texts(), QStringList{rig.text(TextId::CreateError)});
    QVERIFY(!std::filesystem::exists(missing));
}

// The copy vanishes while its last chunk arrives: nothing is imported and the store keeps
// what it held.
void HistoryEdgesTest::localCopyGoneBeforeTheImport()
{
    Rig<test::ScriptedTransport> rig;
    rig.database.exec("INSERT INTO Records VALUES (46000.5, 20.5, 40, 6.5, 20.1)");
    const std::string body = "2026-12-01 0:00:00,21.5,40,7.5,21.5";
    const auto copy = rig.database.folder() / "gone.csv";
    rig.bus.addStation("A", [body, copy](const Payload& command) -> std::vector<test::TimedReply> {
        if (command[1] == static_cast<std::uint8_t>(Command::FileList)) {
            Payload file = test::textPayload("{gone.csv,");
            file[13] = static_cast<std::uint8_t>(body.size());
            return {{file}, {test::textPayload("{@}")}};
        }
        if (command[1] != static_cast<std::uint8_t>(Command::FileChunk))
            return {};
        std::filesystem::remove(copy);
        return {{test::textPayload("{" + body + "}")}, {test::textPayload("{@}")}};
    });
    QVERIFY(rig.link.Connect());
    rig.dialog.OnInitDialog();
    rig.pick(0);
    rig.selectAndWait();
    QTRY_COMPARE(rig.messages.texts(), QStringList{QStringLiteral("Open Error2")});
    QCOMPARE(rig.database.rows().size(), std::size_t(1));
    QVERIFY(rig.at<QPushButton>(History::GraphButton)->isEnabled());
}

void HistoryEdgesTest::barReportsAFailedTransferWhereItStopped()
{
    for (Language language : {Language::English, Language::German}) {
        EmulatedRig rig(language);
        rig.station->putFile("20261201.csv", content(10000));
        rig.station->dropChunkEnd(2);
        rig.dialog.OnInitDialog();
        rig.pick(0);
        rig.selectAndWait();
        // The import of what arrived follows with its own word.
        QTRY_VERIFY(rig.messages.texts().size() == 2);
        QCOMPARE(rig.messages.texts().first(), rig.text(TextId::FileErrors));
        auto* bar = rig.at<QProgressBar>(History::ProgressBar);
        QCOMPARE(bar->maximum(), 10000);
        QCOMPARE(bar->value(), 4096);
        QVERIFY(bar->isTextVisible());
        QCOMPARE(bar->text(), rig.text(TextId::ProgressStopped)
                                  .arg(40)
                                  .arg(grouped(language, 4096), grouped(language, 10000)));
        QVERIFY(rig.at<QLabel>(History::SizeLabel)->text().isEmpty());

        // The resume counts on from the copy's end to the whole file.
        rig.station->clearFaults();
        rig.selectAndWait();
        QTRY_COMPARE(rig.at<QLabel>(History::SizeLabel)->text(), QStringLiteral("ok..."));
        QCOMPARE(bar->maximum(), 10000);
        QCOMPARE(bar->value(), 10000);
        QCOMPARE(bar->text(), rig.text(TextId::Progress)
                                  .arg(100)
                                  .arg(grouped(language, 10000), grouped(language, 10000)));
    }
}

void HistoryEdgesTest::barReportsACompleteTransfer()
{
    EmulatedRig rig;
    rig.station->putFile("20261201.csv", content(10000));
    rig.station->putFile("empty.csv", {});
    auto* bar = rig.at<QProgressBar>(History::ProgressBar);
    QVERIFY2(!bar->isTextVisible(), "no words before the first transfer");
    rig.dialog.OnInitDialog();
    rig.pick(0);
    rig.selectAndWait();
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(bar->text(), rig.text(TextId::Progress)
                              .arg(100)
                              .arg(QStringLiteral("10,000"), QStringLiteral("10,000")));
    // The file's last line is cut short: the store takes it, the history does not.
    QCOMPARE(rig.messages.texts(), QStringList{rig.text(TextId::LineNotKept).arg(278)});
    rig.pick(1);
    rig.selectAndWait();
    QCOMPARE(bar->text(),
             rig.text(TextId::Progress).arg(100).arg(QStringLiteral("0"), QStringLiteral("0")));
    QVERIFY(!rig.messages.texts().contains(rig.text(TextId::FileErrors)));
}

// A file the store refuses leaves the list, its unit and its indoor flag with the last file
// the store took: the graph goes on drawing those readings in their own unit.
void HistoryEdgesTest::aRefusedImportKeepsTheLastImportedFile()
{
    EmulatedRig rig;
    rig.station->putFile("20261201.csv",
                         "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n"
                         "2026-12-01 0:10:00,21.5,40,7.5,21.5\n"
                         "2026-12-01 0:15:00,21.6,41,7.6,21.6\n");
    rig.station->putFile("IN20261202.csv", "Time,Temperature(F),Humidity(%)\n"
                                           "2026-12-02 0:10:00,70.5,40\n" +
                                               std::string(70 * 1024, '7') + "\n");
    rig.dialog.OnInitDialog();
    const QAbstractItemModel* records = rig.at<QTableView>(History::RecordList)->model();
    const auto shown = [&] {
        return QStringList{rig.dialog.unitLabel(), QString::number(records->columnCount()),
                           QString::number(records->rowCount()),
                           records->headerData(1, Qt::Horizontal).toString()};
    };
    rig.pick(0);
    rig.selectAndWait();
    const QStringList imported = shown();
    QCOMPARE(imported, (QStringList{"(°C)", "5", "2", "Temperature(°C)"}));

    rig.pick(1);
    rig.selectAndWait();
    QCOMPARE(rig.messages.texts().size(), 1);
    QVERIFY(rig.messages.texts().first().startsWith(QStringLiteral("Line 3 of")));
    QCOMPARE(shown(), imported);
}

QTEST_MAIN(HistoryEdgesTest)
#include "test_historyedges.moc"
