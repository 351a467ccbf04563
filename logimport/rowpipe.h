#pragma once

#include "recordstore.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace nimbra {

// One reading line of a log as the parser hands it on: the store's row, and what the kept
// history needs of the line.
struct ParsedLine
{
    RecordRow row;
    std::uint64_t hash = 0;  // of the line's text
    bool whole = false;      // its stamp holds a date and every field is a whole number in range
    bool fahrenheit = false; // its temperatures are in degrees Fahrenheit, as its header says
};

// Rows handed from the thread that parses a log to the one that stores it, in batches, with at
// most a few batches under way so that a large file never sits in memory twice. Batches go
// back and forth: the consumer returns each one it has stored, and the producer fills it
// again, so a file of any length costs a few allocations.
class RowPipe
{
public:
    using Batch = std::vector<ParsedLine>;
    static constexpr std::size_t BatchRows = 16384;

    // Producer: an empty batch with room for BatchRows rows, a returned one when there is one.
    Batch take();
    // Producer: waits while the pipe is full; drops the batch once the consumer has stopped.
    void push(Batch batch);
    // Producer: no more batches.
    void close();
    // Consumer: the next batch; nullopt once the pipe is closed and empty.
    std::optional<Batch> pop();
    // Consumer: a batch it is done with, for take().
    void giveBack(Batch batch);
    // Consumer: takes nothing more, so a producer never waits for it again.
    void stop();

private:
    static constexpr std::size_t Capacity = 4;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_batches; // guarded by m_mutex
    std::vector<Batch> m_spare;  // guarded by m_mutex
    bool m_closed = false;       // guarded by m_mutex
    bool m_stopped = false;      // guarded by m_mutex
};

} // namespace nimbra
