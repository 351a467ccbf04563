// The SD-card dialog offscreen, by control id, against the emulated station.
#include "dialogitems.h"
#include "emulatedbus.h"
#include "exchangewait.h"
#include "grapsh.h"
#include "history.h"
#include "loggenerator.h"
#include "logline.h"
#include "recordingmessages.h"
#include "recordtext.h"
#include "tempdatabase.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

using namespace nimbra;

namespace {

constexpr const char* StationPath = "emulated:station-1";

std::string outdoorLog(int rows)
{
    LogRecipe recipe;
    recipe.start = std::chrono::sys_days{std::chrono::year{2026} / 12 / 1};
    recipe.rows = rows;
    return generateLog(recipe);
}

struct Rig
{
    explicit Rig(Language language = Language::English)
    {
        texts.LoadUiText(language);
        station->edit([](StationModel& model) {
            model.card().clear();
            model.card().put("20261201.csv", outdoorLog(300));
            model.card().put("IN20261202.csv", "Time,Temperature(C),Humidity(%)\n");
        });
        link.Connect();
        dialog.setDataFolder(database.folder(), database.path());
    }
    ~Rig() { link.stop(); }

    template <typename T = QWidget> T* at(int id) { return item<T>(&dialog, id); }
    // Opens the dialog as DoModal does, up to the file list shown.
    void open()
    {
        dialog.OnInitDialog();
        QVERIFY(test::waitForExchange(&dialog));
    }
    void pick(int row) { at<QTableWidget>(History::FileList)->setCurrentCell(row, 0); }
    bool idle() { return at<QPushButton>(History::SelectButton)->isEnabled(); }

    UiText texts;
    test::TempDatabase database;
    // Scaled waits, but a chunk wait that a paced station (a report a millisecond, 68 to a
    // chunk) meets with room to spare on a machine busy with other tests.
    Timing timing = [] {
        Timing t = Timing{}.scaled(0.05);
        t.fileChunk = std::chrono::milliseconds(1000);
        return t;
    }();
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station = bus.addStation(StationPath);
    ReplyRouter router;
    HidLink link{bus, router, timing};
    test::RecordingMessages messages;
    History dialog{link, router, messages, texts, [] { return Page{}; }};
};

} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT
private slots:
    void listsTheCardWhenItOpens();
    void selectWithNothingSelected();
    void enterOrDoubleClickOnAFileSelectsIt();
    void fetchesImportsAndListsTheRecords();
    void theRecordListShowsTheFileAsTheStationWroteIt();
    void aFailedTransferStoresWholeLinesOnlyAndSaysHowMany();
    void deleteAsksAndSendsTheName();
    void germanTexts();
    void closingDuringATransferKeepsThePartialCopy();
    void workerMessagesNeverHoldTheWorker();
    void workerMessagesAreReadInTheirOrder();
    void hiddenPurgeRemovesTheLocalCopies();
};

void HistoryTest::listsTheCardWhenItOpens()
{
    Rig rig;
    rig.router.m_RouteListToMain = false;
    rig.router.setFileLists(nullptr, &rig.dialog.files());
    rig.open();
    auto* list = rig.at<QTableWidget>(History::FileList);
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->item(1, 0)->text(), QStringLiteral("IN20261202.csv"));
    QCOMPARE(list->item(1, 1)->text(), QStringLiteral("0.03 KB"));
    rig.pick(1);
    QCOMPARE(rig.at<QLabel>(History::SelectedName)->text(), QStringLiteral("IN20261202.csv"));
    QCOMPARE(rig.at<QLabel>(History::SizeLabel)->text(), QStringLiteral("0.03 KB"));
}

void HistoryTest::selectWithNothingSelected()
{
    Rig rig;
    rig.open();
    QTest::mouseClick(rig.at<QPushButton>(History::SelectButton), Qt::LeftButton);
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Please select a file")});
    QVERIFY(rig.idle());
}

