#pragma once

#include "cfile.h"
#include "replyrouter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace nimbra {

// What a command frame has room for: the fetch command carries the name, two offsets and
// "@}"; the delete command the name and "@}".
inline constexpr std::size_t MaxFetchNameLength = 52;
inline constexpr std::size_t MaxDeleteNameLength = 60;

// The local copy of a station file: directly in the data folder, under the station's name
// (one byte a character). A name that is no plain file name there (empty, "." or "..", with a
// slash, a backslash or a NUL) has none, so a station's list can never reach another folder.
std::optional<std::filesystem::path> LocalCopyPath(const std::filesystem::path& folder,
                                                   std::string_view name);

// Told of a transfer's progress. Called on the reader thread (and on the download worker);
// implementations post to their own thread and never block.
class TransferObserver
{
public:
    virtual ~TransferObserver() = default;
    virtual void progressRange(int top) = 0;
    virtual void progress(int position) = 0;
    // The last chunk arrived whole: "ok...".
    virtual void transferComplete() = 0;
    // The transfer and its import are over (or never began): controls back.
    virtual void transferEnded() = 0;
};

// The progress bar's position after this many bytes, held at the top of an int (the bar's own
// type) however long the transfer runs.
int ProgressPosition(std::uint64_t bytes);

struct ChunkResult
{
    std::uint64_t received = 0;
    bool ended = false; // its "{@}" came while it was armed
    int writeError = 0; // the system's error number of a failed write or flush, 0 for none
};

// The receiving end of a transfer: the reader thread appends each data report to the local
// copy, exactly the bytes received. Reports count only while the worker has a chunk request
// out; anything else (a late report after a failed chunk closed the copy, a second "{@}")
// writes to no file and ends no chunk. Whether a chunk is complete is decided once, by the
// worker's finish(): an end that comes after it belongs to no chunk.
class ChunkReceiver final : public FileDataSink
{
public:
    explicit ChunkReceiver(TransferObserver& observer) : m_observer(observer) {}

    // Worker: the copy to append to, which already holds this many bytes; the progress counts
    // on from there.
    void attach(CFile file, std::uint64_t held);
    // Worker: a chunk request is about to go out; last: it asks for the end of the file.
    void arm(bool last);
    // Worker: after the exchange; the chunk is over either way.
    ChunkResult finish();
    // Worker: whether data came while no chunk was armed since attach() or the last call. After
    // a chunk's end that means the line held more than that chunk asked for: its reports may
    // belong to another request.
    bool takeStray();
    // Worker: closes the copy (a failed or abandoned transfer).
    void close();
    bool isOpen() const;

    // Reader thread.
    void onFileData(std::string_view text) override;
    bool onChunkEnd() override;

private:
    void noteWriteError();

    TransferObserver& m_observer;
    mutable std::mutex m_mutex;
    CFile m_LocalFile;                 // guarded by m_mutex
    std::uint64_t m_ReceivedBytes = 0; // guarded by m_mutex
    std::uint64_t m_progressBytes = 0; // guarded by m_mutex: the copy's bytes, for the progress
    bool m_LastChunk = false;          // guarded by m_mutex
    bool m_armed = false;              // guarded by m_mutex
    bool m_ended = false;              // guarded by m_mutex
    bool m_stray = false;              // guarded by m_mutex
    int m_writeError = 0;              // guarded by m_mutex
};

} // namespace nimbra
