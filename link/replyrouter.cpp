#include "replyrouter.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace nimbra {

Page ReplyBuffer::page(int index) const
{
    std::lock_guard lock(m_mutex);
    return m_pages.at(static_cast<std::size_t>(index));
}

void ReplyBuffer::store(int index, const std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    auto& page = m_pages.at(static_cast<std::size_t>(index));
    std::memcpy(page.data(), data, std::min(length, page.size()));
}

void ReplyBuffer::fill(int index, std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    m_pages.at(static_cast<std::size_t>(index)).fill(value);
}

std::string_view payloadText(const Payload& payload)
{
    const auto* begin = reinterpret_cast<const char*>(payload.data());
    const auto* nul = static_cast<const char*>(std::memchr(begin, 0, payload.size()));
    return {begin, nul ? static_cast<std::size_t>(nul - begin) : payload.size()};
}

std::string fileDataText(const Payload& payload)
{
    const std::string_view text = payloadText(payload);
    const std::size_t close = text.find('}');
    if (close == std::string_view::npos)
        return {};
    std::string content(text.substr(0, close));
    std::erase(content, '{');
    return content;
}

void ReplyRouter::addScreenBusyReceiver(std::atomic<int>* field)
{
    std::lock_guard lock(m_receiverMutex);
    m_screenBusy.push_back(field);
}

void ReplyRouter::setSettingsDecoder(std::function<void(const Page&)> decoder)
{
    std::lock_guard lock(m_receiverMutex);
    m_settingsDecoder = std::move(decoder);
}

void ReplyRouter::setFileLists(FileListSink* mainTable, FileListSink* dialogTable)
{
    std::lock_guard lock(m_receiverMutex);
    m_mainList = mainTable;
    m_dialogList = dialogTable;
}

void ReplyRouter::setFileDataSink(FileDataSink* sink)
{
    std::lock_guard lock(m_receiverMutex);
    m_fileData = sink;
}

DispatchResult ReplyRouter::dispatch(RequestKind kind, const Payload& payload, std::size_t length)
{
    length = std::min(length, payload.size());
    switch (kind) {
    case RequestKind::Settings: {
        const DispatchResult result = storePage(1, payload, length);
        const Page page = m_buffer.page(1);
        std::lock_guard lock(m_receiverMutex);
        if (m_settingsDecoder)
            m_settingsDecoder(page);
        return result;
    }
    case RequestKind::Calibration:
        return storePage(2, payload, length);
    case RequestKind::AlarmPage1:
        return storePage(3, payload, length);
    case RequestKind::AlarmPage3:
        return storePage(5, payload, length);
    case RequestKind::AlarmPage4:
        return storePage(6, payload, length);
    case RequestKind::Live:
        return storePage(0, payload, length);
    case RequestKind::Interval:
        m_IntervalReply.store(payload[1]);
        return {true, true};
    case RequestKind::ScreenCheck: {
        std::lock_guard lock(m_receiverMutex);
        for (auto* field : m_screenBusy)
            field->store(payload[1]);
        return {true, true};
    }
    case RequestKind::FileList:
        return fileListReport(payload);
    case RequestKind::FileData:
        return fileDataReport(payload);
    case RequestKind::Idle:
    case RequestKind::NoReply:
        break;
    }
    return {};
}

DispatchResult ReplyRouter::storePage(int page, const Payload& payload, std::size_t length)
{
    m_buffer.store(page, payload.data(), length);
    return {true, true};
}

DispatchResult ReplyRouter::fileListReport(const Payload& payload)
{
    if (payloadText(payload).starts_with("{@}"))
        return {true, true};
    std::lock_guard lock(m_receiverMutex);
    FileListSink* table = m_RouteListToMain.load() ? m_mainList : m_dialogList;
    if (table)
        table->ParseFileLine(payload);
    return {};
}

DispatchResult ReplyRouter::fileDataReport(const Payload& payload)
{
    const std::string text = fileDataText(payload);
    std::lock_guard lock(m_receiverMutex);
    if (!text.starts_with('@')) {
        if (m_fileData)
            m_fileData->onFileData(text);
        return {};
    }
    const bool last = m_fileData ? m_fileData->onChunkEnd() : true;
    return {last, true};
}

} // namespace nimbra