// Enter on a file and a double-click on it fetch that file, as Select does, and nothing else:
// not another button, not a second fetch while one runs.
void HistoryTest::enterOrDoubleClickOnAFileSelectsIt()
{
    const auto enter = [](QTableWidget* list, int row) {
        list->setFocus();
        list->setCurrentCell(row, 0);
        QTest::keyClick(list, Qt::Key_Return);
    };
    const auto doubleClick = [](QTableWidget* list, int row) {
        const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
        // A double-click comes after the press of its first click.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };
    const struct
    {
        const char* name;
        std::function<void(QTableWidget*, int)> choose;
    } ways[] = {{"Enter", enter}, {"double-click", doubleClick}};
    for (const auto& way : ways) {
        Rig rig;
        rig.router.m_RouteListToMain = false;
        rig.router.setFileLists(nullptr, &rig.dialog.files());
        rig.station->setPacing(true);
        rig.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog));
        rig.open();
        auto* list = rig.at<QTableWidget>(History::FileList);
        way.choose(list, 0);
        QVERIFY2(!rig.idle(), way.name);
        way.choose(list, 1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.idle(), 10000);

        int chunks = 0;
        for (const ReceivedReport& r : rig.station->received()) {
            const auto payload = r.payload();
            const auto command = static_cast<Command>(payload[1]);
            QVERIFY2(command == Command::FileList || command == Command::FileChunk, way.name);
            const std::string bytes(payload.begin(), payload.end());
            if (command == Command::FileChunk) {
                ++chunks;
                QVERIFY2(bytes.find("20261201.csv") != std::string::npos, way.name);
                QVERIFY2(bytes.find("IN2026") == std::string::npos, way.name);
            }
        }
        QVERIFY2(chunks > 0, way.name);
        QVERIFY2(rig.messages.texts().isEmpty(), way.name);
    }
}

void HistoryTest::fetchesImportsAndListsTheRecords()
{
    Rig rig;
    rig.router.m_RouteListToMain = false;
    rig.router.setFileLists(nullptr, &rig.dialog.files());
    rig.station->setPacing(true);
    rig.dialog.show();
    rig.open();
    rig.pick(0);
    rig.at<QPushButton>(History::SelectButton)->click();
    for (int id : {History::SelectButton, History::DeleteButton, History::GraphButton})
        QVERIFY2(!rig.at<QPushButton>(id)->isEnabled(), qPrintable(QString::number(id)));
    rig.dialog.reject();
    QVERIFY2(rig.dialog.isVisible(), "Esc and the close button wait for the transfer");

    QTRY_VERIFY_WITH_TIMEOUT(rig.idle(), 10000);
    QVERIFY(rig.at<QPushButton>(History::DeleteButton)->isEnabled());
    QVERIFY(rig.at<QPushButton>(History::GraphButton)->isEnabled());
    auto* bar = rig.at<QProgressBar>(History::ProgressBar);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(rig.at<QLabel>(History::SizeLabel)->text(), QStringLiteral("ok..."));
    QVERIFY(rig.messages.texts().isEmpty());

    const QAbstractItemModel* records = rig.at<QTableView>(History::RecordList)->model();
    QCOMPARE(records->rowCount(), 300);
    QCOMPARE(records->columnCount(), 5);
    QCOMPARE(records->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Temperature(°C)"));
    QVERIFY(rig.at<QTableView>(History::RecordList)
                ->accessibleName()
                .startsWith(QStringLiteral("Time, Temperature(°C), ")));
    QCOMPARE(records->index(1, 0).data().toString(), QStringLiteral("2026-12-01 0:05:00"));
    QCOMPARE(rig.dialog.unitLabel(), QStringLiteral("(°C)"));
    QCOMPARE(rig.database.rows().size(), std::size_t(300));

    bool graphShown = false;
    QTimer::singleShot(0, &rig.dialog, [&] {
        auto* graph = qobject_cast<Grapsh*>(QApplication::activeModalWidget());
        graphShown = graph != nullptr;
        if (graph)
            graph->reject();
    });
    rig.at<QPushButton>(History::GraphButton)->click();
    QVERIFY2(graphShown, "Graph opens the graph dialog");

    rig.dialog.reject();
    QVERIFY(!rig.dialog.isVisible());
}

// The list reads its cells from the store page by page; they read as the station's own lines.
void HistoryTest::theRecordListShowsTheFileAsTheStationWroteIt()
{
    Rig rig;
    LogRecipe recipe;
    recipe.start = std::chrono::sys_days{std::chrono::year{2026} / 12 / 3};
    recipe.rows = 3 * RecordListModel::PageRows + 5;
    recipe.missingEvery = 7;
    recipe.timeFormat = 2; // "9:05:00 PM"
    const std::string log = generateLog(recipe);
    rig.station->putFile("20261203.csv", log);
    rig.router.m_RouteListToMain = false;
    rig.router.setFileLists(nullptr, &rig.dialog.files());
    rig.open();
    rig.pick(2);
    rig.at<QPushButton>(History::SelectButton)->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.idle(), 10000);
    const QAbstractItemModel* records = rig.at<QTableView>(History::RecordList)->model();
    QCOMPARE(records->rowCount(), recipe.rows);

    std::istringstream lines(log);
    std::string line;
    std::getline(lines, line); // the header
    // From the last row back, so pages are read out of order and pushed out of the cache.
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    bool missing = false;
    for (int row = recipe.rows - 1; row >= 0; --row) {
        const LogFields fields = SplitLogLine(all[std::size_t(row)], false);
        for (int column = 0; column < RecordColumns; ++column) {
            const QString cell = records->index(row, column).data().toString();
            missing = missing || cell == QStringLiteral("--");
            QString written = QString::fromLatin1(fields.field[std::size_t(column)]);
            // The store keeps no sign of a zero, which the station writes for -0.04.
            if (written == QStringLiteral("-0.0"))
                written = QStringLiteral("0.0");
            QCOMPARE(cell, written);
        }
    }
    QVERIFY2(missing, "the log has readings without a value");

    // Delete empties the store, and the list with it.
    rig.messages.answer(MessageService::Answer::Ok);
    QVERIFY(test::pressAndWait(&rig.dialog, History::DeleteButton));
    QCOMPARE(records->rowCount(), 0);
    QCOMPARE(records->columnCount(), 5);
}

