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
    std::optional<double> from; // OLE dates, both ends included
    std::optional<double> to;
    QString text;
};

CtlCommand ParseCtlArguments(const QStringList& arguments, const QString& version);

// Takes "--trace FILE" (or "--trace=FILE"), which any command accepts, off the arguments.
// The file, empty when not given; nothing, with error holding the usage, when FILE is missing.
std::optional<QString> TakeTraceOption(QStringList& arguments, QString& error);

} // namespace nimbra
