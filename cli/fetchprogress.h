#pragma once

#include "localcopy.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace nimbra {

// What a fetch shows while it runs: on a terminal one line redrawn in place (file, bytes, rate,
// time left); elsewhere nothing until the file is done, so a log holds plain lines only.
// Told by the download worker and the link's reader thread.
class FetchProgress final : public TransferObserver
{
public:
    using Clock = std::chrono::steady_clock;

    FetchProgress(std::FILE* out, bool terminal) : m_out(out), m_terminal(terminal) {}

    // Before each file: its name, its size on the card and where the fetch resumes.
    void begin(const QString& name, std::uint64_t size, std::uint64_t resumeAt);
    // After the file's transfer and import: whether its last chunk arrived whole.
    bool complete() const;
    // Ends a drawn bar with a line end.
    void finish();

    void progressRange(int top) override;
    void progress(int position) override;
    void transferComplete() override;
    void transferEnded() override {}

    // The bar's text for bytes done of a file at a rate (bytes a second); testable alone.
    static QString BarText(const QString& name, std::uint64_t done, std::uint64_t size,
                           double rate);

private:
    void draw(bool force);

    std::FILE* const m_out;
    const bool m_terminal;
    mutable std::mutex m_mutex;
    QString m_name;               // guarded by m_mutex
    std::uint64_t m_size = 0;     // guarded by m_mutex
    std::uint64_t m_resumeAt = 0; // guarded by m_mutex
    std::uint64_t m_top = 0;      // guarded by m_mutex: the bytes this transfer asks for
    std::uint64_t m_position = 0; // guarded by m_mutex: 64 per data report, as the dialog counts
    bool m_complete = false;      // guarded by m_mutex
    bool m_drawn = false;         // guarded by m_mutex
    Clock::time_point m_started;  // guarded by m_mutex
    Clock::time_point m_lastDraw; // guarded by m_mutex
};

} // namespace nimbra
