// A trace of a download, taken against the emulated station, replays as a station of its own.
#include "../cardfiles/downloadfixture.h"
#include "emulatedbus.h"
#include "tracereplay.h"
#include "tracingtransport.h"

#include <limits>
#include <sstream>

namespace nimbra {
namespace {

using test::logContent;
using test::readFile;

TEST(TraceLine, EveryDirectionReadsBackAsWritten)
{
    for (const TraceDirection direction : {TraceDirection::Out, TraceDirection::OutFailed,
                                           TraceDirection::In, TraceDirection::Gone}) {
        TraceEntry entry{1234567, direction, RequestKind::FileData, {}};
        entry.payload[0] = 0x7B;
        entry.payload[63] = 0xA5;
        EXPECT_EQ(ParseTraceLine(FormatTraceLine(entry)), entry) << FormatTraceLine(entry);
    }
}

TEST(TraceLine, MalformedLinesAreRefused)
{
    const std::string bytes(128, '0');
    for (const std::string& line : {
             "# a comment " + bytes,
             "12 out Live " + bytes.substr(1),
             "12 out Live " + bytes + "0",
             "12 out Live " + bytes.substr(1) + "g",
             "12 sideways Live " + bytes,
             "12 out Lively " + bytes,
             "1,5 out Live " + bytes,
             "12 out Live " + bytes + " more",
         })
        EXPECT_FALSE(ParseTraceLine(line)) << line;
    EXPECT_TRUE(ParseTraceLine("12 in Live " + bytes + "\r")) << "a trace saved on Windows";
}

// The program's side of a download: link, file table and download worker on any transport.
struct DownloadRig
{
    explicit DownloadRig(HidTransport& transport) : link(transport, router, timing)
    {
        router.m_RouteListToMain = false;
        router.setFileLists(nullptr, &files);
        router.setFileDataSink(&receiver);
        download.setTexts(texts);
    }
    ~DownloadRig()
    {
        download.stop();
        link.stop();
        router.setFileDataSink(nullptr);
    }
    // Lists the card and fetches name into folder; returns what the local copy holds.
    std::string fetch(const std::string& name, const std::filesystem::path& folder)
    {
        EXPECT_TRUE(link.Connect());
        link.Exchange(CommandFrame(Command::FileList), RequestKind::FileList, timing.fileListBefore,
                      timing.fileListAfter);
        EXPECT_TRUE(download.start(name, folder));
        download.wait();
        return readFile(folder / name);
    }

