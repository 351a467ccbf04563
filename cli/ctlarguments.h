#pragma once

#include "logdate.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace nimbra {

// One nimbractl command line.
struct CtlCommand
{
    enum class Kind
    {
        Import,
        Export,
        Print,   // --help or --version: text on stdout, status 0
        BadUsage // text (the reason and the usage) on stderr, status 2
    };
    Kind kind = Kind::BadUsage;
    QString dataFolder; // empty: the default one
    QString file;       // import: the log; export: the output, empty for stdout
    DateOrder order = DateOrder::Unknown;
    std::optional<bool> indoor; // import: --indoor or --outdoor; else the file's name decides
    std::optional<double> from; // OLE dates, both ends included
    std::optional<double> to;
    QString text;
};

// A bound of --from or --to: "YYYY-MM-DD h:mm:ss", or a date alone for the start of that day
// (end false) or its end. nullopt for anything else.
std::optional<double> ParseTimeBound(const QString& text, bool end);

CtlCommand ParseCtlArguments(const QStringList& arguments, const QString& version);

// Takes "--trace FILE" (or "--trace=FILE"), which any command accepts, off the arguments.
// The file, empty when not given; nothing, with error holding the usage, when FILE is missing.
std::optional<QString> TakeTraceOption(QStringList& arguments, QString& error);

} // namespace nimbra
