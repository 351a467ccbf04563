#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace nimbra {

// The display texts of every reading line of the last import, kept as the lines themselves
// (one byte a character, line ends removed) in large blocks and split again when a cell is
// asked for: about the size of the file, whatever its length, and fields of any length kept
// whole. Filled by one thread, then handed over (moved) to the one that shows it.
class RecordTexts
{
public:
    static constexpr int Columns = 5; // time, temperature, humidity, dew point, heat index

    void clear(bool indoor);
    void append(std::string_view line);

    bool indoor() const { return m_indoor; }
    std::size_t size() const { return m_lines.size(); }
    bool empty() const { return m_lines.empty(); }
    // The text of one cell, empty for a column the file does not have.
    std::string_view field(std::size_t row, int column) const;
    QString cell(std::size_t row, int column) const
    {
        return QString::fromLatin1(field(row, column));
    }
    std::string_view line(std::size_t row) const;

private:
    struct Line
    {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::vector<Line> m_lines;
    std::size_t m_used = 0; // bytes used in the last block
    std::size_t m_blockSize = 0;
    bool m_indoor = false;
};

} // namespace nimbra