void HistoryTest::aFailedTransferStoresWholeLinesOnlyAndSaysHowMany()
{
    Rig rig;
    const std::string log = outdoorLog(400);
    rig.station->putFile("20261203.csv", log);
    rig.router.m_RouteListToMain = false;
    rig.router.setFileLists(nullptr, &rig.dialog.files());
    rig.open();
    rig.pick(2);
    // The second chunk is cut: the copy ends with the first 4096 bytes, inside a line.
    const std::string kept = log.substr(0, DownloadThread::ChunkSize);
    QVERIFY(kept.back() != '\n');
    const auto whole = std::size_t(std::count(kept.begin(), kept.end(), '\n')) - 1;
    rig.station->unplugAtDataReport(100);
    rig.at<QPushButton>(History::SelectButton)->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.idle() && !rig.messages.texts().isEmpty() &&
                                 rig.messages.texts().last().contains(QStringLiteral("rows")),
                             10000);
    QCOMPARE(rig.messages.texts().last(),
             QStringLiteral("%1 rows were imported from the incomplete copy of 20261203.csv.")
                 .arg(whole));
    QCOMPARE(rig.database.rows().size(), whole);
    QTRY_COMPARE(rig.at<QTableView>(History::RecordList)->model()->rowCount(), int(whole));
}

