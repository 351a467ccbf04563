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

// Hands every line of a file, its line end (LF, or CR LF) removed, to a callback, reading in
// large chunks so that a file of any size needs little memory. False on a read error.
template <typename OnLine> bool ForEachLine(std::FILE* file, OnLine&& onLine)
{
    std::vector<char> buffer(ReadChunk);
    std::size_t kept = 0; // the unfinished line at the front of buffer
    for (;;) {
        if (kept == buffer.size())
            buffer.resize(buffer.size() * 2);
        const std::size_t read = std::fread(buffer.data() + kept, 1, buffer.size() - kept, file);
        const std::size_t filled = kept + read;
        std::size_t start = 0;
        for (std::size_t at = kept; at < filled; ++at) {
            if (buffer[at] != '\n')
                continue;
            std::size_t end = at;
            if (end > start && buffer[end - 1] == '\r')
                --end;
            onLine(std::string_view(buffer.data() + start, end - start));
            start = at + 1;
        }
        kept = filled - start;
        std::memmove(buffer.data(), buffer.data() + start, kept);
        if (read == 0) {
            if (std::ferror(file))
                return false;
            if (kept > 0) { // the last line has no line end
                std::size_t end = kept;
                if (buffer[end - 1] == '\r')
                    --end;
                onLine(std::string_view(buffer.data(), end));
            }
            return true;
        }
    }
}

QString Describe(const std::exception_ptr& failure)
{
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
// and storing share the two cores. texts and the header's label belong to the thread until
// finish() has joined it.
class ParsingThread
{
public:
    ParsingThread(std::FILE* file, bool indoor, DateOrder order, RecordTexts& texts)
        : m_thread([this, file, indoor, order, &texts] { run(file, indoor, order, texts); })
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

    // Waits for the end of the file: false after a read error or when the thread failed (out
    // of memory, say); then failure holds what it threw, if it says.
    bool finish(QString& unitLabel, QString& failure)
    {
        m_thread.join();
        if (m_failure) {
            failure = Describe(m_failure);
            return false;
        }
        unitLabel = m_unitLabel;
        return m_read;
    }

private:
    void run(std::FILE* file, bool indoor, DateOrder order, RecordTexts& texts)
    {
        try {
            RowPipe::Batch batch;
            bool header = true;
            m_read = ForEachLine(file, [&](std::string_view line) {
                if (header) {
                    m_unitLabel = UnitLabelFromHeader(line);
                    header = false;
                    return;
                }
                texts.append(line);
                if (batch.empty())
                    batch.reserve(RowPipe::BatchRows);
                batch.push_back(ParseRow(line, indoor, order));
                if (batch.size() == RowPipe::BatchRows)
                    m_pipe.push(std::exchange(batch, {}));
            });
            if (!batch.empty())
                m_pipe.push(std::move(batch));
        } catch (...) {
            m_failure = std::current_exception();
        }
        m_pipe.close();
    }

    RowPipe m_pipe;
    // Written by the thread, read after it has been joined.
    QString m_unitLabel;
    bool m_read = false;
    std::exception_ptr m_failure;
    std::thread m_thread; // last, so it starts after everything it uses
};

} // namespace

ImportResult ImportLogFile(const std::filesystem::path& localCopy,
                           const std::string& stationFileName,
                           const std::filesystem::path& database, DateOrder order,
                           MessageService& messages, RecordTexts& texts, Language language)
{
    ImportResult result;
    const CFile file = OpenCFile(localCopy, "rb");
    if (!file)
        return result;
    result.opened = true;
    result.indoor = IsIndoorFileName(stationFileName);
    texts.clear(result.indoor);
    // Ambiguous stamps are resolved once, not per line.
    if (order != DateOrder::MonthDayYear && order != DateOrder::DayMonthYear)
        order = SystemDateOrder();

    ParsingThread parser(file.get(), result.indoor, order, texts);
    Replacement store(database, messages);
    while (const auto batch = parser.pipe().pop())
        for (const RecordRow& row : *batch)
            store.append(row);
    QString failure;
    const bool read = parser.finish(result.unitLabel, failure);
    result.rows = texts.size();
    if (!read) {
        // Half a file must not replace a whole one.
        store.abandon();
        QString text =
            StringTable(language, 303).arg(QString::fromStdU16String(localCopy.u16string()));
        if (!failure.isEmpty())
            text += QStringLiteral(" (") + failure + u')';
        messages.inform(text);
        return result;
    }
    result.stored = store.commit();
    return result;
}

} // namespace nimbra
