#pragma once

#include "archivewriter.h"
#include "logdate.h"
#include "logparser.h"
#include "recordtext.h"
#include "uitext.h"

#include <QString>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace nimbra {

class MessageService;

struct ImportOptions
{
    // false for a copy known to be cut short (a failed download): its last line is ignored
    // unless a line end closes it, so no half line is stored.
    bool complete = true;
    Language language = Language::English;     // of the import's own messages
    std::optional<bool> indoor = std::nullopt; // empty: the station file's name decides
    // Refuse, leaving store and history as they were, a file that is not a station log (its
    // header has no "," and no "(" unit, or holds control bytes) or that holds no reading.
    bool refuseNonLogs = false;
};

struct ImportResult
{
    bool opened = false;  // the local copy could be read; if not, nothing else happened
    std::size_t rows = 0; // reading lines read (all of them stored when stored is true)
    QString unitLabel;    // "(°C)", "(°F)", ...
    bool indoor = false;  // three fields a line
    bool stored = false;  // the store holds exactly these rows; otherwise its previous ones
    bool complete = true; // as ImportOptions::complete
    StampForm stamps;     // the form of the first reading's stamp, ambiguous ones read by order
    std::size_t tooLongLine = 0; // the number of a line refused for its length (1 = header)
    bool refused = false;        // by refuseNonLogs, said through messages
    // What the kept history took with the store; empty when it could not (said through messages).
    std::optional<ArchiveWriteResult> history;
};

// Reads the local copy of a station log and replaces the contents of the record store at
// database with its rows, and writes its whole readings into the kept history beside it, in one
// transaction over both files: a failure or a killed process leaves both as they were. A history
// that cannot be opened is said through messages and the store is replaced alone. Lines end at
// LF, CR LF or a lone CR. Database failures, a read error, a line longer than
// MaxLogLineLength and a failure of the parsing thread are shown once through messages; a
// local copy that cannot be opened is only reported in the result (the caller says so).
// stationFileName decides indoor ("IN" in it); order resolves ambiguous day and month. The file
// is parsed on a second thread while this one stores; messages come from this thread only.
// Memory stays the same whatever the length of the file.
ImportResult ImportLogFile(const std::filesystem::path& localCopy,
                           const std::string& stationFileName,
                           const std::filesystem::path& database, DateOrder order,
                           MessageService& messages, const ImportOptions& options = {});

// What the user is told of an import that worked: how many rows came from an incomplete copy,
// or that the file holds no readings, and how many lines the history did not take. Empty when
// there is nothing to say.
QString ImportSummary(const ImportResult& result, const QString& fileName, Language language);

} // namespace nimbra
