// A libFuzzer harness for the report trace reader and its replay, run by hand:
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
//       -Ilink -Iemulator tools/fuzz_trace.cpp link/reporttrace.cpp \
//       emulator/tracereplay.cpp -o /tmp/fuzz_trace
//   /tmp/fuzz_trace -max_total_time=60 -max_len=2048
//
// The first byte picks the replay's speed, the rest is the trace text. Besides what the
// sanitizers find, it checks that a line read back from its own writing reads the same, and that
// a replay answers each command without waiting beyond the read's time-out.
#include "reporttrace.h"
#include "tracereplay.h"

#include <cstdlib>
#include <limits>
#include <sstream>

namespace {

using namespace nimbra;

constexpr double Speeds[] = {0.0,
                             1e-9,
                             1.0,
                             1e9,
                             1e300,
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             -1.0};

void CheckLines(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::optional<TraceEntry> entry = ParseTraceLine(line);
        if (entry && ParseTraceLine(FormatTraceLine(*entry)) != entry)
            std::abort();
        if (entry && (entry->micros < 0 || entry->micros > MaxTraceMicros))
            std::abort();
    }
}

void Replay(const std::string& text, double speed)
{
    std::istringstream in(text);
    LoadedTrace trace = ReadTrace(in);
    ReplayTransport replay(trace.exchanges, speed);
    const std::unique_ptr<HidDevice> device = replay.open(ReplayTransport::Path, nullptr);
    if (!device)
        return;
    for (const TracedExchange& exchange : trace.exchanges) {
        std::array<std::uint8_t, ReportSize> report{};
        std::copy(exchange.command.begin(), exchange.command.end(), report.begin() + 1);
        if (!device->write(report))
            return;
        Payload reply{};
        while (device->read(reply, Millis(0)) > 0) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    CheckLines(text);
    Replay(text, Speeds[data[0] % std::size(Speeds)]);
    return 0;
}
