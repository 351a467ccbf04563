#include "filetable.h"

#include <algorithm>

namespace nimbra {

QString SizeText(std::int32_t size, SizeTextStyle style)
{
    constexpr double Kilo = 1024.0;
    constexpr double Mega = 1048576.0;
    if (style == SizeTextStyle::KilobytesOrMegabytes && size > 1048576)
        return QString::asprintf("%0.2f MB", size / Mega);
    return QString::asprintf("%0.2f KB", size / Kilo);
}

FileLine DecodeFileLine(const Payload& payload)
{
    const auto comma = std::find(payload.begin(), payload.end(), ',');
    const std::ptrdiff_t c = comma == payload.end() ? -1 : comma - payload.begin();
    FileLine line;
    if (c > 1)
        line.name.assign(payload.begin() + 1, payload.begin() + c);
    std::uint32_t size = 0;
    for (std::ptrdiff_t i = c + 1; i < c + 5; ++i) {
        const std::uint8_t byte =
            i < std::ssize(payload) ? payload[static_cast<std::size_t>(i)] : 0;
        size = size << 8 | byte;
    }
    line.size = static_cast<std::int32_t>(size);
    return line;
}

void FileTable::ParseFileLine(const Payload& payload)
{
    FileLine line = DecodeFileLine(payload);
    const QString text = SizeText(line.size, m_style);
    std::lock_guard lock(m_mutex);
    m_sizes.insert_or_assign(line.name, line.size);
    m_entries.push_back({std::move(line.name), text});
}

void FileTable::Reset()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_sizes.clear();
}

std::vector<FileEntry> FileTable::entries() const
{
    std::lock_guard lock(m_mutex);
    return m_entries;
}

int FileTable::FileCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

std::optional<std::int32_t> FileTable::sizeOf(std::string_view name) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_sizes.find(name);
    if (found == m_sizes.end())
        return std::nullopt;
    return found->second;
}

} // namespace nimbra
