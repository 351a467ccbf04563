#pragma once

#include "commandframe.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

struct CardFile
{
    std::string name;
    std::string content; // the file's bytes, exactly as stored
    friend bool operator==(const CardFile&, const CardFile&) = default;
};

// The station's SD card: files in directory order, served as list and chunk replies.
class EmulatedCard
{
public:
    // A list report holds "{", the name, "," and four size bytes.
    static constexpr std::size_t MaxNameLength = PayloadSize - 6;
    // A data report holds "{", the content and "}".
    static constexpr std::size_t ContentPerReport = PayloadSize - 2;

    // Adds a file at the end, or replaces the content of the file of that name in its place.
    // Refuses an empty name, a name longer than MaxNameLength and a name with a NUL byte.
    bool put(std::string_view name, std::string content);
    bool remove(std::string_view name);
    void clear() { m_files.clear(); }
    const CardFile* find(std::string_view name) const;
    // The file the station writes to: the last one in directory order; nullptr on an empty card.
    CardFile* newest() { return m_files.empty() ? nullptr : &m_files.back(); }
    const std::vector<CardFile>& files() const { return m_files; }

    // One report per file, then the end report "{@}".
    std::vector<Payload> listReply() const;
    // The file's bytes [start, min(end, size)) in data reports, then "{@}". An unknown file
    // or an empty range gives the end report alone.
    std::vector<Payload> chunkReply(std::string_view name, std::uint32_t start,
                                    std::uint32_t end) const;

private:
    std::vector<CardFile> m_files;
};

// The "{@}" report that ends a list and a chunk.
Payload endReport();

} // namespace nimbra
