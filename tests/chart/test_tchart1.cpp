#include "chartpoints.h"
#include "oletime.h"
#include "tchart1.h"

#include <QApplication>
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace nimbra;

namespace {

double Ole(int year, int month, int day, int hour, int minute = 0)
{
    return OleDateFrom(QDate(year, month, day), QTime(hour, minute));
}

// Readings every ten minutes over the day 2026-05-10, value = hour of the day.
QVector<QCPGraphData> TenMinuteReadings()
{
    ChartPoints day(1);
    for (int minute = 0; minute < 24 * 60; minute += 10)
        day.add(0, Ole(2026, 5, 10, minute / 60, minute % 60), minute / 60);
    return day.take(0);
}

// Lays the chart out at that width, as a shown window is.
void ShowAtWidth(CTchart1& chart, int width)
{
    chart.resize(width, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
}

} // namespace

class TestTChart1 : public QObject
{
    Q_OBJECT
private slots:
    void timeAxisShowsWallClockAcrossDaylightSaving_data();
    void timeAxisShowsWallClockAcrossDaylightSaving();
    void timeAxisLabelsNeverOverlap();
    void valueAxisFollowsTheVisibleReadings();
    void seriesOutOfUseLeaveTheLegend();
    void wheelAndDragMoveTimeOnlyUntilReset();
    void readoutNamesTimeAndNearestReadings();
    void savesThePictureAsPng();
};

void TestTChart1::timeAxisShowsWallClockAcrossDaylightSaving_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::newRow("spring gap") << 3 << 29;
    QTest::newRow("autumn fold") << 10 << 25;
}

