#include "reporttrace.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace nimbra {

namespace {

struct KindName
{
    RequestKind kind;
    std::string_view name;
};

constexpr KindName KindNames[] = {
    {RequestKind::Idle, "Idle"},
    {RequestKind::Settings, "Settings"},
    {RequestKind::Calibration, "Calibration"},
    {RequestKind::AlarmPage1, "AlarmPage1"},
    {RequestKind::AlarmPage3, "AlarmPage3"},
    {RequestKind::AlarmPage4, "AlarmPage4"},
    {RequestKind::Live, "Live"},
    {RequestKind::FileList, "FileList"},
    {RequestKind::FileData, "FileData"},
    {RequestKind::Interval, "Interval"},
    {RequestKind::ScreenCheck, "ScreenCheck"},
    {RequestKind::NoReply, "NoReply"},
};

constexpr std::string_view DirectionNames[] = {"out", "out-failed", "in", "gone"};

constexpr char HexDigits[] = "0123456789abcdef";

std::string_view kindName(RequestKind kind)
{
    for (const KindName& k : KindNames)
        if (k.kind == kind)
            return k.name;
    return "Idle";
}

// Splits off the next space-separated word of rest.
std::string_view nextWord(std::string_view& rest)
{
    const std::size_t begin = std::min(rest.find_first_not_of(' '), rest.size());
    rest.remove_prefix(begin);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseHex(std::string_view text, Payload& payload)
{
    if (text.size() != 2 * PayloadSize)
        return false;
    for (std::size_t i = 0; i < PayloadSize; ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        payload[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

} // namespace

std::string FormatTraceLine(const TraceEntry& entry)
{
    std::string line(24, '\0');
    const auto [end, ec] = std::to_chars(line.data(), line.data() + line.size(), entry.micros);
    line.resize(static_cast<std::size_t>(end - line.data()));
    line += ' ';
    line += DirectionNames[static_cast<std::size_t>(entry.direction)];
    line += ' ';
    line += kindName(entry.kind);
    line += ' ';
    for (const std::uint8_t byte : entry.payload) {
        line += HexDigits[byte >> 4];
        line += HexDigits[byte & 0x0F];
    }
    return line;
}

std::optional<TraceEntry> ParseTraceLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#')
        return std::nullopt;
    TraceEntry entry;
    const std::string_view time = nextWord(line);
    const auto [end, ec] = std::from_chars(time.data(), time.data() + time.size(), entry.micros);
    if (ec != std::errc() || end != time.data() + time.size() || entry.micros < 0 ||
        entry.micros > MaxTraceMicros)
        return std::nullopt;

    const std::string_view direction = nextWord(line);
    const auto* foundDirection =
        std::find(std::begin(DirectionNames), std::end(DirectionNames), direction);
    if (foundDirection == std::end(DirectionNames))
        return std::nullopt;
    entry.direction = static_cast<TraceDirection>(foundDirection - std::begin(DirectionNames));

    const std::string_view kind = nextWord(line);
    const auto* foundKind = std::find_if(std::begin(KindNames), std::end(KindNames),
                                         [&](const KindName& k) { return k.name == kind; });
    if (foundKind == std::end(KindNames))
        return std::nullopt;
    entry.kind = foundKind->kind;

    if (!parseHex(nextWord(line), entry.payload) || !nextWord(line).empty())
        return std::nullopt;
    return entry;
}

TraceWriter::TraceWriter(const std::filesystem::path& file)
    : m_file(file, std::ios::binary | std::ios::trunc)
{
    m_open = m_file.is_open();
    if (!m_open)
        return;
    m_file << "# Nimbra report trace: microseconds, direction, request kind, 64 payload bytes\n";
    m_thread = std::thread([this] { run(); });
}

TraceWriter::~TraceWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TraceWriter::record(TraceDirection direction, RequestKind kind, const Payload& payload)
{
    if (!m_open)
        return;
    {
        std::lock_guard lock(m_mutex);
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_start).count();
        ++m_recorded;
        if (m_backlog.size() >= BacklogLimit) {
            ++m_lost;
        } else {
            m_backlog.push_back({micros, direction, kind, payload});
        }
    }
    m_changed.notify_all();
}

void TraceWriter::flush()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_recorded;
    m_changed.wait(lock, [&] { return m_written >= target || !m_thread.joinable(); });
}

void TraceWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stopping || !m_backlog.empty() || m_lost > 0; });
        std::deque<TraceEntry> batch;
        batch.swap(m_backlog);
        const std::size_t lost = std::exchange(m_lost, 0);
        const bool stopping = m_stopping;
        lock.unlock();

        if (lost > 0)
            m_file << "# " << lost << " entries lost: the disk did not keep up\n";
        for (const TraceEntry& entry : batch)
            m_file << FormatTraceLine(entry) << '\n';
        m_file.flush();

        lock.lock();
        m_written += batch.size() + lost;
        m_changed.notify_all();
        if (stopping && m_backlog.empty())
            return;
    }
}

} // namespace nimbra
