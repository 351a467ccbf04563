// The graph dialog drawing the kept history instead of the last import.
#include "archive.h"
#include "dialogitems.h"
#include "grapsh.h"
#include "logimport.h"
#include "recordingmessages.h"
#include "tchart1.h"
#include "tempdatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <fstream>

using namespace nimbra;

namespace {

// An import of count one-minute readings from minute first, as the station logs them.
// Outdoor readings are 20 °C or 68 °F at 50 %, indoor ones 25 °C or 77 °F at 40 %.
void Import(const test::TempDatabase& store, int first, int count, const char* file, bool indoor,
            bool fahrenheit = false)
{
    const char* unit = fahrenheit ? "F" : "C";
    std::string log = std::string("Time,Temperature(") + unit + "),Humidity(%)";
    if (!indoor)
        log += std::string(",DewPoint(") + unit + "),HeatIndex(" + unit + ')';
    log += '\n';
    const std::string values = indoor ? (fahrenheit ? ":00,77,40\n" : ":00,25,40\n")
                                      : (fahrenheit ? ":00,68,50,47.3,--\n" : ":00,20,50,8.5,--\n");
    for (int m = first; m < first + count; ++m)
        log += "2023-03-15 " + std::to_string(m / 60) + ':' + (m % 60 < 10 ? "0" : "") +
               std::to_string(m % 60) + values;
    const std::filesystem::path path = store.folder() / file;
    std::ofstream(path, std::ios::binary) << log;
    test::RecordingMessages messages;
    QVERIFY(ImportLogFile(path, file, store.path(), DateOrder::YearMonthDay, messages).stored);
}

// The drawn readings, without the breaks at gaps.
int TemperatureCount(Grapsh& dialog)
{
    auto& data = *dialog.chart()->graph(0)->data();
    return int(std::count_if(data.begin(), data.end(),
                             [](const QCPGraphData& point) { return !std::isnan(point.value); }));
}

// The values of the first series, each once, breaks left out.
QList<double> DrawnValues(Grapsh& dialog)
{
    QList<double> values;
    for (const QCPGraphData& point : *dialog.chart()->graph(0)->data()) {
        if (!std::isnan(point.value) && !values.contains(point.value))
            values.append(point.value);
    }
    return values;
}

constexpr int LastImport = 0; // the source box's first choice

UiText EnglishTexts()
{
    UiText texts;
    texts.LoadUiText(Language::English);
    return texts;
}

// The English dialog on a store, with the messages it gave.
struct EnglishGraph
{
    explicit EnglishGraph(const test::TempDatabase& store)
        : dialog(texts, messages, store.path(), QStringLiteral("(°C)"))
    {
    }
    const UiText texts = EnglishTexts();
    test::RecordingMessages messages;
    Grapsh dialog;
};

} // namespace

class TestGraphSource : public QObject
{
    Q_OBJECT
private slots:
    void drawsTheLastImportOrTheOutdoorHistory()
    {
        test::TempDatabase store;
        Import(store, 0, 3, "A.csv", false);
        Import(store, 0, 7, "IN_A.csv", true);
        Import(store, 100, 5, "B.csv", false);

        EnglishGraph graph(store);
        Grapsh& dialog = graph.dialog;
        test::RecordingMessages& messages = graph.messages;
        auto* source = item<QComboBox>(&dialog, Grapsh::SourceBoxId);
        auto* wholeLog = item<QPushButton>(&dialog, Grapsh::WholeLogId);
        QCOMPARE(source->currentIndex(), 0);
        QTest::mouseClick(wholeLog, Qt::LeftButton);
        QCOMPARE(TemperatureCount(dialog), 5); // the last import, indoor as it may be

        source->setCurrentIndex(1);
        QTest::mouseClick(wholeLog, Qt::LeftButton);
        QCOMPARE(TemperatureCount(dialog), 3 + 5); // both outdoor files, not the indoor one
        // The 97 minutes between them are a gap, not a line: one break.
        QCOMPARE(dialog.chart()->graph(1)->dataCount(), 3 + 1 + 5);
        QVERIFY2(messages.texts().isEmpty(), qPrintable(messages.texts().join(u'\n')));
    }