// The process runs in Europe/Berlin (see main): a local-time axis would skip or repeat an hour.
void TestTChart1::timeAxisShowsWallClockAcrossDaylightSaving()
{
    QFETCH(int, month);
    QFETCH(int, day);
    CTchart1 chart;
    ShowAtWidth(chart, 1280); // room for a label each half hour
    chart.SetTimeRange(Ole(2026, month, day, 1), Ole(2026, month, day, 4));
    chart.replot();
    // Ticks every half hour from 01:00 on, each labelled with its own wall-clock time.
    const QVector<QString> labels = chart.xAxis->tickVectorLabels();
    QVERIFY(labels.size() >= 5);
    const QDateTime first(QDate(2026, month, day), QTime(1, 0), QTimeZone::utc());
    for (int i = 0; i < labels.size(); ++i)
        QCOMPARE(labels[i],
                 first.addSecs(i * 1800).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

// Whatever span a zoom leaves, from seconds to decades, at the chart's least width: at least
// two labels, each clear of the next as the axis's font measures them.
void TestTChart1::timeAxisLabelsNeverOverlap()
{
    CTchart1 chart;
    ShowAtWidth(chart, chart.minimumWidth());
    constexpr double Minute = 1.0 / 1440.0;
    const double start = Ole(2026, 5, 10, 8, 7);
    for (const double span :
         {20 * Minute / 60, 2 * Minute, 7 * Minute, 40 * Minute, 3 * 60 * Minute, 30 * 60 * Minute,
          4.0, 10.0, 45.0, 75.0, 200.0, 400.0, 1500.0, 3650.0, 15000.0}) {
        chart.SetTimeRange(start, start + span);
        chart.replot();
        const QVector<double> ticks = chart.xAxis->tickVector();
        const QVector<QString> labels = chart.xAxis->tickVectorLabels();
        QVERIFY2(ticks.size() >= 2, qPrintable(QString::number(span)));
        const QFontMetrics metrics(chart.xAxis->tickLabelFont());
        const auto extent = [&](int i) {
            const double width =
                metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip, labels[i]).width();
            const double centre = chart.xAxis->coordToPixel(ticks[i]);
            return std::pair(centre - width / 2, centre + width / 2);
        };
        for (int i = 1; i < ticks.size(); ++i)
            QVERIFY2(
                extent(i - 1).second < extent(i).first,
                qPrintable(
                    QStringLiteral("%1 days: %2 | %3").arg(span).arg(labels[i - 1], labels[i])));
    }
}

void TestTChart1::valueAxisFollowsTheVisibleReadings()
{
    CTchart1 chart;
    const QVector<QCPGraphData> day = TenMinuteReadings();
    chart.SetTimeRange(Ole(2026, 5, 10, 0), Ole(2026, 5, 11, 0));
    chart.LoadSeries(0, day);
    QCOMPARE(chart.graph(0)->dataCount(), int(day.size()));
    chart.replot();
    QVERIFY(chart.yAxis->range().contains(0.0) && chart.yAxis->range().contains(23.0));

    chart.xAxis->setRange(AxisKeyFromOle(Ole(2026, 5, 10, 12)),
                          AxisKeyFromOle(Ole(2026, 5, 10, 14)));
    QVERIFY(chart.yAxis->range().contains(12.0) && chart.yAxis->range().contains(14.0));
    QVERIFY(!chart.yAxis->range().contains(11.0) && !chart.yAxis->range().contains(15.0));

    // Held while the dialog clears and refills: no refit to the empty chart.
    chart.SetValueAxisAutomatic(false);
    const QCPRange held = chart.yAxis->range();
    chart.ClearAllSeries();
    chart.xAxis->setRange(AxisKeyFromOle(Ole(2026, 5, 10, 0)), AxisKeyFromOle(Ole(2026, 5, 11, 0)));
    QCOMPARE(chart.yAxis->range(), held);
    QCOMPARE(chart.graph(0)->dataCount(), 0);
}

void TestTChart1::seriesOutOfUseLeaveTheLegend()
{
    CTchart1 chart;
    QCOMPARE(chart.legend->itemCount(), 0);
    const char* titles[] = {"Humidity", "DewPoint", "HeatIndex", "Spare"};
    for (int series = 0; series < CTchart1::SeriesCount; ++series)
        chart.SetSeriesTitle(series, QString::fromLatin1(titles[series]));
    QCOMPARE(chart.legend->itemCount(), CTchart1::SeriesCount);
    for (int series = 1; series < CTchart1::SeriesCount; ++series)
        chart.SetSeriesInUse(series, false);
    QCOMPARE(chart.legend->itemCount(), 1);
    QCOMPARE(chart.legend->itemWithPlottable(chart.graph(0))->plottable()->name(),
             QStringLiteral("Humidity"));
    QVERIFY(!chart.graph(2)->visible() && !chart.SeriesInUse(2));

    chart.SetSeriesInUse(2, true);
    chart.SetSeriesInUse(1, true);
    // Back in the order of the series, not of the calls.
    QCOMPARE(chart.legend->itemCount(), 3);
    QCOMPARE(qobject_cast<QCPPlottableLegendItem*>(chart.legend->item(1))->plottable(),
             chart.graph(1));
}

// The wheel zooms and a drag pans the time axis only; reset returns to the chosen range.
void TestTChart1::wheelAndDragMoveTimeOnlyUntilReset()
{
    CTchart1 chart;
    chart.resize(800, 400);
    const double start = Ole(2026, 5, 10, 8);
    const double end = Ole(2026, 5, 10, 20);
    chart.SetTimeRange(start, end);
    chart.yAxis->setRange(0.0, 10.0);
    chart.replot();
    const QPointF middle = chart.axisRect()->rect().center();

    QWheelEvent wheel(middle, chart.mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &wheel);
    QVERIFY(chart.xAxis->range().size() < AxisKeyFromOle(end) - AxisKeyFromOle(start));
    const double zoomedStart = chart.ViewStart();

    QMouseEvent press(QEvent::MouseButtonPress, middle, chart.mapToGlobal(middle), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    const QPointF to = middle + QPointF(-100, 50);
    QMouseEvent move(QEvent::MouseMove, to, chart.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, chart.mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    for (QMouseEvent* event : {&press, &move, &release})
        QApplication::sendEvent(&chart, event);
    QVERIFY(chart.ViewStart() > zoomedStart);
    QCOMPARE(chart.yAxis->range(), QCPRange(0.0, 10.0));

    chart.ResetView();
    QCOMPARE(chart.ViewStart(), start);
    QCOMPARE(chart.ViewEnd(), end);

    // A range of no length still makes a usable axis: the second after its start.
    chart.SetTimeRange(start, start);
    QCOMPARE(chart.xAxis->range().size(), 1.0);
}

void TestTChart1::readoutNamesTimeAndNearestReadings()
{
    CTchart1 chart;
    chart.resize(800, 400);
    const QVector<QCPGraphData> day = TenMinuteReadings();
    chart.SetTimeRange(Ole(2026, 5, 10, 0), Ole(2026, 5, 11, 0));
    chart.SetSeriesTitle(0, QStringLiteral("Temperature"));
    chart.SetSeriesInUse(3, false);
    chart.LoadSeries(0, day);
    chart.replot();

    // Four minutes past 14:10 lies nearest the 14:10 reading.
    const double x = chart.xAxis->coordToPixel(AxisKeyFromOle(Ole(2026, 5, 10, 14, 14)));
    const double y = chart.yAxis->coordToPixel(7.0);
    const QStringList lines = chart.ReadoutAt(QPointF(x, y)).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2); // empty series in use add no line
    QVERIFY2(lines[0].startsWith(QStringLiteral("2026-05-10 14:1")), qPrintable(lines[0]));
    QVERIFY2(lines[0].endsWith(QStringLiteral("7.0")), qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("Temperature: 14.0   2026-05-10 14:10:00"));

    QVERIFY(chart.ReadoutAt(QPointF(2, 2)).isEmpty());
}

void TestTChart1::savesThePictureAsPng()
{
    CTchart1 chart;
    chart.resize(820, 380);
    const QVector<QCPGraphData> day = TenMinuteReadings();
    chart.SetTimeRange(Ole(2026, 5, 10, 0), Ole(2026, 5, 11, 0));
    chart.LoadSeries(0, day);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("graph.png"));
    QVERIFY(chart.SavePicture(path));
    const QImage picture(path, "PNG");
    QCOMPARE(picture.size(), QSize(820, 380));
    QVERIFY(!chart.SavePicture(dir.filePath(QStringLiteral("missing/graph.png"))));
}

int main(int argc, char** argv)
{
    qputenv("TZ", "Europe/Berlin");
    QApplication app(argc, argv);
    // The readout speaks the interface's language, which the program sets as the default locale;
    // these tests read the English program's, whatever locale they run under.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TestTChart1 test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_tchart1.moc"
