#pragma once

#include "logdate.h"
#include "recordtext.h"
#include "uitext.h"

#include <QString>
#include <cstddef>
#include <filesystem>
#include <string>

namespace nimbra {

class MessageService;

// A longer line is refused: no station writes one, and the reader's memory stays bounded.
inline constexpr std::size_t MaxLogLineLength = 64 * 1024;

struct ImportOptions
{
    // false for a copy known to be cut short (a failed download): its last line is ignored
    // unless a line end closes it, so no half line is stored.
    bool complete = true;
    Language language = Language::English; // of the import's own messages
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
};

// Reads the local copy of a station log and replaces the contents of the record store at
// database with its rows, in one transaction: a failure or a killed process leaves the previous
// rows. Lines end at LF, CR LF or a lone CR. Database failures, a read error, a line longer than
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
// or that the file holds no readings. Empty when there is nothing to say.
QString ImportSummary(const ImportResult& result, const QString& fileName, Language language);

} // namespace nimbra
