#pragma once

#include "downloadthread.h"
#include "emulatedbus.h"
#include "recordingmessages.h"

#include <QTemporaryDir>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>

namespace nimbra::test {

// Records what the transfer tells, from whichever thread tells it.
class RecordingObserver final : public TransferObserver
{
public:
    void progressRange(int top) override
    {
        std::lock_guard lock(m_mutex);
        m_top = top;
    }
    void progress(int position) override
    {
        std::lock_guard lock(m_mutex);
        m_position = position;
    }
    void transferComplete() override
    {
        std::lock_guard lock(m_mutex);
        ++m_complete;
    }
    void transferEnded() override
    {
        std::lock_guard lock(m_mutex);
        ++m_ended;
    }
    int top() const { return locked(m_top); }
    int position() const { return locked(m_position); }
    int complete() const { return locked(m_complete); }
    int ended() const { return locked(m_ended); }

private:
    int locked(const int& field) const
    {
        std::lock_guard lock(m_mutex);
        return field;
    }
    mutable std::mutex m_mutex;
    int m_top = -1;      // guarded by m_mutex
    int m_position = -1; // guarded by m_mutex
    int m_complete = 0;  // guarded by m_mutex
    int m_ended = 0;     // guarded by m_mutex
};

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Lines of varying length, each ended by a line feed, n bytes in all.
inline std::string logContent(std::size_t n)
{
    std::string text;
    for (int line = 0; text.size() < n; ++line)
        text += std::to_string(line) + ",21.5,40," + std::string(line % 17, 'x') + "\n";
    text.resize(n);
    return text;
}

// Scaled waits, but the station's own pauses between reports and chunks at their real length,
// so that what a station sends right after a chunk's end has arrived before the next request.
inline Timing withStationPauses()
{
    Timing t = Timing{}.scaled(0.05);
    t.chunkPause = Timing{}.chunkPause;
    t.writePause = Timing{}.writePause;
    return t;
}

// A station on an emulated bus, the real link, the dialog's file table and a download.
class DownloadTest : public ::testing::Test
{
protected:
    static constexpr const char* Path = "emulated:station-1";

    explicit DownloadTest(Timing t = Timing{}.scaled(0.05)) : timing(t) {}

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        texts.LoadUiText(Language::English);
        download.setTexts(texts);
        station = bus.addStation(Path);
        station->edit([](StationModel& model) { model.card().clear(); });
        router.m_RouteListToMain = false;
        router.setFileLists(nullptr, &files);
        router.setFileDataSink(&receiver);
        ASSERT_TRUE(link.Connect());
    }
    void TearDown() override
    {
        download.stop();
        link.stop();
        router.setFileDataSink(nullptr);
    }

    void list()
    {
        files.Reset();
        link.Exchange(CommandFrame(Command::FileList), RequestKind::FileList, timing.fileListBefore,
                      timing.fileListAfter);
    }
    void fetch(const std::string& name)
    {
        ASSERT_TRUE(download.start(name, local()));
        download.wait();
    }
    std::filesystem::path local() const { return folder.path().toStdString(); }
    std::filesystem::path copyOf(const std::string& name) const { return local() / name; }

    // The (start, end) of every fetch command the station received, in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> chunkRequests() const
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> requests;
        for (const ReceivedReport& r : station->received()) {
            const Payload p = r.payload();
            if (p[1] != static_cast<std::uint8_t>(Command::FileChunk))
                continue;
            const auto at = std::find(p.begin() + 2, p.end(), 0x40) - p.begin() - 8;
            auto word = [&](std::ptrdiff_t i) {
                return std::uint32_t{p[i]} << 24 | std::uint32_t{p[i + 1]} << 16 |
                       std::uint32_t{p[i + 2]} << 8 | p[i + 3];
            };
            requests.emplace_back(word(at), word(at + 4));
        }
        return requests;
    }
    std::vector<std::string> imported() const
    {
        std::lock_guard lock(importMutex);
        return imports;
    }

    QTemporaryDir folder;
    UiText texts;
    const Timing timing;
    EmulatedBus bus;
    std::shared_ptr<EmulatedStation> station;
    ReplyRouter router;
    HidLink link{bus, router, timing};
    FileTable files{SizeTextStyle::KilobytesOrMegabytes};
    RecordingObserver observer;
    ChunkReceiver receiver{observer};
    RecordingMessages messages;
    mutable std::mutex importMutex;
    std::vector<std::string> imports; // guarded by importMutex: what the copy held
    DownloadThread download{link,
                            receiver,
                            files,
                            messages,
                            observer,
                            [this](const std::filesystem::path& copy, const std::string&) {
                                const std::string held = readFile(copy);
                                std::lock_guard lock(importMutex);
                                imports.push_back(held);
                            }};
};

} // namespace nimbra::test
