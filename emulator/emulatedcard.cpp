#include "emulatedcard.h"

#include <algorithm>

namespace nimbra {

Payload endReport()
{
    return Payload{'{', '@', '}'};
}

bool EmulatedCard::put(std::string_view name, std::string content)
{
    if (name.empty() || name.size() > MaxNameLength || name.find('\0') != std::string_view::npos)
        return false;
    auto it = std::find_if(m_files.begin(), m_files.end(),
                           [name](const CardFile& f) { return f.name == name; });
    if (it != m_files.end())
        it->content = std::move(content);
    else
        m_files.push_back({std::string(name), std::move(content)});
    return true;
}

bool EmulatedCard::remove(std::string_view name)
{
    return std::erase_if(m_files, [name](const CardFile& f) { return f.name == name; }) > 0;
}

const CardFile* EmulatedCard::find(std::string_view name) const
{
    auto it = std::find_if(m_files.begin(), m_files.end(),
                           [name](const CardFile& f) { return f.name == name; });
    return it == m_files.end() ? nullptr : &*it;
}

std::vector<Payload> EmulatedCard::listReply() const
{
    std::vector<Payload> reports;
    reports.reserve(m_files.size() + 1);
    for (const CardFile& file : m_files) {
        Payload report{};
        report[0] = '{';
        auto pos = std::copy(file.name.begin(), file.name.end(), report.begin() + 1);
        *pos++ = ',';
        const auto size = static_cast<std::uint32_t>(file.content.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            *pos++ = static_cast<std::uint8_t>(size >> shift);
        reports.push_back(report);
    }
    reports.push_back(endReport());
    return reports;
}

std::vector<Payload> EmulatedCard::chunkReply(std::string_view name, std::uint32_t start,
                                              std::uint32_t end) const
{
    std::vector<Payload> reports;
    if (const CardFile* file = find(name)) {
        const std::size_t stop = std::min<std::size_t>(end, file->content.size());
        for (std::size_t at = start; at < stop; at += ContentPerReport) {
            const std::size_t n = std::min(ContentPerReport, stop - at);
            Payload report{};
            report[0] = '{';
            std::copy_n(file->content.begin() + static_cast<std::ptrdiff_t>(at), n,
                        report.begin() + 1);
            report[1 + n] = '}';
            reports.push_back(report);
        }
    }
    reports.push_back(endReport());
    return reports;
}

} // namespace nimbra
