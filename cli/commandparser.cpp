#include "commandparser.h"

#include <QDir>
#include <QFileInfo>

namespace nimbra {

CommandParser::CommandParser(QString verb, QString synopsis, QString description)
    : m_verb(std::move(verb)), m_synopsis(std::move(synopsis)),
      m_description(std::move(description))
{
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption(m_dataFolder);
    m_parser.addOption(m_simulate);
    m_parser.addOption(m_station);
    m_parser.addOption(m_help);
}

std::optional<int> CommandParser::parse(const QStringList& arguments, HeadlessEnvironment& env)
{
    if (!m_parser.parse(arguments))
        return badUsage(m_parser.errorText(), env);
    if (m_parser.isSet(m_help)) {
        // Qt's own help text names the executable and an empty positional list; ours names the
        // command and its operands.
        QString options = m_parser.helpText();
        options = options.mid(options.indexOf(QStringLiteral("Options:")));
        PrintLine(env.out, QStringLiteral("Usage: nimbractl %1 %2\n\n%3\n\n%4")
                               .arg(m_verb, m_synopsis, m_description, options.trimmed()));
        return 0;
    }
    return std::nullopt;
}

QString CommandParser::dataFolder(const HeadlessEnvironment& env) const
{
    const QString given = m_parser.value(m_dataFolder);
    return given.isEmpty() ? env.defaultDataFolder : QFileInfo(given).absoluteFilePath();
}

int CommandParser::badUsage(const QString& reason, HeadlessEnvironment& env) const
{
    PrintLine(env.err, QStringLiteral("nimbractl %1: %2\nUsage: nimbractl %1 %3 (see --help)")
                           .arg(m_verb, reason, m_synopsis));
    return 2;
}

void PrintLine(std::FILE* file, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file);
    std::fputc('\n', file);
    std::fflush(file);
}

int Fail(HeadlessEnvironment& env, const QString& text)
{
    PrintLine(env.err, QStringLiteral("nimbractl: ") + text);
    return 1;
}

std::optional<int> WholeNumber(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

StationChoice ChoiceOf(const CommandParser& line, const HeadlessEnvironment& env)
{
    return {line.simulate(), line.station(), line.dataFolder(env)};
}

StationAccess::StationAccess(HeadlessEnvironment& env, const CommandParser& line)
    : m_env(env), m_holds(line.simulate() ? env.emulatedHolds : env.machineHolds,
                          "nimbractl " + line.verb().toStdString()),
      m_session(env.transport(ChoiceOf(line, env)), env.timing, m_holds, line.station())
{
}

bool StationAccess::open()
{
    if (m_session.open() != SessionOpening::Opened) {
        Fail(m_env, m_session.problem());
        return false;
    }
    const StationSearch& search = m_session.search();
    if (search.stations > 1)
        PrintLine(m_env.err, QStringLiteral("nimbractl: using the station %1, the first free one "
                                            "of %2 (--station chooses)")
                                 .arg(QString::fromStdString(search.stationId))
                                 .arg(search.stations));
    return true;
}

} // namespace nimbra