void HistoryTest::deleteAsksAndSendsTheName()
{
    Rig rig;
    rig.router.m_RouteListToMain = false;
    rig.router.setFileLists(nullptr, &rig.dialog.files());
    rig.database.exec("INSERT INTO Records VALUES (46000.5, 20.5, 40, 6.5, 20.1)");
    const auto copy = rig.database.folder() / "IN20261202.csv";
    std::ofstream(copy) << "old copy";
    rig.open();
    rig.pick(1);
    auto deleteFrames = [&] {
        int n = 0;
        for (const ReceivedReport& r : rig.station->received())
            n += r.payload()[1] == static_cast<std::uint8_t>(Command::DeleteFile);
        return n;
    };

    rig.messages.answer(MessageService::Answer::Cancel);
    QVERIFY(test::pressAndWait(&rig.dialog, History::DeleteButton));
    QCOMPARE(deleteFrames(), 0);
    QVERIFY(std::filesystem::exists(copy));

    rig.messages.answer(MessageService::Answer::Ok);
    QVERIFY(test::pressAndWait(&rig.dialog, History::DeleteButton));
    QCOMPARE(rig.messages.texts().last(),
             QStringLiteral("Delete IN20261202.csv from the station's card?\n"
                            "Are you sure to delete the file?"));
    QCOMPARE(rig.station->received().back().payload(),
             CommandFrame::deleteFile("IN20261202.csv").bytes());
    QCOMPARE(rig.station->state().files.size(), std::size_t(1));
    QVERIFY(!std::filesystem::exists(copy));
    QCOMPARE(rig.at<QTableWidget>(History::FileList)->rowCount(), 1);
    QCOMPARE(rig.at<QLabel>(History::SelectedName)->text(), QStringLiteral("20261201.csv"));
    QVERIFY(rig.database.rows().empty());

    // Unplugged, the station's file stays, and so do the copy, the store and the row.
    rig.database.exec("INSERT INTO Records VALUES (46000.5, 20.5, 40, 6.5, 20.1)");
    const auto other = rig.database.folder() / "20261201.csv";
    std::ofstream(other) << "old copy";
    rig.bus.unplug(StationPath);
    rig.link.OnDeviceChange(DeviceChange::Removal);
    const qsizetype asked = rig.messages.texts().size();
    QVERIFY(test::pressAndWait(&rig.dialog, History::DeleteButton));
    QCOMPARE(rig.messages.texts().mid(asked), QStringList{QStringLiteral("Unconnected")});
    QCOMPARE(deleteFrames(), 1);
    QVERIFY(std::filesystem::exists(other));
    QCOMPARE(rig.at<QTableWidget>(History::FileList)->rowCount(), 1);
    QCOMPARE(rig.database.rows().size(), std::size_t(1));
}

