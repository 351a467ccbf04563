#pragma once

#include "commandframe.h"
#include "requestkind.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace nimbra {

using Page = Payload;

// The seven 64-byte reply pages. The reader thread stores into them while the poll thread and
// the dialogs read, so every access copies under the lock.
class ReplyBuffer
{
public:
    static constexpr int PageCount = 7;

    Page page(int index) const;
    // Copies at most 64 bytes; the rest of the page keeps its earlier contents.
    void store(int index, const std::uint8_t* data, std::size_t length);
    void fill(int index, std::uint8_t value);

private:
    mutable std::mutex m_mutex;
    std::array<Page, PageCount> m_pages{}; // guarded by m_mutex
};

// A file table that takes the lines of a file-list reply (one per listed file).
class FileListSink
{
public:
    virtual ~FileListSink() = default;
    // Called on the reader thread with the whole 64-byte payload of one file report.
    virtual void ParseFileLine(const Payload& payload) = 0;
};

// Where the content of a file being fetched goes. Called on the reader thread.
class FileDataSink
{
public:
    virtual ~FileDataSink() = default;
    // One data report, braces removed; may be empty.
    virtual void onFileData(std::string_view text) = 0;
    // End of a chunk. Returns true when it was the last chunk of the file.
    virtual bool onChunkEnd() = 0;
};

struct DispatchResult
{
    bool backToIdle = false;
    bool signal = false;
    friend bool operator==(const DispatchResult&, const DispatchResult&) = default;
};

// Files every input report where the pending request kind says. Receivers register before the
// reader starts or at any time later; registration is guarded, the receivers guard their data.
class ReplyRouter
{
public:
    ReplyBuffer& buffer() { return m_buffer; }
    const ReplyBuffer& buffer() const { return m_buffer; }

    std::atomic<int> m_IntervalReply{0};
    std::atomic<bool> m_RouteListToMain{true};

    // Every field registered here receives the byte of a screen-check reply.
    void addScreenBusyReceiver(std::atomic<int>* field);
    void setSettingsDecoder(std::function<void(const Page&)> decoder);
    void setFileLists(FileListSink* mainTable, FileListSink* dialogTable);
    void setFileDataSink(FileDataSink* sink);

    // The reader's handling of one report of length bytes (at most 64) under kind.
    DispatchResult dispatch(RequestKind kind, const Payload& payload, std::size_t length);

private:
    DispatchResult storePage(int page, const Payload& payload, std::size_t length);
    DispatchResult fileListReport(const Payload& payload);
    DispatchResult fileDataReport(const Payload& payload);

    ReplyBuffer m_buffer;

    std::mutex m_receiverMutex;
    std::vector<std::atomic<int>*> m_screenBusy;        // guarded by m_receiverMutex
    std::function<void(const Page&)> m_settingsDecoder; // guarded by m_receiverMutex
    FileListSink* m_mainList = nullptr;                 // guarded by m_receiverMutex
    FileListSink* m_dialogList = nullptr;               // guarded by m_receiverMutex
    FileDataSink* m_fileData = nullptr;                 // guarded by m_receiverMutex
};

// The text of a payload: its bytes up to the first zero byte.
std::string_view payloadText(const Payload& payload);
// The content a file-data report carries: cut before the first "}", every "{" removed.
std::string fileDataText(const Payload& payload);

} // namespace nimbra