    const Timing timing = Timing{}.scaled(0.05);
    UiText texts;
    ReplyRouter router;
    HidLink link;
    FileTable files{SizeTextStyle::KilobytesOrMegabytes};
    test::RecordingObserver observer;
    ChunkReceiver receiver{observer};
    test::RecordingMessages messages;
    DownloadThread download{link,     receiver,
                            files,    messages,
                            observer, [](const std::filesystem::path&, const std::string&) {}};
};

// A complete download, and one where the station was pulled in the middle of a chunk: the
// replay gives the same copy and the same messages as the original.
TEST(TraceReplay, DownloadReplaysIntoAByteIdenticalCopy)
{
    struct Case
    {
        const char* what;
        int unplugAtDataReport; // 0: none
    };
    for (const Case& c : {Case{"whole file", 0}, Case{"unplugged in the third chunk", 150}}) {
        SCOPED_TRACE(c.what);
        QTemporaryDir original;
        QTemporaryDir replayed;
        const std::filesystem::path traceFile =
            std::filesystem::path(original.path().toStdString()) / "trace.txt";
        const std::string content = logContent(10000);

        std::string originalCopy;
        QStringList originalMessages;
        int tracedCommands = 0;
        {
            EmulatedBus bus;
            const auto station = bus.addStation("emulated:station-1");
            station->edit([&](StationModel& model) {
                model.card().clear();
                model.card().put("20261201.csv", content);
            });
            if (c.unplugAtDataReport > 0)
                station->unplugAtDataReport(c.unplugAtDataReport);
            TraceWriter trace(traceFile);
            ASSERT_TRUE(trace.isOpen());
            TracingTransport tracing(bus, trace);
            DownloadRig rig(tracing);
            originalCopy = rig.fetch("20261201.csv", original.path().toStdString());
            originalMessages = rig.messages.texts();
            tracedCommands = static_cast<int>(station->received().size());
        }
        if (c.unplugAtDataReport == 0)
            EXPECT_TRUE(originalCopy == content);
        else
            EXPECT_LT(originalCopy.size(), content.size());

        std::ifstream in(traceFile);
        LoadedTrace trace = ReadTrace(in);
        ASSERT_EQ(trace.badLine, 0);
        EXPECT_EQ(static_cast<int>(trace.exchanges.size()), tracedCommands)
            << "every command the station received is in the trace";
        ReplayTransport replay(std::move(trace.exchanges));
        DownloadRig rig(replay);
        const std::string replayedCopy = rig.fetch("20261201.csv", replayed.path().toStdString());
        EXPECT_TRUE(replayedCopy == originalCopy)
            << replayedCopy.size() << " bytes against " << originalCopy.size();
        EXPECT_EQ(rig.messages.texts(), originalMessages);
        EXPECT_EQ(replay.unmatchedCommands(), 0);
        EXPECT_TRUE(replay.finished());
    }
}

// A command the trace does not hold goes unanswered and leaves the replay where it was.
TEST(TraceReplay, UnknownCommandIsSkippedWithoutLosingThePlace)
{
    std::istringstream text("# trace\n"
                            "100 out Live " +
                            std::string(128, '1') +
                            "\n"
                            "150 in Live " +
                            std::string(128, '2') +
                            "\n"
                            "150 in Live " +
                            std::string(128, '3') +
                            "\n"
                            "900 out Settings " +
                            std::string(128, '4') +
                            "\n"
                            "950 gone Settings " +
                            std::string(128, '0') + "\n");
    LoadedTrace trace = ReadTrace(text);
    ASSERT_EQ(trace.badLine, 0);
    ReplayTransport replay(std::move(trace.exchanges), 0.0);
    OpenResult result{};
    const std::unique_ptr<HidDevice> device = replay.open(ReplayTransport::Path, &result);
    ASSERT_TRUE(device);
    auto report = [](std::uint8_t fill) {
        std::array<std::uint8_t, ReportSize> r{};
        std::fill(r.begin() + 1, r.end(), fill);
        return r;
    };
    Payload in{};
    EXPECT_TRUE(device->write(report(0x55)));
    EXPECT_EQ(device->read(in, Millis(5)), 0) << "nothing recorded for this command";
    EXPECT_TRUE(device->write(report(0x11)));
    for (const std::uint8_t expected : {0x22, 0x33}) {
        ASSERT_EQ(device->read(in, Millis(50)), 64);
        EXPECT_EQ(in[10], expected);
    }
    EXPECT_TRUE(device->write(report(0x44)));
    EXPECT_EQ(device->read(in, Millis(50)), -1) << "the station vanished after this command";
    EXPECT_TRUE(replay.enumerate().empty());
    EXPECT_EQ(replay.unmatchedCommands(), 1);
}

TEST(TraceReplay, MalformedTraceNamesItsLine)
{
    std::istringstream text("# trace\n\n12 out Live 7b\n");
    EXPECT_EQ(ReadTrace(text).badLine, 3);
}

// Times a trace may hold by mistake or by malice: the reader refuses them by their line, and
// whatever it lets through replays at any speed without running past the clock's range.
TEST(TraceReplay, HostileTimesAreRefusedByLineOrReplayWithinTheClock)
{
    const auto line = [](const std::string& time, const char* direction) {
        return time + ' ' + direction + " Live " + std::string(128, '7') + '\n';
    };
    struct Case
    {
        const char* what;
        std::string text;
        int badLine;
        bool replyAtOnce = false;
    };
    const Case cases[] = {
        {"a time no trace reaches", line("0", "out") + line("9300000000000000", "in"), 2},
        {"a negative time", line("-1", "out"), 1},
        {"beyond 64 bits", line("9223372036854775808", "out"), 1},
        {"far apart around zero",
         line("-9000000000000000000", "out") + line("9000000000000000000", "in"), 1},
        {"a reply before its command", line("900", "out") + line("5", "in"), 2},
        {"a reply in the same microsecond", line("900", "out") + line("900", "in"), 0, true},
        {"the longest delay", line("0", "out") + line(std::to_string(MaxTraceMicros), "in"), 0},
    };
    std::array<std::uint8_t, ReportSize> command{};
    std::fill(command.begin() + 1, command.end(), 0x77);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::istringstream text(c.text);
        const LoadedTrace trace = ReadTrace(text);
        EXPECT_EQ(trace.badLine, c.badLine);
        if (c.badLine != 0)
            continue;
        for (const double scale : {0.0, 1.0, 1e300, std::numeric_limits<double>::infinity()}) {
            SCOPED_TRACE(scale);
            ReplayTransport replay(trace.exchanges, scale);
            const std::unique_ptr<HidDevice> device = replay.open(ReplayTransport::Path, nullptr);
            ASSERT_TRUE(device);
            ASSERT_TRUE(device->write(command));
            Payload in{};
            EXPECT_EQ(device->read(in, Millis(1)), c.replyAtOnce || scale == 0.0 ? 64 : 0);
        }
    }
}

} // namespace
} // namespace nimbra
