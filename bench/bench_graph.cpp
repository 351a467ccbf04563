// How fast the graph draws a large log: DrawGraph over a store of 1,000,000 readings in the
// temperature view (counts, selections, loading and the first paint), the chart alone loading
// and painting the same points, and a repaint after a zoom of the time axis.
#include "grapsh.h"
#include "messageservice.h"
#include "oletime.h"
#include "recordstore.h"
#include "tchart1.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <vector>

namespace nimbra {
namespace {

constexpr int Rows = 1'000'000;

// A message here means the figures are void: it goes to the console.
class ConsoleMessages final : public MessageService
{
public:
    void inform(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    Answer ask(const QString& text, const QString&) override
    {
        inform(text);
        return Answer::Cancel;
    }
};

// One reading a minute from 2024-01-01 on, with a daily cycle.
RecordRow Reading(int minute)
{
    const double phase = minute * (2.0 * M_PI / 1440.0);
    const float temperature = float(15.0 + 8.0 * std::sin(phase));
    return {OleDateFrom(QDate(2024, 1, 1), QTime(0, 0)) + minute / 1440.0, temperature,
            int(60 - 20 * std::sin(phase)), temperature - 6.0f, temperature + 1.0f};
}

// The store of a million readings, made once for all benchmarks.
class MillionRowStore
{
public:
    MillionRowStore()
    {
        m_path = m_dir.filePath(QStringLiteral("7100.db"));
        QFile::copy(QStringLiteral(NIMBRA_TEMPLATE_DB), m_path);
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        RecordStore store(m_messages);
        if (store.Open(path()) != 0 || store.BeginReplace() != 0)
            return;
        store.OpenForAppend();
        RecordRow row;
        store.CurrentRow = &row;
        for (int minute = 0; minute < Rows; ++minute) {
            row = Reading(minute);
            store.AppendRow();
        }
        store.CloseCursor();
        m_filled = store.CommitReplace() == 0;
    }

    std::filesystem::path path() const { return m_path.toStdString(); }
    bool filled() const { return m_filled; }

private:
    QTemporaryDir m_dir;
    QString m_path;
    ConsoleMessages m_messages;
    bool m_filled = false;
};

const MillionRowStore& Store()
{
    static const MillionRowStore store;
    return store;
}

// The dialog on the whole log, shown at its usual size.
struct WholeLogDialog
{
    WholeLogDialog() : dialog(texts, messages, Store().path(), QStringLiteral("(°C)"))
    {
        dialog.resize(820, 480);
        dialog.show();
        dialog.ShowWholeLog();
    }

    UiText texts;
    ConsoleMessages messages;
    Grapsh dialog;
};

void DrawGraphMillionRows(benchmark::State& state)
{
    if (!Store().filled()) {
        state.SkipWithError("the store could not be filled");
        return;
    }
    WholeLogDialog view;
    for (auto _ : state)
        view.dialog.DrawGraph();
    state.counters["points"] = view.dialog.chart()->graph(0)->dataCount() * 3.0;
}
BENCHMARK(DrawGraphMillionRows)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void ChartLoadAndPaint(benchmark::State& state)
{
    std::vector<double> times(Rows);
    std::vector<std::vector<double>> values(3, std::vector<double>(Rows));
    for (int minute = 0; minute < Rows; ++minute) {
        const RecordRow row = Reading(minute);
        times[minute] = row.Time;
        values[0][minute] = row.Temperature;
        values[1][minute] = row.Dewpoint;
        values[2][minute] = row.Heatindex;
    }
    CTchart1 chart;
    chart.resize(800, 369);
    chart.show();
    chart.SetTimeRange(times.front(), times.back());
    for (auto _ : state) {
        chart.ClearAllSeries();
        for (int series = 0; series < 3; ++series)
            chart.LoadSeries(series, Rows, values[series].data(), times.data());
        chart.replot();
    }
}
BENCHMARK(ChartLoadAndPaint)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Alternately halves and doubles the visible span around its middle (argument 0: the whole log;
// 1: zoomed in to about a day), then repaints.
void RepaintAfterZoom(benchmark::State& state)
{
    WholeLogDialog view;
    CTchart1& chart = *view.dialog.chart();
    if (state.range(0) == 1)
        chart.xAxis->scaleRange(1.0 / 512.0);
    bool zoomIn = true;
    for (auto _ : state) {
        chart.xAxis->scaleRange(zoomIn ? 0.5 : 2.0);
        chart.replot();
        zoomIn = !zoomIn;
    }
}
BENCHMARK(RepaintAfterZoom)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace nimbra

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
