// The graph dialog drawing the kept history instead of the last import.
#include "archive.h"
#include "dialogitems.h"
#include "grapsh.h"
#include "recordingmessages.h"
#include "tchart1.h"
#include "tempdatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

using namespace nimbra;

namespace {

// The store as an import of count one-minute rows from minute first leaves it.
void Import(const test::TempDatabase& store, int first, int count, const char* file, bool indoor)
{
    std::string sql = "BEGIN; DELETE FROM Records;";
    for (int m = first; m < first + count; ++m)
        sql += "INSERT INTO Records VALUES (45000 + " + std::to_string(m) +
               " / 1440.0, 20, 50, "
               "8.5, 65535);";
    QCOMPARE(store.exec(sql + "COMMIT;"), std::string());
    Archive(ArchivePathBeside(store.path())).Merge(store.path(), file, indoor, "(°C)");
}

int TemperatureCount(Grapsh& dialog)
{
    return dialog.chart()->graph(0)->dataCount();
}

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

        UiText texts;
        texts.LoadUiText(Language::English);
        test::RecordingMessages messages;
        Grapsh dialog(texts, messages, store.path(), QStringLiteral("(°C)"));
        auto* source = item<QComboBox>(&dialog, Grapsh::SourceBoxId);
        auto* wholeLog = item<QPushButton>(&dialog, Grapsh::WholeLogId);
        QCOMPARE(source->currentIndex(), 0);
        QTest::mouseClick(wholeLog, Qt::LeftButton);
        QCOMPARE(TemperatureCount(dialog), 5); // the last import, indoor as it may be

        source->setCurrentIndex(1);
        QTest::mouseClick(wholeLog, Qt::LeftButton);
        QCOMPARE(TemperatureCount(dialog), 3 + 5); // both outdoor files, not the indoor one
        QCOMPARE(dialog.chart()->graph(1)->dataCount(), 3 + 5);
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
