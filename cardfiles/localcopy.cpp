#include "localcopy.h"

#include <QString>
#include <cerrno>
#include <limits>
#include <utility>

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

int ProgressPosition(std::uint64_t bytes)
{
    constexpr auto Top = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    return bytes > Top ? static_cast<int>(Top) : static_cast<int>(bytes);
}

void ChunkReceiver::attach(CFile file, std::uint64_t held)
{
    std::lock_guard lock(m_mutex);
    m_LocalFile = std::move(file);
    m_progressBytes = held;
    m_armed = false;
    m_ended = false;
    m_stray = false;
    m_writeError = 0;
}

void ChunkReceiver::arm(bool last)
{
    std::lock_guard lock(m_mutex);
    m_ReceivedBytes = 0;
    m_LastChunk = last;
    m_ended = false;
    m_armed = true;
}

ChunkResult ChunkReceiver::finish()
{
    std::lock_guard lock(m_mutex);
    const ChunkResult result{m_ReceivedBytes, m_ended, m_writeError};
    m_armed = false;
    m_ended = false;
    return result;
}

bool ChunkReceiver::takeStray()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_stray, false);
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

void ChunkReceiver::noteWriteError()
{
    if (m_writeError == 0)
        m_writeError = errno != 0 ? errno : EIO;
}

void ChunkReceiver::onFileData(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    if (!m_LocalFile)
        return;
    if (!m_armed) {
        m_stray = true;
        return;
    }
    errno = 0;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), m_LocalFile.get()) != text.size())
        noteWriteError();
    m_ReceivedBytes += text.size();
    // The bar counts the bytes that arrived: it reaches its top with the last one, not before,
    // and its percentage agrees with the byte count it shows.
    m_progressBytes += text.size();
    m_observer.progress(ProgressPosition(m_progressBytes));
}

bool ChunkReceiver::onChunkEnd()
{
    std::lock_guard lock(m_mutex);
    if (!m_armed)
        return false;
    m_armed = false;
    m_ended = true;
    // A chunk counts only once it is on disk: a full disk shows here at the latest.
    errno = 0;
    if (m_LocalFile && std::fflush(m_LocalFile.get()) != 0)
        noteWriteError();
    m_observer.progress(ProgressPosition(m_progressBytes));
    return m_LastChunk;
}

} // namespace nimbra