void HistoryTest::germanTexts()
{
    Rig rig(Language::German);
    rig.router.m_RouteListToMain = false;
    rig.router.setFileLists(nullptr, &rig.dialog.files());
    rig.open();
    QCOMPARE(rig.dialog.windowTitle(), QStringLiteral("SD Karte Datei"));
    QCOMPARE(rig.at<QLabel>(History::SelectLabel)->text(), QStringLiteral("Auswählen"));
    QCOMPARE(rig.at<QPushButton>(History::SelectButton)->text(), QStringLiteral("Auswählen"));
    QCOMPARE(rig.at<QPushButton>(History::GraphButton)->text(), QStringLiteral("Graphik"));
    QCOMPARE(rig.at<QPushButton>(History::DeleteButton)->text(), QStringLiteral("Delete"));
    QCOMPARE(rig.at<QPushButton>(History::PurgeButton)->text(), QStringLiteral("Löschen"));
    QVERIFY(!rig.at<QPushButton>(History::PurgeButton)->isVisible());
    auto* files = rig.at<QTableWidget>(History::FileList);
    QCOMPARE(files->horizontalHeaderItem(0)->text(), QStringLiteral("Dateiname"));
    QCOMPARE(files->horizontalHeaderItem(1)->text(), QStringLiteral("Größe"));
    const QAbstractItemModel* records = rig.at<QTableView>(History::RecordList)->model();
    QCOMPARE(records->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Uhrzeit"));
    QCOMPARE(records->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Wärmeindex"));
    // Every button shows its whole text.
    for (int id : {History::SelectButton, History::DeleteButton, History::GraphButton}) {
        auto* button = rig.at<QPushButton>(id);
        QVERIFY(button->sizeHint().width() >=
                button->fontMetrics().horizontalAdvance(button->text()));
    }
    rig.pick(1);
    rig.messages.answer(MessageService::Answer::Cancel);
    QVERIFY(test::pressAndWait(&rig.dialog, History::DeleteButton));
    QCOMPARE(rig.messages.texts().last(),
             QStringLiteral("IN20261202.csv von der Karte der Station löschen?\n"
                            "Sind Sie sicher: Löschen?"));
}

void HistoryTest::closingDuringATransferKeepsThePartialCopy()
{
    auto rig = std::make_unique<Rig>();
    rig->station->putFile("big.csv", std::string(1 << 20, 'x'));
    rig->station->setPacing(true);
    rig->router.m_RouteListToMain = false;
    rig->router.setFileLists(nullptr, &rig->dialog.files());
    rig->open();
    rig->pick(2);
    rig->at<QPushButton>(History::SelectButton)->click();
    const auto copy = rig->database.folder() / "big.csv";
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(copy) && std::filesystem::file_size(copy) > 0,
                             5000);
    rig->dialog.stopTransfer();
    const auto kept = std::filesystem::file_size(copy);
    QVERIFY(kept > 0 && kept < (1u << 20));
    QVERIFY(rig->messages.texts().isEmpty());
    QCOMPARE(rig->database.rows().size(), std::size_t(0));
}

// The worker's boxes appear on the user-interface thread; the worker does not wait for them,
// and a question it waits on is answered Cancel when the dialog closes, so a join never hangs.
void HistoryTest::workerMessagesNeverHoldTheWorker()
{
    QObject context;
    test::RecordingMessages shown;
    PostedMessages posted(&context, shown);
    std::thread([&] { posted.inform(QStringLiteral("This file errors")); }).join();
    QVERIFY(shown.texts().isEmpty());
    QTRY_COMPARE(shown.texts(), QStringList{QStringLiteral("This file errors")});

    MessageService::Answer answer = MessageService::Answer::Ok;
    std::thread asker([&] { answer = posted.ask(QStringLiteral("?")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // no events: nobody answers
    posted.close();
    asker.join();
    QCOMPARE(answer, MessageService::Answer::Cancel);
    QCoreApplication::processEvents();
    QCOMPARE(shown.texts().size(), 1);
}

// A box runs an event loop until it is closed; the user reads the box on top first. Two texts
// a worker tells one after the other are read in that order.
void HistoryTest::workerMessagesAreReadInTheirOrder()
{
    struct ModalMessages final : MessageService
    {
        void inform(const QString& text) override
        {
            QCoreApplication::processEvents();
            closed << text;
        }
        Answer ask(const QString&, const QString&) override { return Answer::Ok; }
        QStringList closed;
    };
    QObject context;
    ModalMessages shown;
    PostedMessages posted(&context, shown);
    std::thread([&] {
        posted.inform(QStringLiteral("This file errors"));
        posted.inform(QStringLiteral("2 rows were imported"));
    }).join();
    QTRY_COMPARE(shown.closed.size(), 2);
    QCOMPARE(shown.closed, (QStringList{QStringLiteral("This file errors"),
                                        QStringLiteral("2 rows were imported")}));
}

void HistoryTest::hiddenPurgeRemovesTheLocalCopies()
{
    Rig rig;
    const std::filesystem::path folder = rig.database.folder();
    for (const char* name : {"a.csv", "B.CSV", "keep.txt"})
        std::ofstream(folder / name) << "x";
    std::filesystem::create_directory(folder / "dir.csv");
    auto* purge = rig.at<QPushButton>(History::PurgeButton);
    purge->click();
    QVERIFY(!std::filesystem::exists(folder / "a.csv"));
    QVERIFY(!std::filesystem::exists(folder / "B.CSV"));
    QVERIFY(std::filesystem::exists(folder / "keep.txt"));
    QVERIFY(std::filesystem::exists(folder / "dir.csv"));
    QVERIFY(std::filesystem::exists(rig.database.path()));
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("ok")});
    purge->click();
    QCOMPARE(rig.messages.texts().size(), 1); // nothing found, nothing said
}

QTEST_MAIN(HistoryTest)
#include "test_history.moc"
