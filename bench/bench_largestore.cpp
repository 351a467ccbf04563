// The program over a large store: with ROWS readings (default 10,000,000) in the data folder,
// the time until the main window first paints, until the SD-card dialog first paints, and for
// the graph's Whole Log to draw, each beside what SQLite itself needs in the same run. The
// store is made once by SQLite's bulk insert and kept in the temporary folder between runs.
// Usage (offscreen): bench_largestore [ROWS]
#include "consolemessages.h"
#include "datafolder.h"
#include "emulatedbus.h"
#include "grapsh.h"
#include "messageservice.h"
#include "my7100dlg.h"
#include "sqlitehandles.h"
#include "sqlitelimit.h"
#include "tchart1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace nimbra {
namespace {

using Clock = std::chrono::steady_clock;

// Notes the first paint of a widget.
class FirstPaint final : public QObject
{
public:
    explicit FirstPaint(QWidget* widget) { widget->installEventFilter(this); }

    // Seconds from started to the first paint, waiting up to a minute for it.
    double since(Clock::time_point started)
    {
        QElapsedTimer waited;
        waited.start();
        while (!m_painted && waited.elapsed() < 60'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return std::chrono::duration<double>(m_at - started).count();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            m_at = Clock::now();
        }
        return false;
    }

private:
    bool m_painted = false;
    Clock::time_point m_at;
};

std::string QueryText(const std::filesystem::path& database, const char* sql)
{
    sqlite3* raw = nullptr;
    sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Database db(raw);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(raw, sql, -1, &statement, nullptr);
    const Statement query(statement);
    std::string text;
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        const auto* column = sqlite3_column_text(statement, 0);
        text += column ? reinterpret_cast<const char*>(column) : "";
        text += '\n';
    }
    return text;
}

// The cached store is used again while it has the rows asked for and the template's schema.
bool EnsureStore(const std::filesystem::path& database, long rows)
{
    constexpr auto Schema = "SELECT sql FROM sqlite_schema ORDER BY name";
    if (std::filesystem::exists(database) &&
        QueryText(database, "SELECT max(rowid) FROM Records") == std::to_string(rows) + "\n" &&
        QueryText(database, Schema) == QueryText(NIMBRA_TEMPLATE_DB, Schema))
        return true;
    std::printf("making the store of %ld rows in %s ...\n", rows, database.c_str());
    const double seconds = bench::SqliteBulkInsertSeconds(NIMBRA_TEMPLATE_DB, database, rows);
    if (seconds < 0.0)
        return false;
    std::printf("SQLite's bulk insert of %ld rows: %.2f s, %.0f rows/s, %.1f bytes a row\n", rows,
                seconds, rows / seconds,
                static_cast<double>(std::filesystem::file_size(database)) / rows);
    return true;
}

int Run(long rows)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("nimbra-bench-largestore-" + std::to_string(rows));
    std::filesystem::create_directories(folder);
    const std::filesystem::path database = folder / "7100.db";
    if (!EnsureStore(database, rows))
        return 1;
    const QString dataFolder = QString::fromStdString(folder.string());
    const double openLimit = bench::SqliteOpenSeconds(database);
    bench::ConsoleMessages messages;

    auto started = Clock::now();
    SetUpDataFolder(dataFolder, TemplateFolder(ProgramFolder()));
    if (!DataFolderProblem(dataFolder).isEmpty())
        return 1;
    EmulatedBus bus;
    bus.addStation("emulated:station-1");
    const Timing timing;
    ReplyRouter router;
    HidLink link(bus, router, timing);
    CMy7100Dlg window(link, router, bus, messages, Language::English);
    window.setDataFolder(dataFolder, QString::fromStdString(database.string()));
    FirstPaint windowPainted(&window);
    window.OnInitDialog();
    window.show();
    bench::PrintBesideLimit("first window painted", windowPainted.since(started), openLimit);

    started = Clock::now();
    History& sdCard = window.history();
    FirstPaint dialogPainted(&sdCard);
    sdCard.OnInitDialog();
    sdCard.show();
    bench::PrintBesideLimit("SD-card dialog painted", dialogPainted.since(started), openLimit);
    sdCard.hide();

    UiText texts;
    texts.LoadUiText(Language::English);
    Grapsh graph(texts, messages, database, QStringLiteral("(°C)"));
    graph.resize(820, 480);
    FirstPaint graphShown(&graph);
    graph.show();
    graphShown.since(Clock::now());
    started = Clock::now();
    double processor = bench::ProcessorSeconds();
    graph.ShowWholeLog();
    const double wholeLog = std::chrono::duration<double>(Clock::now() - started).count();
    const double wholeLogProcessor = bench::ProcessorSeconds() - processor;
    processor = bench::ProcessorSeconds();
    const double scanLimit = bench::SqliteTimeOrderedScanSeconds(database);
    const double scanProcessor = bench::ProcessorSeconds() - processor;
    bench::PrintBesideLimit("Whole Log drawn", wholeLog, scanLimit);
    bench::PrintBesideLimit("Whole Log drawn, processor time of all threads", wholeLogProcessor,
                            scanProcessor);
    std::printf("points drawn: %d in each of three series\n", graph.chart()->graph(0)->dataCount());
    window.close();
    link.stop();
    return 0;
}

} // namespace
} // namespace nimbra

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const long rows = argc > 1 ? std::atol(argv[1]) : 10'000'000;
    return nimbra::Run(rows);
}
