// How the kept history holds up when it is large: ten million readings (one a minute for about
// nineteen years) merged in files of half a million, then `history --stats` and a one-year graph
// of it. build/bin/bench_archive [--rows=N] (run offscreen).
#include "archive.h"
#include "dialogitems.h"
#include "grapsh.h"
#include "headless.h"
#include "messageservice.h"
#include "oletime.h"
#include "tchart1.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

namespace nimbra {
namespace {

std::int64_t TotalRows = 10'000'000;
constexpr std::int64_t RowsPerFile = 500'000;
constexpr int SourceBoxId = 1053; // the graph's choice of what it draws
const QDate FirstDay(2006, 1, 1);

// The graph's messages: any one voids the figures, and the benchmark stops with it.
class VoidingMessages final : public MessageService
{
public:
    void inform(const QString& text) override { last = text; }
    Answer ask(const QString& text, const QString&) override
    {
        last = text;
        return Answer::Cancel;
    }
    QString last;
};

// The data folder with its store and a history of TotalRows readings, made once.
class LargeArchive
{
public:
    LargeArchive()
    {
        m_store = m_dir.filePath(QStringLiteral("7100.db"));
        QFile::copy(QStringLiteral(NIMBRA_TEMPLATE_DB), m_store);
        QFile::setPermissions(m_store, QFile::ReadOwner | QFile::WriteOwner);
        const double first = OleDateFrom(FirstDay, QTime(0, 0));
        const auto started = std::chrono::steady_clock::now();
        Archive{ArchivePathBeside(path())}; // its tables
        for (std::int64_t from = 0; from < TotalRows; from += RowsPerFile) {
            if (!fillFile(first, from, std::min(RowsPerFile, TotalRows - from)))
                return;
        }
        std::fprintf(
            stderr, "history of %lld rows built in %.1f s\n", static_cast<long long>(TotalRows),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        m_filled = true;
    }

    std::filesystem::path path() const { return m_store.toStdString(); }
    QString folder() const { return m_dir.path(); }
    bool filled() const { return m_filled; }

private:
    // One file's count readings from minute from on, with a daily cycle, as an import keeps
    // them.
    bool fillFile(double first, std::int64_t from, std::int64_t count)
    {
        sqlite3* raw = nullptr;
        sqlite3_open(ArchivePathBeside(path()).string().c_str(), &raw);
        const Database db(raw);
        const std::string file = std::to_string(from / RowsPerFile + 1);
        const std::string sql =
            "BEGIN; INSERT INTO Files (Id, Name, FirstLine, Indoor, UnitLabel, Rows) VALUES (" +
            file + ", 'file" + file + ".csv', " + file + ", 0, '(°C)', " + std::to_string(count) +
            "); WITH RECURSIVE m(i) AS (SELECT " + std::to_string(from) +
            " UNION ALL SELECT i + 1 FROM m WHERE i < " + std::to_string(from + count - 1) +
            ") INSERT INTO Readings SELECT " + file + ", i - " + std::to_string(from) +
            " + 2, 0, " + std::to_string(first) +
            " + i / 1440.0, 15 + (i % 1440) / 100.0, 40 + i % 50, 9 + (i % 1440) / 200.0, "
            "65535, 0 FROM m; COMMIT;";
        char* error = nullptr;
        if (sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK)
            return true;
        std::fprintf(stderr, "%s\n", error);
        sqlite3_free(error);
        return false;
    }

    QTemporaryDir m_dir;
    QString m_store;
    bool m_filled = false;
};

const LargeArchive& Archive()
{
    static const LargeArchive history;
    return history;
}

// Runs one nimbractl history command line per iteration.
void TimeHistoryCommand(benchmark::State& state, const QStringList& options)
{
    if (!Archive().filled()) {
        state.SkipWithError("the history could not be built");
        return;
    }
    std::FILE* out = std::tmpfile();
    HeadlessEnvironment env;
    env.out = out;
    const QStringList arguments =
        QStringList{QStringLiteral("nimbractl"), QStringLiteral("--data-folder"),
                    Archive().folder(), QStringLiteral("history")} +
        options;
    for (auto _ : state)
        if (RunHeadlessCommand(arguments, env) != 0)
            state.SkipWithError("the history command failed");
    std::fclose(out);
}

void HistoryStats(benchmark::State& state)
{
    TimeHistoryCommand(state, {QStringLiteral("--stats")});
}
BENCHMARK(HistoryStats)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// `history --daily` over the history's last whole year (a reading a minute: five times the
// readings of a station logging every five minutes).
void OneYearDaily(benchmark::State& state)
{
    const int year = FirstDay.addDays(TotalRows / 1440).year() - 1;
    TimeHistoryCommand(state, {QStringLiteral("--daily"), QStringLiteral("--from"),
                               QStringLiteral("%1-01-01").arg(year), QStringLiteral("--to"),
                               QStringLiteral("%1-12-31").arg(year)});
}
BENCHMARK(OneYearDaily)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The graph dialog on the history, its last whole year in the temperature view: counts,
// selections, loading and the paint.
void OneYearGraph(benchmark::State& state)
{
    if (!Archive().filled()) {
        state.SkipWithError("the history could not be built");
        return;
    }
    UiText texts;
    VoidingMessages messages;
    Grapsh dialog(texts, messages, Archive().path(), QStringLiteral("(°C)"));
    dialog.resize(820, 480);
    dialog.show();
    item<QComboBox>(&dialog, SourceBoxId)->setCurrentIndex(1);
    const int year = FirstDay.addDays(TotalRows / 1440).year() - 1;
    item<QDateEdit>(&dialog, Grapsh::StartDateId)->setDate(QDate(year, 1, 1));
    item<QTimeEdit>(&dialog, Grapsh::StartTimeId)->setTime(QTime(0, 0));
    item<QDateEdit>(&dialog, Grapsh::EndDateId)->setDate(QDate(year + 1, 1, 1));
    item<QTimeEdit>(&dialog, Grapsh::EndTimeId)->setTime(QTime(0, 0));
    for (auto _ : state) {
        dialog.DrawGraph();
        dialog.chart()->repaint();
    }
    state.counters["points"] = dialog.chart()->graph(0)->dataCount() * 2.0;
    if (!messages.last.isEmpty())
        state.SkipWithError(qPrintable(messages.last));
}
BENCHMARK(OneYearGraph)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace
} // namespace nimbra

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]).startsWith("--rows="))
            nimbra::TotalRows = QByteArray(argv[i]).mid(7).toLongLong();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
