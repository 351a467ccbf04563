// How fast the graph draws a large log: DrawGraph over a store of 1,000,000 readings in the
// temperature view (the store's reading, loading and the first paint) beside SQLite's own time
// to read the same rows in time order (sqlite_ms, ours/limit), the chart alone loading and
// painting the same points, and a repaint after a zoom of the time axis.
#include "chartpoints.h"
#include "consolemessages.h"
#include "grapsh.h"
#include "messageservice.h"
#include "oletime.h"
#include "recordstore.h"
#include "sqlitelimit.h"
#include "tchart1.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <vector>

namespace nimbra {
namespace {

constexpr int Rows = 1'000'000;

// The store of a million readings, made once for all benchmarks, and SQLite's own time to
// read it in time order.
class MillionRowStore
{
public:
    MillionRowStore()
    {
        m_filled = bench::SqliteBulkInsertSeconds(NIMBRA_TEMPLATE_DB, path(), Rows) >= 0.0;
        if (m_filled) {
            const double processor = bench::ProcessorSeconds();
            m_scanSeconds = bench::SqliteTimeOrderedScanSeconds(path());
            m_scanProcessor = bench::ProcessorSeconds() - processor;
            std::printf("the store: %.1f bytes a row\n",
                        static_cast<double>(std::filesystem::file_size(path())) / Rows);
        }
    }

    std::filesystem::path path() const
    {
        return m_dir.filePath(QStringLiteral("7100.db")).toStdString();
    }
    bool filled() const { return m_filled; }
    double scanSeconds() const { return m_scanSeconds; }
    double scanProcessor() const { return m_scanProcessor; }

private:
    QTemporaryDir m_dir;
    bool m_filled = false;
    double m_scanSeconds = -1.0;
    double m_scanProcessor = -1.0;
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
    bench::ConsoleMessages messages;
    Grapsh dialog;
};

void DrawGraphMillionRows(benchmark::State& state)
{
    if (!Store().filled()) {
        state.SkipWithError("the store could not be filled");
        return;
    }
    WholeLogDialog view;
    double seconds = 0.0;
    const double processor = bench::ProcessorSeconds();
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        view.dialog.DrawGraph();
        seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }
    state.counters["processor_ms"] =
        (bench::ProcessorSeconds() - processor) / state.iterations() * 1e3;
    state.counters["points"] = view.dialog.chart()->graph(0)->dataCount() * 3.0;
    const double limit = Store().scanSeconds();
    state.counters["sqlite_ms"] = limit * 1e3;
    state.counters["sqlite_processor_ms"] = Store().scanProcessor() * 1e3;
    state.counters["ours/limit"] = seconds / state.iterations() / limit;
}
BENCHMARK(DrawGraphMillionRows)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void ChartLoadAndPaint(benchmark::State& state)
{
    ChartPoints points(3);
    points.reserve(Rows);
    for (int i = 0; i < Rows; ++i) {
        const RecordRow row = bench::BenchRow(i);
        points.add(0, row.Time, row.Temperature);
        points.add(1, row.Time, row.Dewpoint);
        points.add(2, row.Time, row.Heatindex);
    }
    std::array<QVector<QCPGraphData>, 3> series;
    for (std::size_t i = 0; i < series.size(); ++i)
        series[i] = points.take(i);
    CTchart1 chart;
    chart.resize(800, 369);
    chart.show();
    chart.SetTimeRange(bench::BenchRow(0).Time, bench::BenchRow(Rows - 1).Time);
    for (auto _ : state) {
        chart.ClearAllSeries();
        for (std::size_t i = 0; i < series.size(); ++i)
            chart.LoadSeries(static_cast<int>(i), series[i]);
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
