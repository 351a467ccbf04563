#pragma once

#include <QString>
#include <QStringList>

namespace nimbra {

struct StartOptions
{
    QString dataFolder; // absolute; the platform's default unless --data-folder names one
    bool simulate = false;
    QString traceFile; // absolute; empty: no report trace
    QString station;   // the station's id; empty: the first free one
};

// Exit status of a command line that cannot be understood; 1 is a failure of the work itself.
inline constexpr int UsageExitStatus = 2;

// What a command line asks for: a start with options, or a text to print and an exit status
// (--help and --version on stdout with 0; a bad argument with the usage on stderr and 2).
struct CommandLine
{
    StartOptions options;
    bool start = true;
    int exitStatus = 0;
    QString output;
    bool toStandardError = false;
};

// Reads --data-folder DIR, --simulate, --station ID, --trace FILE, --help and --version. --help and
// --version win over anything else on the line, so they work before the window system is up.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& version);

// Prints a command line's text where it belongs.
void PrintCommandLineOutput(const CommandLine& command);

} // namespace nimbra
