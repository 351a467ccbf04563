#pragma once

#include "logdate.h"
#include "recordtext.h"
#include "rowpipe.h"

#include <QString>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <thread>

namespace nimbra {

// A longer line is refused: no station writes one, and the reader's memory stays bounded.
inline constexpr std::size_t MaxLogLineLength = 64 * 1024;

struct LinesRead
{
    enum class End
    {
        Done,
        Failed,  // a read error
        TooLong, // line `number` is longer than MaxLogLineLength
    };
    End end = End::Done;
    std::size_t number = 0; // lines handed over, or the number of the line that was too long
};

// Reads and parses a log on a thread of its own while the caller takes the lines from pipe(),
// so parsing and storing share the two cores. Lines end at LF, CR LF or a lone CR.
class ParsingThread
{
public:
    // complete false: a last line without a line end is the cut of a transfer and is left out.
    ParsingThread(std::FILE* file, bool complete, bool indoor, DateOrder order);
    // Also on the way out of an exception: the thread must not wait for a consumer that left.
    ~ParsingThread();
    ParsingThread(const ParsingThread&) = delete;
    ParsingThread& operator=(const ParsingThread&) = delete;

    RowPipe& pipe() { return m_pipe; }

    struct Outcome
    {
        LinesRead lines;
        std::size_t rows = 0;
        QString unitLabel;
        bool stationHeader = false; // the header has a "," and a "(" unit and no control byte
        StampForm stamps;           // of the first reading
        std::exception_ptr failure; // what the thread threw (out of memory, say)
    };
    // Waits for the end of the file.
    const Outcome& finish();

private:
    void run(std::FILE* file, bool complete, bool indoor, DateOrder order);

    RowPipe m_pipe;
    Outcome m_outcome;    // written by the thread, read after it has been joined
    std::thread m_thread; // last, so it starts after everything it uses
};

// The text of what a parsing thread threw, empty when it threw nothing or nothing readable.
QString DescribeFailure(const std::exception_ptr& failure);

} // namespace nimbra
