// The SD-card transfer against the emulated station.
//
//   bench_sdcard download  a 1 MiB file at USB full-speed pacing (one report per millisecond):
//                          KB/s beside the protocol's own limit, and the program's time per
//                          chunk beyond the protocol's pauses.
//   bench_sdcard ui [N]    an N-line log (default 1,000,000) fetched without pacing and imported
//                          by the SD-card dialog, while a timer on the user-interface thread
//                          ticks every 5 ms: the longest gap between two ticks.
//   bench_sdcard memory [N] an N-line local copy (default 10,000,000) that already holds the
//                          whole file, imported by the SD-card dialog and listed to its last
//                          row: the program's peak resident size.
#include "benchlog.h"
#include "dialogitems.h"
#include "downloadthread.h"
#include "emulatedbus.h"
#include "history.h"
#include "loggenerator.h"
#include "messageservice.h"
#include "sqlitelimit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace nimbra {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* StationPath = "emulated:station-1";

class Quiet final : public MessageService
{
public:
    void inform(const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
    Answer ask(const QString&, const QString&) override { return Answer::Cancel; }
};

class NoObserver final : public TransferObserver
{
public:
    void progressRange(int) override {}
    void progress(int) override {}
    void transferComplete() override {}
    void transferEnded() override {}
};

std::string demoLog(int rows)
{
    LogRecipe recipe;
    recipe.start = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
    recipe.interval = std::chrono::minutes(1);
    recipe.rows = rows;
    recipe.missingEvery = 97;
    return generateLog(recipe);
}

// Seconds to fetch size bytes into an empty copy.
double timedDownload(std::size_t size, bool paced, const Timing& timing)
{
    std::string content = demoLog(static_cast<int>(size / 30));
    content.resize(size);
    EmulatedBus bus;
    auto station = bus.addStation(StationPath);
    station->edit([&](StationModel& model) {
        model.card().clear();
        model.card().put("big.csv", content);
    });
    station->setPacing(paced);
    ReplyRouter router;
    HidLink link(bus, router, timing);
    FileTable files(SizeTextStyle::KilobytesOrMegabytes);
    router.m_RouteListToMain = false;
    router.setFileLists(nullptr, &files);
    NoObserver observer;
    ChunkReceiver receiver(observer);
    router.setFileDataSink(&receiver);
    Quiet messages;
    DownloadThread thread(link, receiver, files, messages, observer,
                          [](const std::filesystem::path&, const std::string&) {});
    UiText texts;
    texts.LoadUiText(Language::English);
    thread.setTexts(texts);
    link.Connect();
    link.Exchange(CommandFrame(Command::FileList), RequestKind::FileList, timing.fileListBefore,
                  timing.fileListAfter);

    QTemporaryDir folder;
    const auto started = Clock::now();
    thread.start("big.csv", folder.path().toStdString());
    thread.wait();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    link.stop();
    router.setFileDataSink(nullptr);
    const auto copied = std::filesystem::file_size(folder.filePath("big.csv").toStdString());
    if (copied != size)
        std::printf("copy incomplete: %zu of %zu bytes\n", static_cast<std::size_t>(copied), size);
    return seconds;
}

int download()
{
    const std::size_t size = 1 << 20;
    const std::size_t chunks = size / DownloadThread::ChunkSize;
    const std::size_t reports = (DownloadThread::ChunkSize + 61) / 62 + 1; // data and "{@}"

    const Timing timing;
    const double paced = timedDownload(size, true, timing);
    // The protocol's time per chunk: one report per millisecond after the first (the pause
    // after the request's write runs while the reply flows) and the pause between chunks.
    const double protocolPerChunk =
        (reports - 1) * 1e-3 + std::chrono::duration<double>(timing.chunkPause).count();
    std::printf("1 MiB at full-speed pacing: %.2f s, %.1f KB/s; the protocol's limit %.1f KB/s\n",
                paced, size / 1024.0 / paced,
                DownloadThread::ChunkSize / 1024.0 / protocolPerChunk);
    bench::PrintBesideLimit("1 MiB at full-speed pacing", paced, chunks * protocolPerChunk,
                            "the protocol's");

    // Without pacing and pauses all that is left of a chunk is the program's own work (and the
    // emulator's): request, 68 reports through the reader, the copy, the hand-over.
    Timing bare;
    bare.writePause = Millis(0);
    bare.chunkPause = Millis(0);
    const double unpaced = timedDownload(size, false, bare);
    std::printf("program's own time per chunk beyond the protocol's pauses: %.3f ms "
                "(%zu chunks in %.3f s without pacing and pauses)\n",
                unpaced / chunks * 1e3, chunks, unpaced);
    return 0;
}

// A data folder with a fresh store, the emulated station with one file on its card, and the
// SD-card dialog over them with its first row picked.
struct SdCardRig
{
    SdCardRig(const std::string& name, std::string content)
    {
        std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, data / "7100.db");
        std::filesystem::permissions(data / "7100.db", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        station->edit([&](StationModel& model) {
            model.card().clear();
            model.card().put(name, std::move(content));
        });
        texts.LoadUiText(Language::English);
        dialog.setDataFolder(data, data / "7100.db");
        router.m_RouteListToMain = false;
        router.setFileLists(nullptr, &dialog.files());
        link.Connect();
        dialog.show();
        dialog.OnInitDialog();
    }
    ~SdCardRig() { link.stop(); }

