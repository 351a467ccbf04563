#include "logimport.h"

#include "archive.h"
#include "cfile.h"
#include "logline.h"
#include "messageservice.h"
#include "recordstore.h"

#include <QStringList>
#include <optional>
#include <utility>

namespace nimbra {

namespace {

QString StationText(const std::string& name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// The store side of one import, with the history in the same transaction: every step after the
// first failure is skipped, so a store that refuses writes shows one message and both files
// keep what they held.
class Replacement
{
public:
    // order: the one the stamps are read in, which the history remembers with the file.
    Replacement(const std::filesystem::path& database, const std::string& stationFile, bool indoor,
                DateOrder order, MessageService& messages, Language language)
        : m_messages(messages), m_store(messages)
    {
        m_store.CurrentRow = &m_row;
        m_ok = m_store.Open(database) == 0;
        const bool keeps = m_ok && attachHistory(database, stationFile, language);
        m_ok = m_ok && m_store.BeginReplace() == 0 && m_store.ClearAll() == 0 &&
               guarded([this] { m_store.OpenForAppend(); });
        if (!m_ok)
            m_store.RollbackReplace();
        else if (keeps)
            m_history.emplace(m_store.Connection(), stationFile, indoor,
                              std::string(DateOrderName(order)));
    }

    void append(const ParsedLine& line)
    {
        if (!m_ok)
            return;
        m_row = line.row;
        if (m_store.AppendRow() != 0 ||
            (m_history && !guarded([&] {
                 m_history->add({line.row, line.fahrenheit}, line.hash, line.whole);
             })))
            abandon();
    }

    // The history's part, when it took one.
    std::optional<ArchiveWriteResult> commit(const QString& unitLabel)
    {
        std::optional<ArchiveWriteResult> kept;
        m_ok =
            m_ok &&
            (!m_history || guarded([&] { kept = m_history->finish(unitLabel.toStdString()); })) &&
            guarded([this] { m_store.CloseCursor(); }) && m_store.CommitReplace() == 0;
        if (!m_ok) {
            m_store.RollbackReplace();
            return std::nullopt;
        }
        return kept;
    }

    bool ok() const { return m_ok; }

    void abandon()
    {
        m_ok = false;
        m_history.reset();
        m_store.RollbackReplace();
    }

private:
    // The history is created or taken over on a connection of its own first, then joins the
    // store's connection.
    bool attachHistory(const std::filesystem::path& database, const std::string& stationFile,
                       Language language)
    {
        const std::filesystem::path history = ArchivePathBeside(database);
        try {
            Archive{history};
            m_store.Attach(history, ArchiveSchema);
            return true;
        } catch (const StoreError& error) {
            m_messages.inform(
                StringTable(language, TextId::HistoryCouldNotKeep)
                    .arg(StationText(stationFile), QString::fromStdString(error.what())));
            return false;
        }
    }

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
    std::optional<ArchiveWriter> m_history; // on m_store's connection, so it goes first
    bool m_ok = false;
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
    result.indoor = options.indoor.value_or(IsIndoorFileName(stationFileName));
    // Ambiguous stamps are resolved once, not per line.
    if (order != DateOrder::MonthDayYear && order != DateOrder::DayMonthYear)
        order = SystemDateOrder();

    ParsingThread parser(file.get(), options.complete, result.indoor, order);
    Replacement store(database, stationFileName, result.indoor, order, messages, options.language);
    while (auto batch = parser.pipe().pop()) {
        for (const ParsedLine& line : *batch)
            store.append(line);
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
        if (const QString why = DescribeFailure(outcome.failure); !why.isEmpty())
            problem += QStringLiteral(" (") + why + u')';
    } else if (outcome.lines.end == LinesRead::End::TooLong) {
        result.tooLongLine = outcome.lines.number;
        problem = StringTable(options.language, TextId::LineTooLong)
                      .arg(outcome.lines.number)
                      .arg(copyName)
                      .arg(MaxLogLineLength / 1024);
    } else if (options.refuseNonLogs && outcome.rows == 0) {
        result.refused = true;
        problem = StringTable(options.language, TextId::NoReadingsStoreUnchanged).arg(copyName);
    } else if (options.refuseNonLogs && !outcome.stationHeader) {
        result.refused = true;
        problem = StringTable(options.language, TextId::NotAStationLog).arg(copyName);
    }
    if (!problem.isEmpty()) {
        // Half a file must not replace a whole one.
        store.abandon();
        messages.inform(problem);
        return result;
    }
    result.history = store.commit(result.unitLabel);
    result.stored = store.ok();
    return result;
}

QString ImportSummary(const ImportResult& result, const QString& fileName, Language language)
{
    if (!result.stored)
        return {};
    QStringList said;
    if (!result.complete && result.rows == 1)
        said << StringTable(language, TextId::IncompleteCopyImportedOne).arg(fileName);
    else if (!result.complete)
        said
            << StringTable(language, TextId::IncompleteCopyImported).arg(result.rows).arg(fileName);
    else if (result.rows == 0)
        said << StringTable(language, TextId::NothingInLog).arg(fileName);
    if (result.history && result.history->notKept == 1)
        said << StringTable(language, TextId::LineNotKept).arg(result.history->firstNotKept);
    else if (result.history && result.history->notKept > 1)
        said << StringTable(language, TextId::LinesNotKept)
                    .arg(result.history->notKept)
                    .arg(result.history->firstNotKept);
    return said.join(u'\n');
}

} // namespace nimbra
