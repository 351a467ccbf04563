#include "localcopy.h"

#include <QString>

namespace nimbra {

std::optional<std::filesystem::path> LocalCopyPath(const std::filesystem::path& folder,
                                                   std::string_view name)
{
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos)
        return std::nullopt;
    const QString wide = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    return folder / std::filesystem::path(wide.toStdU16String());
}

void ChunkReceiver::attach(CFile file)
{
    std::lock_guard lock(m_mutex);
    m_LocalFile = std::move(file);
    m_ProgressPos = 0;
    m_armed = false;
    m_writeFailed = false;
}

void ChunkReceiver::arm(std::uint64_t expected, bool last)
{
    std::lock_guard lock(m_mutex);
    m_ReceivedBytes = 0;
    m_expected = expected;
    m_LastChunk = last;
    m_armed = true;
}

ChunkResult ChunkReceiver::finish()
{
    std::lock_guard lock(m_mutex);
    m_armed = false;
    return {m_ReceivedBytes, m_writeFailed};
}

void ChunkReceiver::close()
{
    std::lock_guard lock(m_mutex);
    m_armed = false;
    m_LocalFile.reset();
}

bool ChunkReceiver::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_LocalFile != nullptr;
}

void ChunkReceiver::onFileData(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    if (!m_armed || !m_LocalFile)
        return;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), m_LocalFile.get()) != text.size())
        m_writeFailed = true;
    m_ReceivedBytes += text.size();
    // The bar counts the bytes that arrived: it reaches its top with the last one, not before,
    // and its percentage agrees with the byte count it shows.
    m_ProgressPos += static_cast<int>(text.size());
    m_observer.progress(m_ProgressPos);
}

bool ChunkReceiver::onChunkEnd()
{
    std::lock_guard lock(m_mutex);
    if (!m_armed)
        return false;
    m_armed = false;
    m_observer.progress(m_ProgressPos);
    if (!m_LastChunk)
        return false;
    // The copy is complete only when it is on disk: a failed flush is a failed transfer.
    if (m_LocalFile && std::fflush(m_LocalFile.get()) != 0)
        m_writeFailed = true;
    m_LocalFile.reset();
    if (m_ReceivedBytes == m_expected && !m_writeFailed)
        m_observer.transferComplete();
    return true;
}

} // namespace nimbra
