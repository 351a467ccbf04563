// The import of a station log, end to end (read, parse, store and history, commit), beside what
// the record store alone and SQLite's own bulk insert into the store, and into store and history
// in one transaction, take for the same number of rows in the same run, and
// the graph's two queries over the result. Peak resident size is printed after the import, before
// anything else runs.
//
//   bench_import [LINES]          a generated outdoor log (default 1,000,000 lines)
//   bench_import longline [MB]    a log whose second line is MB megabytes long (default 200):
//                                 refused, in bounded memory
#include "archive.h"
#include "benchlog.h"
#include "logimport.h"
#include "messageservice.h"
#include "recordstore.h"
#include "sqlitelimit.h"

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

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

double Seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

std::filesystem::path FreshDatabase(const QTemporaryDir& folder, const char* name)
{
    const std::filesystem::path database = folder.filePath(QString::fromLatin1(name)).toStdString();
    std::filesystem::copy_file(NIMBRA_TEMPLATE_DB, database);
    std::filesystem::permissions(database, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return database;
}

// SQLite's own bulk insert for the store's schema: the same number of rows, computed in the
// loop, through the store's replacement (one transaction, one prepared insert) with no file
// and no parsing. The limit the import is held against.
double StoreAlone(const std::filesystem::path& database, long lines, MessageService& messages)
{
    RecordStore store(messages);
    RecordRow row;
    store.CurrentRow = &row;
    const auto started = Clock::now();
    if (store.Open(database) != 0 || store.BeginReplace() != 0 || store.ClearAll() != 0)
        return -1;
    store.OpenForAppend();
    for (long i = 0; i < lines; ++i) {
        const int tenths = 150 + static_cast<int>(i * 7919 % 200);
        row = {42736.0 + i * 5.0 / 1440.0, tenths / 10.0f, 40 + static_cast<int>(i % 50),
               tenths / 20.0f, tenths / 10.0f};
        if (store.AppendRow() != 0)
            return -1;
    }
    store.CloseCursor();
    if (store.CommitReplace() != 0)
        return -1;
    return Seconds(Clock::now() - started);
}

int Queries(const std::filesystem::path& database, long lines, MessageService& messages)
{
    RecordStore store(messages);
    const double queryCpuBefore = bench::ProcessorSeconds();
    const auto queried = Clock::now();
    store.Open(database);
    store.CountRange("2016-12-31 0:00:00", "9999-12-31 23:59:59", "Temperature");
    const int count = store.ReadCount();
    store.Open(database);
    store.SelectRange("2016-12-31 0:00:00", "9999-12-31 23:59:59", "Temperature");
    double sum = 0;
    int selected = 0;
    for (; !store.AtEnd(); store.MoveNext(), ++selected)
        sum += store.ReadDate("Time") + store.ReadFloat("Temperature");
    const double querySeconds = Seconds(Clock::now() - queried);
    const double queryCpu = bench::ProcessorSeconds() - queryCpuBefore;
    std::printf("CountRange + SelectRange: %d counted, %d read in %.0f ms (processor %.0f ms, "
                "checksum %.0f)\n",
                count, selected, querySeconds * 1000, queryCpu * 1000, sum);
    return count == lines && selected == lines ? 0 : 1;
}

int Import(long lines)
{
    QTemporaryDir folder;
    const std::filesystem::path database = FreshDatabase(folder, "7100.db");
    const std::filesystem::path log = folder.filePath(QStringLiteral("bench.csv")).toStdString();
    if (!bench::WriteLog(log, lines))
        return 1;

    PrintingMessages messages;
    const double cpuBefore = bench::ProcessorSeconds();
    const auto started = Clock::now();
    const ImportResult result =
        ImportLogFile(log, "bench.csv", database, DateOrder::YearMonthDay, messages);
    const double importSeconds = Seconds(Clock::now() - started);
    const double importCpu = bench::ProcessorSeconds() - cpuBefore;
    const double peak = bench::PeakRssMegabytes();
    if (!result.stored || result.rows != static_cast<std::size_t>(lines) || !result.history ||
        result.history->added != lines) {
        std::cerr << "import failed\n";
        return 1;
    }
    std::printf("import: %ld lines in %.3f s = %.0f lines/s (processor %.3f s), %.1f MB of log, "
                "peak RSS %.1f MB\n",
                lines, importSeconds, lines / importSeconds, importCpu,
                std::filesystem::file_size(log) / 1e6, peak);

    const double alone = StoreAlone(FreshDatabase(folder, "alone.db"), lines, messages);
    if (alone <= 0)
        return 1;
    std::printf("SQLite's bulk insert through the store alone, same rows, one transaction: "
                "%.3f s = %.0f rows/s; the import reaches %.2f of it\n",
                alone, lines / alone, alone / importSeconds);
    const double limit = bench::SqliteBulkInsertSeconds(
        NIMBRA_TEMPLATE_DB, folder.filePath(QStringLiteral("limit.db")).toStdString(), lines);
    if (limit <= 0)
        return 1;
    bench::PrintBesideLimit("import, end to end, against the store alone", importSeconds, limit);
    // The import writes two files: its yardstick is SQLite writing the same rows to both.
    const std::filesystem::path history =
        folder.filePath(QStringLiteral("limit-history.db")).toStdString();
    Archive{history};
    const double both = bench::SqliteBulkInsertSeconds(
        NIMBRA_TEMPLATE_DB, folder.filePath(QStringLiteral("both.db")).toStdString(), lines,
        history);
    if (both <= 0)
        return 1;
    bench::PrintBesideLimit("import, end to end, with the history", importSeconds, both,
                            "SQLite's two-file");
    std::printf("the import reaches %.2f of SQLite's bulk insert into store and history\n",
                both / importSeconds);
    const auto bytesPerRow = [lines](const std::filesystem::path& store) {
        return static_cast<double>(std::filesystem::file_size(store)) / lines;
    };
    std::printf("store after the import: %.1f bytes a row; after SQLite's bulk insert: %.1f\n",
                bytesPerRow(database),
                bytesPerRow(folder.filePath(QStringLiteral("limit.db")).toStdString()));
    return Queries(database, lines, messages);
}

int LongLine(long megabytes)
{
    QTemporaryDir folder;
    const std::filesystem::path database = FreshDatabase(folder, "7100.db");
    const std::filesystem::path log = folder.filePath(QStringLiteral("long.csv")).toStdString();
    {
        std::FILE* out = std::fopen(log.c_str(), "wb");
        if (!out)
            return 1;
        std::fputs(
            "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\r\n2017-01-01 0:00:00,", out);
        char block[1 << 16];
        std::memset(block, '7', sizeof block);
        for (long i = 0; i < megabytes * 16; ++i)
            std::fwrite(block, 1, sizeof block, out);
        std::fputs("\r\n", out);
        std::fclose(out);
    }
    PrintingMessages messages;
    const auto started = Clock::now();
    const ImportResult result =
        ImportLogFile(log, "long.csv", database, DateOrder::YearMonthDay, messages);
    std::printf("a %ld MB line: %s (line %zu) in %.3f s, peak RSS %.1f MB\n", megabytes,
                result.stored ? "stored" : "refused", result.tooLongLine,
                Seconds(Clock::now() - started), bench::PeakRssMegabytes());
    return result.stored || result.tooLongLine != 2 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "longline") == 0)
        return LongLine(argc > 2 ? std::atol(argv[2]) : 200);
    return Import(argc > 1 ? std::atol(argv[1]) : 1000000);
}
