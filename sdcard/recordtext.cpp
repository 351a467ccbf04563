#include "recordtext.h"

#include "logline.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace nimbra {

namespace {

// Large enough that a million lines need few allocations, small enough that the last block's
// unused tail does not matter.
constexpr std::size_t BlockSize = std::size_t(1) << 20;

} // namespace

void RecordTexts::clear(bool indoor)
{
    m_blocks.clear();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_used = 0;
    m_blockSize = 0;
    m_indoor = indoor;
}

void RecordTexts::append(std::string_view line)
{
    if (line.size() > UINT32_MAX)
        throw std::length_error("log line longer than 4 GiB");
    if (m_blocks.empty() || m_used + line.size() > m_blockSize) {
        // A line longer than a block gets a block of its own size.
        m_blockSize = std::max(BlockSize, line.size());
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(m_blockSize));
        m_used = 0;
    }
    if (!line.empty())
        std::memcpy(m_blocks.back().get() + m_used, line.data(), line.size());
    m_lines.push_back({static_cast<std::uint32_t>(m_blocks.size() - 1),
                       static_cast<std::uint32_t>(m_used),
                       static_cast<std::uint32_t>(line.size())});
    m_used += line.size();
}

std::string_view RecordTexts::line(std::size_t row) const
{
    const Line& entry = m_lines.at(row);
    return {m_blocks[entry.block].get() + entry.offset, entry.length};
}

std::string_view RecordTexts::field(std::size_t row, int column) const
{
    if (column < 0 || column >= Columns || (m_indoor && column >= 3))
        return {};
    return SplitLogLine(line(row), m_indoor).field[static_cast<std::size_t>(column)];
}

} // namespace nimbra
