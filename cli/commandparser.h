#pragma once

#include "headless.h"
#include "singleinstance.h"
#include "stationsession.h"

#include <QCommandLineParser>
#include <QString>
#include <optional>

namespace nimbra {

inline constexpr const char* DataFolderOption = "data-folder";

// One station command's line: its options besides the ones every command takes
// (--data-folder, --simulate, --help), read with Qt's parser.
class CommandParser
{
public:
    CommandParser(QString verb, QString synopsis, QString description);

    QCommandLineParser& parser() { return m_parser; }
    const QCommandLineParser& parser() const { return m_parser; }
    void addOption(const QCommandLineOption& option) { m_parser.addOption(option); }
    // Parses; the exit status when the command ends here (help printed: 0, a bad line: 2).
    std::optional<int> parse(const QStringList& arguments, HeadlessEnvironment& env);
    // After parse(): the operands after the command's name.
    QStringList operands() const { return m_parser.positionalArguments().mid(1); }
    bool simulate() const { return m_parser.isSet(m_simulate); }
    QString dataFolder(const HeadlessEnvironment& env) const;

    int badUsage(const QString& reason, HeadlessEnvironment& env) const;

private:
    QString m_verb;
    QString m_synopsis;
    QString m_description;
    QCommandLineParser m_parser;
    QCommandLineOption m_dataFolder{QLatin1String(DataFolderOption),
                                    QStringLiteral("The data folder (default: the program's own)."),
                                    QStringLiteral("DIR")};
    QCommandLineOption m_simulate{QStringLiteral("simulate"),
                                  QStringLiteral("Talk to the built-in station emulator.")};
    QCommandLineOption m_help{{QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("Show this help.")};
};

// Whether argument is the data folder option whose value follows as the next word. Qt's
// parser, as CommandLine sets it up, takes a word after one dash as the long option, so both
// spellings are; the finder of the command word must skip the same value that parser reads.
bool IsDataFolderOption(const QString& argument);

// A line on err, "nimbractl: text"; returns 1 for `return Fail(...)`.
int Fail(HeadlessEnvironment& env, const QString& text);
void PrintLine(std::FILE* file, const QString& text);

// A whole number operand in [low, high], or empty.
std::optional<int> WholeNumber(const QString& text, int low, int high);

// The station for one command: the locks of the windows that could hold it and a session over
// the chosen transport. The user's window works on the default data folder; a window started on
// the folder this command works on holds a lock of its own.
class StationAccess
{
public:
    StationAccess(HeadlessEnvironment& env, const CommandParser& line)
        : m_env(env), m_userLock(env.lockFolder, LockName(env.defaultDataFolder)),
          m_lock(env.lockFolder, LockName(line.dataFolder(env))),
          m_session(env.transport(line.simulate()), env.timing, m_lock)
    {
    }
    // Opens the station; says why not on err.
    bool open();
    StationSession& session() { return m_session; }

private:
    HeadlessEnvironment& m_env;
    SingleInstanceLock m_userLock;
    SingleInstanceLock m_lock;
    StationSession m_session; // after the locks: it lets go of the station before they go
};

} // namespace nimbra
