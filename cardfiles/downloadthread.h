#pragma once

#include "filetable.h"
#include "hidlink.h"
#include "localcopy.h"
#include "manualresetevent.h"
#include "uitext.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace nimbra {

class MessageService;

// Runs on the download worker once the transfer has ended, complete or not: imports what the
// local copy holds. Given the copy and the station's name of the file.
using ImportStep =
    std::function<void(const std::filesystem::path& localCopy, const std::string& stationName)>;

// Fetches one station file into its local copy in chunks of 4096 bytes, resuming after the
// bytes an earlier copy holds, then runs the import. The copy only ever holds whole chunks in
// order, so its size is where the next fetch resumes. One transfer at a time; the worker posts
// its messages (never blocks on a box), so the user-interface thread may join it any time.
class DownloadThread
{
public:
    static constexpr std::uint32_t ChunkSize = 4096;

    DownloadThread(HidLink& link, ChunkReceiver& receiver, const FileTable& files,
                   MessageService& messages, TransferObserver& observer, ImportStep import);
    ~DownloadThread();
    DownloadThread(const DownloadThread&) = delete;
    DownloadThread& operator=(const DownloadThread&) = delete;

    void setTexts(const UiText& texts) { m_texts = texts; }
    // Starts the worker for the station file name; false while a transfer runs.
    bool start(std::string name, std::filesystem::path folder);
    // Ends the transfer at once and joins the worker; the partial copy stays on disk, no
    // message and no import follow. For closing the dialog or the program.
    void stop();
    // Joins a worker that has ended by itself.
    void wait();
    bool running() const { return m_running.load(); }
    // For the import step, on the worker: whether the copy holds the whole file. After a
    // failed transfer its last line may be cut.
    bool copyComplete() const { return m_copyComplete; }

private:
    struct Opened;
    struct ChunkFailure
    {
        std::uint64_t at = 0; // the copy keeps what lies before
        int writeError = 0;   // the system's error number when the copy could not be written
    };

    void run(const std::string& name, const std::filesystem::path& folder);
    bool transfer(const std::string& name, const std::filesystem::path& localPath);
    std::optional<Opened> openLocalCopy(const std::filesystem::path& localPath);
    // Where the transfer failed; empty when the file arrived whole. A chunk counts only when its
    // reports can be its own: when more data comes after its end, it is taken back.
    std::optional<ChunkFailure> fetchChunks(const std::string& name, std::uint64_t start,
                                            std::uint64_t total);
    void chunkFailure(const ChunkFailure& failure, bool stationGone,
                      const std::filesystem::path& localPath);

    HidLink& m_link;
    ChunkReceiver& m_receiver;
    const FileTable& m_files;
    MessageService& m_messages;
    TransferObserver& m_observer;
    const ImportStep m_import;
    UiText m_texts;                       // set before start, read by the worker
    bool m_copyComplete = false;          // worker only
    std::atomic<bool> m_running{false};   // a worker is between start and its end
    std::atomic<bool> m_cancelled{false}; // stop() asked the worker to end
    ManualResetEvent m_finished{true};    // the worker has returned
    std::thread m_thread;                 // owned by the user-interface thread
};

} // namespace nimbra
