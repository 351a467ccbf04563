// How fast the link moves replies: the reader's dispatch of one report, and a whole request
// and reply through the link against the emulated station.
#include "emulatedbus.h"
#include "hidlink.h"
#include "replyrouter.h"

#include <benchmark/benchmark.h>

namespace nimbra {
namespace {

void DispatchLivePage(benchmark::State& state)
{
    ReplyRouter router;
    Payload report{};
    report.fill(0x21);
    for (auto _ : state)
        benchmark::DoNotOptimize(router.dispatch(RequestKind::Live, report, report.size()));
}
BENCHMARK(DispatchLivePage);

struct NullData final : FileDataSink
{
    std::size_t bytes = 0;
    void onFileData(std::string_view text) override { bytes += text.size(); }
    bool onChunkEnd() override { return false; }
};

void DispatchFileData(benchmark::State& state)
{
    ReplyRouter router;
    NullData sink;
    router.setFileDataSink(&sink);
    Payload report{};
    report.fill('7');
    report[0] = '{';
    report[63] = '}';
    for (auto _ : state)
        benchmark::DoNotOptimize(router.dispatch(RequestKind::FileData, report, report.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(sink.bytes));
}
BENCHMARK(DispatchFileData);

// One settings request answered by the emulator, without the station's pause after a write.
void ExchangeRoundTrip(benchmark::State& state)
{
    EmulatedBus bus;
    bus.addStation("emulated:bench");
    ReplyRouter router;
    Timing timing;
    timing.writePause = Millis(0);
    timing.readTimeout = Millis(5);
    HidLink link(bus, router, timing);
    if (!link.Connect()) {
        state.SkipWithError("no emulated station");
        return;
    }
    int timeouts = 0;
    for (auto _ : state)
        timeouts += link.Exchange(CommandFrame(Command::Settings), RequestKind::Settings,
                                  Millis(1000), Millis(1000));
    link.stop();
    state.counters["timeouts"] = timeouts;
}
BENCHMARK(ExchangeRoundTrip)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace nimbra

BENCHMARK_MAIN();
