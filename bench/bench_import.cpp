// End-to-end import of a generated outdoor log (read, parse, display texts, store, commit) and
// the graph's two queries over the result. Prints lines/s, the query time and the peak resident
// size. Usage: bench_import [LINES]   (default 1000000)

#include "logimport.h"
#include "messageservice.h"
#include "oledate.h"
#include "recordstore.h"

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sys/resource.h>

namespace {

using namespace nimbra;
using Clock = std::chrono::steady_clock;

class PrintingMessages final : public MessageService
{
public:
    void inform(const QString& text) override
    {
        std::cerr << "message: " << text.toStdString() << '\n';
    }
    Answer ask(const QString& text, const QString&) override
    {
        inform(text);
        return Answer::Cancel;
    }
};

// One line every five minutes from 2017-01-01, written as it goes so that generating costs no
// memory of its own.
void WriteLog(const std::filesystem::path& path, long lines)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fputs("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\r\n", out);
    for (long i = 0; i < lines; ++i) {
        const DateTimeParts t = FromOleDate(ToOleDate({2017, 1, 1}) + i * 5.0 / 1440.0);
        const int tenths = 150 + static_cast<int>(i * 7919 % 200);
        std::fprintf(out, "%d-%02d-%02d %d:%02d:%02d,%d.%d,%d,%d.%d,%d.%d\r\n", t.year, t.month,
                     t.day, t.hour, t.minute, t.second, tenths / 10, tenths % 10,
                     40 + static_cast<int>(i % 50), tenths / 20, tenths % 10, tenths / 10,
                     (tenths + 3) % 10);
    }
    std::fclose(out);
}

double Seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

// Processor time of the whole process so far: on a busy machine a steadier figure than the
// wall clock.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv)
{
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    QTemporaryDir folder;
    const std::filesystem::path database = folder.filePath(QStringLiteral("7100.db")).toStdString();
    const std::filesystem::path log = folder.filePath(QStringLiteral("bench.csv")).toStdString();
    std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, database);
    WriteLog(log, lines);

    PrintingMessages messages;
    const double cpuBefore = CpuSeconds();
    const auto started = Clock::now();
    const ImportResult result =
        ImportLogFile(log, "bench.csv", database, DateOrder::YearMonthDay, messages);
    const double importSeconds = Seconds(Clock::now() - started);
    const double importCpu = CpuSeconds() - cpuBefore;
    if (!result.stored || result.rows != static_cast<std::size_t>(lines)) {
        std::cerr << "import failed\n";
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("import: %ld lines in %.3f s = %.0f lines/s (processor %.3f s), %.1f MB of log, "
                "peak RSS %.1f MB\n",
                lines, importSeconds, lines / importSeconds, importCpu,
                std::filesystem::file_size(log) / 1e6, usage.ru_maxrss / 1024.0);

    RecordStore store(messages);
    const double queryCpuBefore = CpuSeconds();
    const auto queried = Clock::now();
    store.Open(database);
    store.CountRange("2016-12-31 0:00:00", "2100-01-01 0:00:00", "Temperature");
    const int count = store.ReadCount();
    store.Open(database);
    store.SelectRange("2016-12-31 0:00:00", "2100-01-01 0:00:00", "Temperature");
    double sum = 0;
    int selected = 0;
    for (; !store.AtEnd(); store.MoveNext(), ++selected)
        sum += store.ReadDate("Time") + store.ReadFloat("Temperature");
    const double querySeconds = Seconds(Clock::now() - queried);
    const double queryCpu = CpuSeconds() - queryCpuBefore;
    std::printf("CountRange + SelectRange: %d counted, %d read in %.0f ms (processor %.0f ms, "
                "checksum %.0f)\n",
                count, selected, querySeconds * 1000, queryCpu * 1000, sum);
    return count == lines && selected == lines ? 0 : 1;
}
