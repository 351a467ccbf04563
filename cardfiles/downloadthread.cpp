#include "downloadthread.h"

#include "messageservice.h"

#include <cerrno>
#include <exception>
#include <system_error>

namespace nimbra {

namespace {

std::uint64_t sizeOf(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(file);
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

} // namespace

// The local copy as the transfer found it.
struct DownloadThread::Opened
{
    CFile file;
    bool created = false;
    std::uint64_t local = 0; // bytes it holds: the transfer resumes there
};

DownloadThread::DownloadThread(HidLink& link, ChunkReceiver& receiver, const FileTable& files,
                               MessageService& messages, TransferObserver& observer,
                               ImportStep import)
    : m_link(link), m_receiver(receiver), m_files(files), m_messages(messages),
      m_observer(observer), m_import(std::move(import))
{
}

DownloadThread::~DownloadThread()
{
    stop();
}

bool DownloadThread::start(std::string name, std::filesystem::path folder)
{
    if (m_running.load())
        return false;
    if (m_thread.joinable())
        m_thread.join();
    m_cancelled = false;
    m_running = true;
    m_finished.reset();
    m_thread = std::thread(
        [this, name = std::move(name), folder = std::move(folder)] { run(name, folder); });
    return true;
}

void DownloadThread::stop()
{
    if (!m_thread.joinable())
        return;
    m_cancelled = true;
    // Ends the worker's wait for a chunk at once; repeated, because the worker may reset the
    // event for its next request just after one signal.
    while (!m_finished.waitFor(Millis(20)))
        m_link.cancelExchange();
    m_thread.join();
}

void DownloadThread::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void DownloadThread::run(const std::string& name, const std::filesystem::path& folder)
{
    // Nothing may escape the worker: the program would end, and stop() would wait for ever.
    try {
        const std::optional<std::filesystem::path> localPath = LocalCopyPath(folder, name);
        bool import = false;
        // Without a station nothing is asked and nothing changes: the copy and the store stay.
        if (!m_link.Connected())
            m_messages.inform(m_texts.Text(TextId::Unconnected));
        else if (name.size() > MaxFetchNameLength)
            m_messages.inform(
                m_texts.Text(TextId::NameTooLong).arg(static_cast<int>(MaxFetchNameLength)));
        else if (!localPath)
            m_messages.inform(m_texts.Text(TextId::NameNotUsable));
        else
            import = transfer(name, *localPath);
        if (import && !m_cancelled.load())
            m_import(*localPath, name);
    } catch (const std::exception& error) {
        m_receiver.close();
        m_link.setRequestKind(RequestKind::Idle);
        m_messages.inform(QString::fromLocal8Bit(error.what()));
    }
    m_observer.transferEnded();
    m_running = false;
    m_finished.set();
}

std::optional<DownloadThread::Opened>
DownloadThread::openLocalCopy(const std::filesystem::path& localPath)
{
    std::error_code error;
    Opened opened;
    if (std::filesystem::exists(localPath, error)) {
        opened.file = OpenCFile(localPath, "r+b");
        if (!opened.file) {
            m_messages.inform(QStringLiteral("Open Error1"));
            return std::nullopt;
        }
    } else {
        opened.file = OpenCFile(localPath, "w+b");
        if (!opened.file) {
            m_messages.inform(m_texts.Text(TextId::CreateError));
            return std::nullopt;
        }
        opened.created = true;
    }
    opened.local = sizeOf(opened.file.get());
    return opened;
}

bool DownloadThread::transfer(const std::string& name, const std::filesystem::path& localPath)
{
    // Looked up first, so that an unknown name leaves no empty copy behind.
    const std::optional<std::int32_t> size = m_files.sizeOf(name);
    if (!size) {
        m_messages.inform(QStringLiteral(" m_FilenameSize Error."));
        return false;
    }
    std::optional<Opened> opened = openLocalCopy(localPath);
    if (!opened)
        return false;
    const std::int64_t total = *size;
    // A copy longer than the station's file by more than one byte belongs to an older file of
    // that name: it is fetched again from the start.
    const auto surplus = static_cast<std::int32_t>(static_cast<std::uint32_t>(total) -
                                                   static_cast<std::uint32_t>(opened->local));
    if (!opened->created && surplus < -1) {
        opened->file.reset();
        std::error_code error;
        std::filesystem::remove(localPath, error);
        opened->file = OpenCFile(localPath, "w+b");
        if (!opened->file) {
            m_messages.inform(m_texts.Text(TextId::CreateError));
            return false;
        }
        opened->local = 0;
    }
    // The bar shows the whole file, so a resumed transfer starts where the copy ends and its
    // byte count ends at the file's size.
    m_observer.progressRange(
        ProgressPosition(static_cast<std::uint64_t>(std::max<std::int64_t>(total, 0))));
    m_observer.progress(ProgressPosition(opened->local));
    std::fseek(opened->file.get(), 0, SEEK_END);
    m_receiver.attach(std::move(opened->file), opened->local);

    const std::optional<ChunkFailure> failure =
        fetchChunks(name, opened->local, static_cast<std::uint64_t>(total));
    m_receiver.close();
    m_copyComplete = !failure;
    if (failure) {
        // What arrived of a failed chunk may have gaps (a lost or garbled report), and a resume
        // starts at the copy's size: the copy keeps the complete chunks only.
        std::error_code error;
        if (std::filesystem::file_size(localPath, error) > failure->at && !error)
            std::filesystem::resize_file(localPath, failure->at, error);
    }
    if (m_cancelled.load()) {
        m_link.setRequestKind(RequestKind::Idle);
        return false;
    }
    if (failure)
        chunkFailure(*failure, m_link.stationGone(), localPath);
    else
        m_observer.transferComplete();
    return true;
}

std::optional<DownloadThread::ChunkFailure>
DownloadThread::fetchChunks(const std::string& name, std::uint64_t start, std::uint64_t total)
{
    const Timing& timing = m_link.timing();
    std::optional<std::uint64_t> previous; // where the chunk before this one began
    for (;;) {
        std::uint64_t end = start + ChunkSize;
        std::uint64_t expected = ChunkSize;
        const bool last = end >= total;
        if (last) {
            end = total;
            expected = total - start;
        }
        bool doubt = false;
        // Without a station the chunk fails at once instead of waiting out its time.
        if (m_link.Connected() && !m_cancelled.load())
            m_link.Exchange(CommandFrame::fileChunk(name, static_cast<std::uint32_t>(start),
                                                    static_cast<std::uint32_t>(end)),
                            RequestKind::FileData, timing.fileChunk, timing.fileChunk, [&] {
                                doubt = m_receiver.takeStray();
                                m_receiver.arm(last);
                            });
        // Decided here once: an end that comes later belongs to no chunk, one that came before
        // completes this one even when the wait ran out at that moment.
        const ChunkResult result = m_receiver.finish();
        if (doubt && previous)
            return ChunkFailure{*previous};
        if (result.ended && result.received < expected)
            m_link.replyCutShort();
        if (m_cancelled.load() || !result.ended || result.writeError != 0 ||
            result.received != expected)
            return ChunkFailure{start, result.writeError};
        if (last)
            return std::nullopt;
        std::this_thread::sleep_for(timing.chunkPause);
        previous = start;
        start += ChunkSize;
    }
}

// The bar stays where the copy now ends, which is where the next Select resumes: a transfer
// that failed must not look finished. A station that went away is named as the cause, so the
// user plugs it in instead of doubting the copy.
void DownloadThread::chunkFailure(const ChunkFailure& failure, bool stationGone,
                                  const std::filesystem::path& localPath)
{
    m_link.setRequestKind(RequestKind::Idle);
    m_observer.progress(ProgressPosition(failure.at));
    const int writeError = failure.writeError;
    if (writeError == 0) {
        QString said = m_texts.Text(TextId::FileErrors);
        if (stationGone)
            said += u'\n' + m_texts.Text(TextId::StationWentAway);
        m_messages.inform(said);
        return;
    }
    bool full = writeError == ENOSPC;
#ifdef EDQUOT
    full = full || writeError == EDQUOT;
#endif
    const QString path = QString::fromStdU16String(localPath.u16string());
    const QString reason =
        QString::fromLocal8Bit(std::generic_category().message(writeError).c_str());
    m_messages.inform(
        m_texts.Text(full ? TextId::DiskFull : TextId::CopyNotWritten).arg(path, reason));
}

} // namespace nimbra
