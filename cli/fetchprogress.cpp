#include "fetchprogress.h"

#include <algorithm>
#include <cmath>

namespace nimbra {

namespace {

constexpr auto RedrawEvery = std::chrono::milliseconds(100);
constexpr int BarWidth = 24;

QString Bytes(double bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(static_cast<qint64>(bytes));
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(bytes / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024), 0, 'f', 1);
}

} // namespace

QString FetchProgress::BarText(const QString& name, std::uint64_t done, std::uint64_t size,
                               double rate)
{
    const double fraction = size == 0 ? 1.0 : std::min(1.0, double(done) / double(size));
    const int filled = static_cast<int>(fraction * BarWidth);
    QString left = QStringLiteral("--:--");
    if (rate > 0) {
        const auto seconds =
            static_cast<qint64>(std::ceil(double(size - std::min(done, size)) / rate));
        left = QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1 [%2%3] %4 / %5  %6/s  %7 left")
        .arg(name, QString(filled, u'#'), QString(BarWidth - filled, u'.'), Bytes(double(done)),
             Bytes(double(size)), Bytes(rate), left);
}

void FetchProgress::begin(const QString& name, std::uint64_t size, std::uint64_t resumeAt)
{
    std::lock_guard lock(m_mutex);
    m_name = name;
    m_size = size;
    m_resumeAt = std::min(resumeAt, size);
    m_top = size - m_resumeAt;
    m_position = 0;
    m_complete = false;
    m_drawn = false;
    m_started = Clock::now();
    m_lastDraw = {};
}

bool FetchProgress::complete() const
{
    std::lock_guard lock(m_mutex);
    return m_complete;
}

void FetchProgress::finish()
{
    std::lock_guard lock(m_mutex);
    if (m_drawn)
        std::fputc('\n', m_out);
    std::fflush(m_out);
    m_drawn = false;
}

void FetchProgress::progressRange(int top)
{
    std::lock_guard lock(m_mutex);
    m_top = top > 0 ? static_cast<std::uint64_t>(top) : 0;
    m_position = 0;
    draw(true);
}

void FetchProgress::progress(int position)
{
    std::lock_guard lock(m_mutex);
    m_position = position > 0 ? static_cast<std::uint64_t>(position) : 0;
    draw(false);
}

void FetchProgress::transferComplete()
{
    std::lock_guard lock(m_mutex);
    m_complete = true;
    m_position = m_top;
    draw(true);
}

void FetchProgress::draw(bool force)
{
    if (!m_terminal)
        return;
    const Clock::time_point now = Clock::now();
    if (!force && now - m_lastDraw < RedrawEvery)
        return;
    m_lastDraw = now;
    // A report carries a little less than the 64 it is counted as: the count is held at the top.
    const std::uint64_t fetched = std::min(m_position, m_top);
    const double seconds = std::chrono::duration<double>(now - m_started).count();
    const double rate = seconds > 0.2 ? double(fetched) / seconds : 0.0;
    const QByteArray line = BarText(m_name, m_resumeAt + fetched, m_size, rate).toLocal8Bit();
    // \r and the erase-to-end sequence redraw the line in place.
    std::fprintf(m_out, "\r%s\x1b[K", line.constData());
    std::fflush(m_out);
    m_drawn = true;
}

} // namespace nimbra