    // Each kind of the history under its own choice, never the other's readings, the indoor
    // °F file in the °C of the latest reading; the view switch redraws without Select.
    void drawsEachKindOfTheHistoryUnderItsChoiceInOneUnit()
    {
        test::TempDatabase store;
        Import(store, 0, 4, "IN_F.csv", true, true);
        Import(store, 10, 3, "A.csv", false);
        Import(store, 20, 2, "IN_C.csv", true);
        Import(store, 30, 5, "B.csv", false);

        EnglishGraph graph(store);
        Grapsh& dialog = graph.dialog;
        test::RecordingMessages& messages = graph.messages;
        auto* source = item<QComboBox>(&dialog, Grapsh::SourceBoxId);
        auto* view = item<QComboBox>(&dialog, Grapsh::ViewBoxId);
        QCOMPARE(source->count(), 3);
        QCOMPARE(source->itemText(2), graph.texts.Text(TextId::ArchiveIndoor));
        struct Case
        {
            int source;
            int readings;
            double temperature;
            double humidity;
        };
        for (const Case& drawn : {Case{1, 3 + 5, 20.0, 50.0}, Case{2, 4 + 2, 25.0, 40.0}}) {
            source->setCurrentIndex(LastImport);
            view->setCurrentIndex(Grapsh::TemperatureView);
            // The keyboard reaches every choice: each Down steps to the next and draws it.
            while (source->currentIndex() < drawn.source)
                QTest::keyClick(source, Qt::Key_Down);
            QTest::mouseClick(item<QPushButton>(&dialog, Grapsh::WholeLogId), Qt::LeftButton);
            QCOMPARE(TemperatureCount(dialog), drawn.readings);
            QCOMPARE(DrawnValues(dialog), QList<double>{drawn.temperature});
            QCOMPARE(dialog.chart()->yAxis->label(), QStringLiteral("(°C)"));

            QTest::keyClick(view, Qt::Key_Down);
            QCOMPARE(dialog.chart()->TitleText(), graph.texts.Text(TextId::Humidity));
            QCOMPARE(TemperatureCount(dialog), drawn.readings);
            QCOMPARE(DrawnValues(dialog), QList<double>{drawn.humidity});
        }
        QVERIFY2(messages.texts().isEmpty(), qPrintable(messages.texts().join(u'\n')));
    }

    // A data folder without a history draws an empty chart that says so, and makes no
    // history; a history that cannot be read is said once.
    void aMissingOrBrokenHistoryIsAnEmptyChartOrOneMessage()
    {
        for (const bool broken : {false, true}) {
            test::TempDatabase store;
            const std::filesystem::path history = ArchivePathBeside(store.path());
            if (broken)
                std::ofstream(history, std::ios::binary) << std::string(8192, 'Z');
            EnglishGraph graph(store);
            item<QComboBox>(&graph.dialog, Grapsh::SourceBoxId)->setCurrentIndex(2);
            graph.dialog.DrawGraph();
            QVERIFY2(graph.messages.texts().size() == (broken ? 1 : 0),
                     qPrintable(graph.messages.texts().join(u'\n')));
            QCOMPARE(graph.dialog.chart()->Notice().contains(graph.texts.Text(TextId::NothingKept)),
                     !broken);
            QCOMPARE(std::filesystem::exists(history), broken);
        }
    }

    // The history draws every reading in the unit of its latest, and its own span when the
    // picked one is empty.
    void drawsTheHistoryInOneUnitAndExplainsItsOwnSpan()
    {
        test::TempDatabase store;
        Import(store, 0, 3, "F.csv", false, true);
        Import(store, 100, 2, "C.csv", false);
        Import(store, 0, 1, "IN_B.csv", true); // the last import, where the store alone is

        EnglishGraph graph(store);
        Grapsh& dialog = graph.dialog;
        test::RecordingMessages& messages = graph.messages;
        item<QComboBox>(&dialog, 1053)->setCurrentIndex(1);
        QTest::mouseClick(item<QPushButton>(&dialog, Grapsh::WholeLogId), Qt::LeftButton);
        QCOMPARE(TemperatureCount(dialog), 5);
        for (const QCPGraphData& point : *dialog.chart()->graph(0)->data())
            QVERIFY(std::isnan(point.value) || point.value == 20.0);
        for (const QCPGraphData& point : *dialog.chart()->graph(1)->data())
            QVERIFY(std::isnan(point.value) || point.value == 8.5);
        QCOMPARE(dialog.chart()->yAxis->label(), QStringLiteral("(°C)"));

        item<QDateEdit>(&dialog, Grapsh::StartDateId)->setDate(QDate(2024, 1, 1));
        item<QDateEdit>(&dialog, Grapsh::EndDateId)->setDate(QDate(2024, 1, 2));
        dialog.DrawGraph();
        QVERIFY2(dialog.chart()->Notice().contains(QStringLiteral("2023-03-15 01:41:00")),
                 qPrintable(dialog.chart()->Notice()));
        QVERIFY2(messages.texts().isEmpty(), qPrintable(messages.texts().join(u'\n')));
    }
};

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    TestGraphSource test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_graphsource.moc"
