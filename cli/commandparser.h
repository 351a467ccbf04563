#pragma once

#include "headless.h"
#include "stationhold.h"
#include "stationsession.h"

#include <QCommandLineParser>
#include <QString>
#include <optional>

namespace nimbra {

// One station command's line: its options besides the ones every command takes
// (--data-folder, --simulate, --station, --help), read with Qt's parser.
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
    std::string station() const { return m_parser.value(m_station).toStdString(); }
    QString dataFolder(const HeadlessEnvironment& env) const;
    const QString& verb() const { return m_verb; }

    int badUsage(const QString& reason, HeadlessEnvironment& env) const;

private:
    QString m_verb;
    QString m_synopsis;
    QString m_description;
    QCommandLineParser m_parser;
    QCommandLineOption m_dataFolder{QStringLiteral("data-folder"),
                                    QStringLiteral("The data folder (default: the program's own)."),
                                    QStringLiteral("DIR")};
    QCommandLineOption m_simulate{QStringLiteral("simulate"),
                                  QStringLiteral("Talk to the built-in station emulator.")};
    QCommandLineOption m_station{QStringLiteral("station"),
                                 QStringLiteral("Use the station of this id (see nimbractl "
                                                "stations); with --simulate, the emulated "
                                                "station's id."),
                                 QStringLiteral("ID")};
    QCommandLineOption m_help{{QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("Show this help.")};
};

// A line on err, "nimbractl: text"; returns 1 for `return Fail(...)`.
int Fail(HeadlessEnvironment& env, const QString& text);
void PrintLine(std::FILE* file, const QString& text);

// A whole number operand in [low, high], or empty.
std::optional<int> WholeNumber(const QString& text, int low, int high);

// What the command line chose: emulator or not, which station, the data folder.
StationChoice ChoiceOf(const CommandParser& line, const HeadlessEnvironment& env);

// The station for one command: a session over the chosen transport that holds the station
// for as long as it is open, named to other programs as "nimbractl VERB".
class StationAccess
{
public:
    StationAccess(HeadlessEnvironment& env, const CommandParser& line);
    // Opens the station; says why not on err, and which one it took when there was a choice.
    bool open();
    StationSession& session() { return m_session; }

private:
    HeadlessEnvironment& m_env;
    const StationHolds m_holds;
    StationSession m_session; // after the holds' folder it takes its hold in
};

} // namespace nimbra
