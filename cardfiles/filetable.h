#pragma once

#include "replyrouter.h"

#include <QString>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The dialog shows sizes above 1 MiB in MB; the main window's table keeps kilobytes only.
enum class SizeTextStyle
{
    KilobytesOrMegabytes,
    Kilobytes
};

// "%0.2f KB" of size / 1024, or "%0.2f MB" of size / 1048576 above 1048576 bytes.
QString SizeText(std::int32_t size, SizeTextStyle style);

// One file report of a list reply. The name is the station's bytes, one byte a character.
struct FileLine
{
    std::string name;
    std::int32_t size = 0;
};

// Name: bytes 1 up to the first "," anywhere in the 64 bytes (also behind a NUL); size: the
// four bytes after that comma, big-endian. Bytes past the payload count as zero; a report
// without a comma has an empty name and the size of bytes 0 to 3.
FileLine DecodeFileLine(const Payload& payload);

struct FileEntry
{
    std::string name;
    QString sizeText;
};

// The files of the last list reply in arrival order, and each name's latest size. The reader
// thread fills it while the user-interface thread reads copies, so every access locks.
class FileTable final : public FileListSink
{
public:
    explicit FileTable(SizeTextStyle style) : m_style(style) {}

    // Reader thread: appends one entry; a repeated name gets a second row and its new size.
    void ParseFileLine(const Payload& payload) override;

    void Reset();
    std::vector<FileEntry> entries() const;
    int FileCount() const;
    std::optional<std::int32_t> sizeOf(std::string_view name) const;

private:
    const SizeTextStyle m_style;
    mutable std::mutex m_mutex;
    std::vector<FileEntry> m_entries;                         // guarded by m_mutex
    std::map<std::string, std::int32_t, std::less<>> m_sizes; // m_FilenameSize, by m_mutex
};

} // namespace nimbra
