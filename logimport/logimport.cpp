#include "logimport.h"

#include "cfile.h"
#include "logline.h"
#include "messageservice.h"
#include "recordstore.h"
#include "rowpipe.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace nimbra {

namespace {

constexpr std::size_t ReadChunk = std::size_t(1) << 20;

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

QString Describe(const std::exception_ptr& failure)
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

RecordRow ParseRow(std::string_view line, bool indoor, DateOrder order)
{
    const LogFields fields = SplitLogLine(line, indoor);
    RecordRow row;
    row.Time = ParseLogTime(fields.field[0], order);
    row.Temperature = ReadLogFloat(fields.field[1]);
    row.Humidity = ReadLogInteger(fields.field[2]);
    row.Dewpoint = indoor ? float(NoValue) : ReadLogFloat(fields.field[3]);
    row.Heatindex = indoor ? float(NoValue) : ReadLogFloat(fields.field[4]);
    return row;
}

// The store side of one import: every step after the first failure is skipped, so a store that
// refuses writes shows one message and keeps its previous rows.
class Replacement
{
public:
    Replacement(const std::filesystem::path& database, MessageService& messages)
        : m_messages(messages), m_store(messages)
    {
        m_store.CurrentRow = &m_row;
        m_ok = m_store.Open(database) == 0 && m_store.BeginReplace() == 0 &&
               m_store.ClearAll() == 0 && guarded([this] { m_store.OpenForAppend(); });
        if (!m_ok)
            m_store.RollbackReplace();
    }

    void append(const RecordRow& row)
    {
        if (!m_ok)
            return;
        m_row = row;
        if (m_store.AppendRow() != 0)
            abandon();
    }

    bool commit()
    {
        m_ok = m_ok && guarded([this] { m_store.CloseCursor(); }) && m_store.CommitReplace() == 0;
        if (!m_ok)
            m_store.RollbackReplace();
        return m_ok;
    }

    void abandon()
    {
        m_ok = false;
        m_store.RollbackReplace();
    }

private:
    template <typename Step> bool guarded(Step&& step)
    {
        try {
            step();
            return true;
        } catch (const StoreError& error) {
            m_messages.inform(QString::fromStdString(error.what()));
            return false;
        }
    }

    MessageService& m_messages;
    RecordStore m_store;
    RecordRow m_row;
    bool m_ok = false;
};

// Reads and parses the log on a thread of its own while the caller stores the rows, so parsing
// and storing share the two cores.
class ParsingThread
{
public:
    ParsingThread(std::FILE* file, bool complete, bool indoor, DateOrder order)
        : m_thread([=, this] { run(file, complete, indoor, order); })
    {
    }
    // Also on the way out of an exception: the thread must not wait for a consumer that left.
    ~ParsingThread()
    {
        m_pipe.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    RowPipe& pipe() { return m_pipe; }

    struct Outcome
    {
        LinesRead lines;
        std::size_t rows = 0;
        QString unitLabel;
        StampForm stamps;           // of the first reading
        std::exception_ptr failure; // what the thread threw (out of memory, say)
    };
    // Waits for the end of the file.
    const Outcome& finish()
    {
        m_thread.join();
        return m_outcome;
    }

private:
    void run(std::FILE* file, bool complete, bool indoor, DateOrder order)
    {
        try {
            RowPipe::Batch batch = m_pipe.take();
            bool header = true;
            m_outcome.lines = ForEachLine(file, complete, [&](std::string_view line) {
                if (header) {
                    m_outcome.unitLabel = UnitLabelFromHeader(line);
                    header = false;
                    return;
                }
                if (m_outcome.rows + batch.size() == 0)
                    m_outcome.stamps = StampFormOf(line.substr(0, line.find(',')), order);
                batch.push_back(ParseRow(line, indoor, order));
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

    RowPipe m_pipe;
    Outcome m_outcome;    // written by the thread, read after it has been joined
    std::thread m_thread; // last, so it starts after everything it uses
};

} // namespace

ImportResult ImportLogFile(const std::filesystem::path& localCopy,
                           const std::string& stationFileName,
                           const std::filesystem::path& database, DateOrder order,
                           MessageService& messages, const ImportOptions& options)
{
    ImportResult result;
    result.complete = options.complete;
    const CFile file = OpenCFile(localCopy, "rb");
    if (!file)
        return result;
    result.opened = true;
    result.indoor = IsIndoorFileName(stationFileName);
    // Ambiguous stamps are resolved once, not per line.
    if (order != DateOrder::MonthDayYear && order != DateOrder::DayMonthYear)
        order = SystemDateOrder();

    ParsingThread parser(file.get(), options.complete, result.indoor, order);
    Replacement store(database, messages);
    while (auto batch = parser.pipe().pop()) {
        for (const RecordRow& row : *batch)
            store.append(row);
        parser.pipe().giveBack(std::move(*batch));
    }
    const ParsingThread::Outcome& outcome = parser.finish();
    result.rows = outcome.rows;
    result.unitLabel = outcome.unitLabel;
    result.stamps = outcome.rows > 0 ? outcome.stamps : StampForm{order};
    const QString copyName = QString::fromStdU16String(localCopy.u16string());
    QString problem;
    if (outcome.failure || outcome.lines.end == LinesRead::End::Failed) {
        problem = StringTable(options.language, TextId::ReadError).arg(copyName);
        if (const QString why = Describe(outcome.failure); !why.isEmpty())
            problem += QStringLiteral(" (") + why + u')';
    } else if (outcome.lines.end == LinesRead::End::TooLong) {
        result.tooLongLine = outcome.lines.number;
        problem = StringTable(options.language, TextId::LineTooLong)
                      .arg(outcome.lines.number)
                      .arg(copyName)
                      .arg(MaxLogLineLength / 1024);
    }
    if (!problem.isEmpty()) {
        // Half a file must not replace a whole one.
        store.abandon();
        messages.inform(problem);
        return result;
    }
    result.stored = store.commit();
    return result;
}

QString ImportSummary(const ImportResult& result, const QString& fileName, Language language)
{
    if (!result.stored)
        return {};
    if (!result.complete)
        return StringTable(language, TextId::IncompleteCopyImported).arg(result.rows).arg(fileName);
    if (result.rows == 0)
        return StringTable(language, TextId::NothingInLog).arg(fileName);
    return {};
}

} // namespace nimbra