    void pickFirst() { item<QTableWidget>(&dialog, History::FileList)->setCurrentCell(0, 0); }
    QPushButton* select() { return item<QPushButton>(&dialog, History::SelectButton); }
    bool idle() { return select()->isEnabled() && !dialog.transferRunning(); }

    QTemporaryDir folder;
    const std::filesystem::path data = folder.path().toStdString();
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station = bus.addStation(StationPath);
    ReplyRouter router;
    // The station's own pauses stay; the link's waits are shortened so that 9,000 chunks
    // finish in a reasonable time.
    HidLink link{bus, router, Timing{}.scaled(0.1)};
    Quiet messages;
    UiText texts;
    History dialog{link, router, messages, texts, [] { return Page{}; }};
};

int userInterface(int lines)
{
    const std::string log = demoLog(lines);
    SdCardRig rig("20260101.csv", log);
    rig.pickFirst();

    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    const auto started = Clock::now();
    sinceTick.start();
    ticker.start(5);
    rig.select()->click();
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (rig.idle())
            QApplication::quit();
    });
    done.start(50);
    QApplication::exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("%d lines (%.1f MB): fetched and imported in %.1f s; longest gap between "
                "5 ms ticks on the user-interface thread: %lld ms\n",
                lines, log.size() / 1e6, seconds, static_cast<long long>(longest));
    return 0;
}

// A list line of the station: "{", the name, "," and the size, big-endian.
Payload fileLine(const std::string& name, std::uint32_t size)
{
    Payload line{};
    line[0] = '{';
    std::copy(name.begin(), name.end(), line.begin() + 1);
    std::size_t at = name.size() + 1;
    line[at++] = ',';
    for (int shift = 24; shift >= 0; shift -= 8)
        line[at++] = static_cast<std::uint8_t>(size >> shift);
    return line;
}

int memory(int lines)
{
    // The copy is written to disk as it is generated, and the station's card holds only a
    // stand-in of that name: neither keeps the log in this process's memory. The dialog learns
    // the real size, so its transfer finds the copy complete and goes straight to the import.
    const std::string name = "20260101.csv";
    SdCardRig rig(name, "x");
    if (!bench::WriteLog(rig.data / name, lines))
        return 1;
    const auto size = static_cast<std::uint32_t>(std::filesystem::file_size(rig.data / name));
    rig.dialog.files().ParseFileLine(fileLine(name, size));
    rig.pickFirst();
    const double before = bench::PeakRssMegabytes();

    auto* list = item<QTableView>(&rig.dialog, History::RecordList);
    const auto started = Clock::now();
    rig.select()->click();
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (rig.idle() && list->model()->rowCount() > 0) {
            // The last page read as well, then a moment to paint it.
            list->scrollToBottom();
            QTimer::singleShot(200, [] { QApplication::quit(); });
            done.stop();
        }
    });
    done.start(50);
    QApplication::exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const int rows = list->model()->rowCount();
    std::printf("%d lines (%.1f MB) imported by the SD-card dialog in %.1f s, %d rows listed "
                "(last %s); peak RSS %.1f MB (%.1f MB before the import)\n",
                lines, size / 1e6, seconds, rows,
                qPrintable(list->model()->index(rows - 1, 0).data().toString()),
                bench::PeakRssMegabytes(), before);
    return rows == lines ? 0 : 1;
}

} // namespace
} // namespace nimbra

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() >= 2 && args[1] == QLatin1String("download"))
        return nimbra::download();
    if (args.size() >= 2 && args[1] == QLatin1String("ui"))
        return nimbra::userInterface(args.size() >= 3 ? args[2].toInt() : 1000000);
    if (args.size() >= 2 && args[1] == QLatin1String("memory"))
        return nimbra::memory(args.size() >= 3 ? args[2].toInt() : 10000000);
    std::fprintf(stderr, "usage: bench_sdcard download | ui [LINES] | memory [LINES]\n");
    return 2;
}
