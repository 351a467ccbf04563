// The graph dialog's chart as it opens and as it answers a draw: colours, legend and title, the
// error that Time Error is, and the word the chart says when the drawn span is empty.
#include "dialogitems.h"
#include "grapsh.h"
#include "oletime.h"
#include "recordingmessages.h"
#include "tchart1.h"
#include "tempdatabase.h"

#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

using namespace nimbra;

namespace {

const QDate Day(2026, 5, 10);

QStringList LegendEntries(const CTchart1& chart)
{
    QStringList entries;
    for (int i = 0; i < chart.legend->itemCount(); ++i) {
        auto* entry = qobject_cast<QCPPlottableLegendItem*>(chart.legend->item(i));
        entries << (entry ? entry->plottable()->name() : QStringLiteral("?"));
    }
    return entries;
}

void SetRange(Grapsh& dialog, QDate startDay, QTime start, QDate endDay, QTime end)
{
    item<QDateEdit>(&dialog, Grapsh::StartDateId)->setDate(startDay);
    item<QTimeEdit>(&dialog, Grapsh::StartTimeId)->setTime(start);
    item<QDateEdit>(&dialog, Grapsh::EndDateId)->setDate(endDay);
    item<QTimeEdit>(&dialog, Grapsh::EndTimeId)->setTime(end);
}

struct Rig
{
    explicit Rig(Language language)
    {
        texts.LoadUiText(language);
        for (int minute : {0, 10, 20})
            database.exec(QStringLiteral("INSERT INTO Records VALUES (%1, 20.5, 40, 6.5, 20.1)")
                              .arg(OleDateFrom(Day, QTime(10, minute)), 0, 'g', 17)
                              .toStdString());
    }
    QString text(TextId id) const { return StringTable(texts.language(), id); }
    void draw(int view)
    {
        item<QComboBox>(&dialog, Grapsh::ViewBoxId)->setCurrentIndex(view);
        QTest::mouseClick(item<QPushButton>(&dialog, Grapsh::SelectId), Qt::LeftButton);
    }

    UiText texts;
    test::TempDatabase database;
    test::RecordingMessages messages;
    Grapsh dialog{texts, messages, database.path(), QStringLiteral("(°C)")};
};

} // namespace

class TestGrapshOpen : public QObject
{
    Q_OBJECT
private slots:
    void chartAsItOpens();
    void legendAndTitleOfEachView_data();
    void legendAndTitleOfEachView();
    void timeErrorIsAnError();
    void emptySpanSaysWhereTheReadingsAre();
};

void TestGrapshOpen::chartAsItOpens()
{
    Rig rig(Language::English);
    const CTchart1& chart = *rig.dialog.chart();
    const QColor colours[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 128, 255),
                              QColor(255, 128, 0)};
    QCOMPARE(chart.graphCount(), CTchart1::SeriesCount);
    for (int series = 0; series < CTchart1::SeriesCount; ++series)
        QCOMPARE(chart.graph(series)->pen().color(), colours[series]);
    QCOMPARE(chart.TitleText(), QStringLiteral(" "));
    QVERIFY2(LegendEntries(chart).isEmpty(), "no series has a title yet");
    QVERIFY(chart.legend->visible());
    QVERIFY(chart.Notice().isEmpty());
}

void TestGrapshOpen::legendAndTitleOfEachView_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<int>("view");
    QTest::addColumn<QList<TextId>>("legend"); // in series order
    for (Language language : {Language::English, Language::German}) {
        const char* name = language == Language::English ? "English" : "German";
        QTest::addRow("%s temperature", name)
            << language << int(Grapsh::TemperatureView)
            << QList<TextId>{TextId::Temperature, TextId::DewPoint, TextId::HeatIndex};
        QTest::addRow("%s humidity", name)
            << language << int(Grapsh::HumidityView) << QList<TextId>{TextId::Humidity};
    }
}

// The view's first text titles the chart; the legend lists the series the view fills.
void TestGrapshOpen::legendAndTitleOfEachView()
{
    QFETCH(Language, language);
    QFETCH(int, view);
    QFETCH(QList<TextId>, legend);
    Rig rig(language);
    SetRange(rig.dialog, Day, QTime(9, 0), Day, QTime(11, 0));
    rig.draw(Grapsh::TemperatureView);
    rig.draw(view);
    QStringList expected;
    for (TextId id : legend)
        expected << rig.text(id);
    QCOMPARE(LegendEntries(*rig.dialog.chart()), expected);
    QCOMPARE(rig.dialog.chart()->TitleText(), expected.first());
    QVERIFY(rig.messages.texts().isEmpty());
}

void TestGrapshOpen::timeErrorIsAnError()
{
    Rig rig(Language::German);
    SetRange(rig.dialog, Day, QTime(11, 0), Day, QTime(9, 0));
    rig.draw(Grapsh::TemperatureView);
    QCOMPARE(rig.messages.texts(), QStringList{rig.text(TextId::TimeError)});
    QCOMPARE(rig.messages.kinds(), QList{test::RecordingMessages::Kind::Error});
}

void TestGrapshOpen::emptySpanSaysWhereTheReadingsAre()
{
    for (Language language : {Language::English, Language::German}) {
        Rig rig(language);
        CTchart1& chart = *rig.dialog.chart();
        const QString stored =
            rig.text(TextId::StoreSpan)
                .arg(QStringLiteral("2026-05-10 10:00:00"), QStringLiteral("2026-05-10 10:20:00"));
        SetRange(rig.dialog, Day.addDays(1), QTime(9, 0), Day.addDays(1), QTime(11, 0));
        rig.draw(Grapsh::TemperatureView);
        QCOMPARE(chart.Notice(), rig.text(TextId::NoReadings)
                                         .arg(QStringLiteral("2026-05-11 09:00:00"),
                                              QStringLiteral("2026-05-11 11:00:00")) +
                                     QLatin1Char('\n') + stored);

        // A span that holds a reading says nothing; one with only its start does.
        SetRange(rig.dialog, Day, QTime(10, 5), Day, QTime(10, 15));
        rig.draw(Grapsh::HumidityView);
        QCOMPARE(chart.Notice(), QString());
        SetRange(rig.dialog, Day, QTime(10, 20), Day, QTime(10, 25));
        rig.draw(Grapsh::HumidityView);
        QVERIFY(chart.Notice().endsWith(stored));

        // Whole Log draws the stored span; an empty store is named as such.
        QTest::mouseClick(item<QPushButton>(&rig.dialog, Grapsh::WholeLogId), Qt::LeftButton);
        QVERIFY(chart.Notice().isEmpty());
        rig.database.exec("DELETE FROM Records");
        rig.draw(Grapsh::TemperatureView);
        QVERIFY(chart.Notice().endsWith(QLatin1Char('\n') + rig.text(TextId::NothingImported)));
        QVERIFY(rig.messages.texts().isEmpty());
    }
}

QTEST_MAIN(TestGrapshOpen)
#include "test_grapshopen.moc"
