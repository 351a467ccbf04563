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

struct ImportResult
{
    bool opened = false;  // the local copy could be read; if not, nothing else happened
    std::size_t rows = 0; // reading lines of the file (all of them are in texts)
    QString unitLabel;    // "(°C)", "(°F)", ...
    bool indoor = false;  // three fields a line
    bool stored = false;  // the store holds exactly these rows; otherwise its previous ones
};

// Reads the local copy of a station log, fills texts with its reading lines and replaces the
// contents of the record store at database with its rows, in one transaction: a failure or a
// killed process leaves the previous rows. Database failures, a read error and a failure of the
// parsing thread are shown once through messages; a local copy that cannot be opened is only
// reported in the result (the caller says so).
// stationFileName decides indoor ("IN" in it); order resolves ambiguous day and month. The file
// is parsed on a second thread while this one stores; messages come from this thread only, in
// language where the import has texts of its own.
ImportResult ImportLogFile(const std::filesystem::path& localCopy,
                           const std::string& stationFileName,
                           const std::filesystem::path& database, DateOrder order,
                           MessageService& messages, RecordTexts& texts,
                           Language language = Language::English);

} // namespace nimbra
