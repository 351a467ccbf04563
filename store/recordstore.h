#pragma once

#include "novalue.h"
#include "sqlitehandles.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nimbra {

class MessageService;

#pragma pack(push, 1)
// One stored reading. 65535 (NoValue) in a value field means the reading has none there.
struct RecordRow
{
    double Time = 0.0; // OLE Automation date
    float Temperature = 0.0f;
    std::int32_t Humidity = 0;
    float Dewpoint = 0.0f;
    float Heatindex = 0.0f;
};
#pragma pack(pop)
static_assert(sizeof(RecordRow) == 24);

// Raised by the calls that do not report failures themselves (OpenForAppend, CloseCursor,
// ReadCount, AtEnd, ReadDate, ReadFloat, MoveNext); what() is the engine's text.
class StoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Receives the points of one part of a pass over a range, series by series: for each series,
// in ascending time. A pass may read on other threads; each sink is used by one at a time.
class SeriesSink
{
public:
    virtual ~SeriesSink() = default;
    // Room for about this many points in each series; a hint.
    virtual void reserve(std::size_t points) = 0;
    // time: an OLE date; value: widened from a single float.
    virtual void add(std::size_t series, double time, double value) = 0;
    // Lets go of every point added.
    virtual void clear() = 0;
};

// The engine's text for a failure: SQLite's message followed by its result code.
std::string ComErrorText(int code, std::string_view message);

// The readings of the one log file last imported, in the SQLite database of the data folder.
// One store per user (the SD-card dialog, the graph dialog), each with its own connection, used
// by one thread at a time. Failures that an operation catches are shown through the message
// service (inform only) and reported by its result.
class RecordStore
{
public:
    // Another connection (the graph's, or a second program) may hold the file for a moment.
    static constexpr int BusyTimeoutMs = 5000;

    explicit RecordStore(MessageService& messages);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // 0 connected; -1 the database could not be opened (message shown). Replaces any earlier
    // connection and cursor, and rolls back a replacement that was not committed. The file must
    // exist: the store never creates a database.
    int Open(const std::filesystem::path& database);
    // Empties Records and Param. 0 done; 1 failed, message shown.
    int ClearAll();

    // Replacing the whole contents is one transaction: BeginReplace, ClearAll, OpenForAppend,
    // AppendRow per row, CloseCursor, CommitReplace. Until the commit other connections (and,
    // after a crash, everyone) see the previous rows. The indexes of Records are dropped at the
    // begin and built again, as they were, before the commit. 0 done; 1 failed, message shown.
    int BeginReplace();
    int CommitReplace();
    // Drops what the running replacement has written; silent, also when none runs.
    void RollbackReplace();

    // Makes another database file part of this connection under schema, so that a replacement's
    // transaction covers it as well: both files commit together, or neither does. Until the next
    // Open. Raises on failure.
    void Attach(const std::filesystem::path& file, const char* schema);
    // The connection, for a writer of an attached file within a replacement's transaction.
    sqlite3* Connection() const { return m_db.get(); }

    void OpenForAppend();
    // Appends *CurrentRow. 0 done; 2 failed, message shown.
    int AppendRow();
    void CloseCursor();

    // Rows with start < Time <= end whose column is not 65535. start and end in the form of
    // FormatRangeTime; column one of Temperature, Humidity, Dewpoint, Heatindex in any case
    // (anything else is refused with a message). 0 done; 1 failed, message shown.
    int CountRange(const std::string& start, const std::string& end, std::string_view column);
    int ReadCount();
    // The same rows in ascending time, each with all five columns.
    int SelectRange(const std::string& start, const std::string& end, std::string_view column);
    // Every row with from <= Time <= to, no-value fields included, in the order they were
    // appended (the file's order). 0 done; 1 failed, message shown.
    int SelectStored(double from, double to);
    // For each column (series i for columns[i]), in one pass over the range, exactly the rows
    // that SelectRange gives for it, in the same order: its Time and its value widened from a
    // single float. The range is read in two parts at once: earlier receives the first points
    // of every series, later (on a thread of its own) the rest. 0 done; 1 failed, message
    // shown, and both sinks cleared.
    int ReadSeries(const std::string& start, const std::string& end,
                   std::span<const std::string_view> columns, SeriesSink& earlier,
                   SeriesSink& later);
    bool AtEnd();
    // Time or a value column of the current row.
    double ReadDate(std::string_view column);
    float ReadFloat(std::string_view column);
    void MoveNext();

    // The first and last Time of the rows with a real time (above 0); nullopt when there are
    // none or the store cannot be read (message shown).
    std::optional<std::pair<double, double>> ValidTimeSpan();

    // The rows in the order they were stored, for a view that reads them on demand. Silent:
    // a view asks for rows while it paints, where no message box may open.
    // The first and last rowid; nullopt when the table is empty or cannot be read.
    std::optional<std::pair<std::int64_t, std::int64_t>> StoredRowids();
    // Up to count rows from rowid first on, in rowid order, into rows (replaced). 0 done; 1 the
    // store could not be read (busy with an import's commit, say).
    int ReadStoredRows(std::int64_t first, std::size_t count, std::vector<RecordRow>& rows);

    RecordRow* CurrentRow = nullptr; // not owned; AppendRow reads it

private:
    enum class Cursor
    {
        None,
        Append,
        Count,
        Select
    };

    bool connected() const { return static_cast<bool>(m_db); }
    int report(int result, const std::string& text);
    std::string lastError() const;
    int openRange(const char* const statements[], const std::string& start, const std::string& end,
                  std::string_view column);
    int openCursor(const char* statement, double from, double to);
    bool deferIndexes();
    bool rebuildIndexes();
    bool readSeries(const std::string& start, const std::string& end,
                    std::span<const std::string_view> columns, SeriesSink& earlier,
                    SeriesSink& later);
    void requireRow() const;
    void step();

    MessageService& m_messages;
    Database m_db;
    Statement m_cursor; // every query and every append runs on this one statement
    Cursor m_cursorKind = Cursor::None;
    bool m_hasRow = false;    // the cursor stands on a row
    int m_count = 0;          // what the last CountRange found
    bool m_replacing = false; // a transaction of BeginReplace is open
    // The statements that create the indexes BeginReplace dropped; CommitReplace runs them.
    std::vector<std::string> m_droppedIndexes;
};

} // namespace nimbra
