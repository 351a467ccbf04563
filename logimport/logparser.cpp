#include "logparser.h"

#include "logline.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace nimbra {

namespace {

constexpr std::size_t ReadChunk = std::size_t(1) << 20;

// Hands every line of a file to a callback, its line end (LF, CR LF or a lone CR) removed,
// reading in large chunks into one buffer that never grows: a line longer than
// MaxLogLineLength stops the reading. complete false: a last line without a line end is the
// cut of a transfer and is left out.
template <typename OnLine> LinesRead ForEachLine(std::FILE* file, bool complete, OnLine&& onLine)
{
    std::vector<char> buffer(MaxLogLineLength + ReadChunk);
    char* const data = buffer.data();
    LinesRead lines;
    std::size_t kept = 0;      // the unfinished line at the front of the buffer
    bool skipLineFeed = false; // the last line ended in CR, which may be half of CR LF
    for (;;) {
        const std::size_t read = std::fread(data + kept, 1, buffer.size() - kept, file);
        const char* const filled = data + kept + read;
        const char* start = data;
        const char* at = data + kept;
        if (skipLineFeed && at < filled) {
            if (*at == '\n')
                start = ++at;
            skipLineFeed = false;
        }
        for (;;) {
            while (at < filled && *at != '\n' && *at != '\r')
                ++at;
            if (at == filled)
                break;
            if (static_cast<std::size_t>(at - start) > MaxLogLineLength)
                return {LinesRead::End::TooLong, lines.number + 1};
            ++lines.number;
            onLine(std::string_view(start, static_cast<std::size_t>(at - start)));
            const bool carriageReturn = *at++ == '\r';
            if (carriageReturn && at == filled)
                skipLineFeed = true;
            else if (carriageReturn && *at == '\n')
                ++at;
            start = at;
        }
        kept = static_cast<std::size_t>(filled - start);
        if (kept > MaxLogLineLength)
            return {LinesRead::End::TooLong, lines.number + 1};
        std::memmove(data, start, kept);
        if (read == 0) {
            if (std::ferror(file))
                return {LinesRead::End::Failed, lines.number};
            if (kept > 0 && complete) {
                ++lines.number;
                onLine(std::string_view(data, kept));
            }
            return lines;
        }
    }
}

// FNV-1a: enough to tell the first lines of two files apart.
std::uint64_t LineHash(std::string_view line)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : line)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

// The station measures -40.0 to 60.0 °C (-40.0 to 140.0 °F) and 0 to 100 %.
bool InStationRange(const RecordRow& row, const LogFields& fields, bool fahrenheit)
{
    const float highest = fahrenheit ? 140.0f : 60.0f;
    return (HasNoValue(fields.field[1]) ||
            (row.Temperature >= -40.0f && row.Temperature <= highest)) &&
           (HasNoValue(fields.field[2]) || (row.Humidity >= 0 && row.Humidity <= 100));
}

// What the history takes: a stamp with a date (a time alone falls on the OLE dates' first day,
// an unreadable one on 0 or -1), each field either no value or a whole number, in range.
bool IsWholeReading(const RecordRow& row, const LogFields& fields, bool indoor, bool fahrenheit)
{
    if (!(row.Time >= 1.0))
        return false;
    const int count = indoor ? 3 : 5;
    for (int i = 1; i < count; ++i) {
        if (!HasNoValue(fields.field[i]) && !IsWholeNumber(fields.field[i], i == 2))
            return false;
    }
    return InStationRange(row, fields, fahrenheit);
}

bool IsStationHeader(std::string_view line)
{
    const bool binary = std::any_of(line.begin(), line.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t';
    });
    const auto comma = line.find(',');
    return !binary && comma != std::string_view::npos &&
           line.find('(', comma) != std::string_view::npos;
}

ParsedLine ParseLine(std::string_view line, bool indoor, bool fahrenheit, DateOrder order)
{
    const LogFields fields = SplitLogLine(line, indoor);
    ParsedLine parsed;
    RecordRow& row = parsed.row;
    row.Time = ParseLogTime(fields.field[0], order);
    row.Temperature = ReadLogFloat(fields.field[1]);
    row.Humidity = ReadLogInteger(fields.field[2]);
    row.Dewpoint = indoor ? float(NoValue) : ReadLogFloat(fields.field[3]);
    row.Heatindex = indoor ? float(NoValue) : ReadLogFloat(fields.field[4]);
    parsed.hash = LineHash(line);
    parsed.whole = IsWholeReading(row, fields, indoor, fahrenheit);
    parsed.fahrenheit = fahrenheit;
    return parsed;
}

} // namespace

ParsingThread::ParsingThread(std::FILE* file, bool complete, bool indoor, DateOrder order)
    : m_thread([=, this] { run(file, complete, indoor, order); })
{
}

ParsingThread::~ParsingThread()
{
    m_pipe.stop();
    if (m_thread.joinable())
        m_thread.join();
}

const ParsingThread::Outcome& ParsingThread::finish()
{
    m_thread.join();
    return m_outcome;
}

void ParsingThread::run(std::FILE* file, bool complete, bool indoor, DateOrder order)
{
    try {
        RowPipe::Batch batch = m_pipe.take();
        bool header = true;
        bool fahrenheit = false;
        m_outcome.lines = ForEachLine(file, complete, [&](std::string_view line) {
            if (header) {
                m_outcome.unitLabel = UnitLabelFromHeader(line);
                m_outcome.stationHeader = IsStationHeader(line);
                fahrenheit = IsFahrenheitLabel(m_outcome.unitLabel);
                header = false;
                return;
            }
            if (m_outcome.rows + batch.size() == 0)
                m_outcome.stamps = StampFormOf(line.substr(0, line.find(',')), order);
            batch.push_back(ParseLine(line, indoor, fahrenheit, order));
            if (batch.size() == RowPipe::BatchRows) {
                m_outcome.rows += batch.size();
                m_pipe.push(std::exchange(batch, m_pipe.take()));
            }
        });
        m_outcome.rows += batch.size();
        if (!batch.empty())
            m_pipe.push(std::move(batch));
    } catch (...) {
        m_outcome.failure = std::current_exception();
    }
    m_pipe.close();
}

QString DescribeFailure(const std::exception_ptr& failure)
{
    if (!failure)
        return {};
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return {};
    }
}

} // namespace nimbra
