#include "ctlarguments.h"

#include "headless.h"
#include "oledate.h"

#include <QSet>
#include <cmath>
#include <map>

namespace nimbra {

namespace {

const QString ImportUsage = QStringLiteral(
    "nimbractl [--data-folder DIR] import FILE [--date-format YYYY-MM-DD|MM-DD-YYYY|DD-MM-YYYY]\n"
    "                 [--indoor | --outdoor]");
const QString ExportUsage =
    QStringLiteral("nimbractl [--data-folder DIR] export [--from \"YYYY-MM-DD h:mm:ss\"] "
                   "[--to \"YYYY-MM-DD h:mm:ss\"] [--output FILE]");

QString Usage()
{
    return QStringLiteral("Usage: %1\n       %2\n       %3\n       nimbractl --help | --version\n"
                          "Any command: --trace FILE writes every report to and from the "
                          "station into FILE.\n")
        .arg(ImportUsage, ExportUsage, HeadlessUsage());
}

QString ImportHelp()
{
    return QStringLiteral("Usage: %1\n\n"
                          "Imports a station log file into the record store of the data folder, "
                          "replacing the rows it holds,\nas the SD-card dialog does. A file whose "
                          "name contains IN is an indoor log.\nIts readings are kept in the "
                          "history as well (see history --help).\n\n"
                          "  --data-folder DIR  the data folder (default: the program's own)\n"
                          "  --date-format F    the station's date format: orders day and month "
                          "when both are 12 or less\n"
                          "                     (default: the order of the user's locale)\n"
                          "  --indoor, --outdoor  the kind of log, for a file whose name does "
                          "not tell it\n")
        .arg(ImportUsage);
}

QString ExportHelp()
{
    return QStringLiteral(
               "Usage: %1\n\n"
               "Writes the stored rows, in the order of their file, as CSV: "
               "Time,Temperature,Humidity,DewPoint,\nHeatIndex; an empty field where a "
               "reading has no value.\n\n"
               "  --data-folder DIR  the data folder (default: the program's own)\n"
               "  --from, --to       only rows from and to these times, both included; a date "
               "alone is the start\n"
               "                     or the end of that day\n"
               "  --output FILE      write to FILE instead of standard output\n"
               "A row whose time could not be read has an empty Time field.\n")
        .arg(ExportUsage);
}

CtlCommand Bad(const QString& reason)
{
    CtlCommand command;
    command.kind = CtlCommand::Kind::BadUsage;
    command.text = QStringLiteral("nimbractl: %1\n%2").arg(reason, Usage());
    return command;
}

CtlCommand Print(const QString& text)
{
    CtlCommand command;
    command.kind = CtlCommand::Kind::Print;
    command.text = text;
    return command;
}

const QSet<QString> ValueOptions = {QStringLiteral("data-folder"), QStringLiteral("date-format"),
                                    QStringLiteral("from"), QStringLiteral("to"),
                                    QStringLiteral("output")};

const QSet<QString> FlagOptions = {QStringLiteral("indoor"), QStringLiteral("outdoor")};

struct Scanned
{
    std::map<QString, QString> values;
    QSet<QString> flags;
    QStringList positional;
    bool help = false;
    bool version = false;
    QString error;
};

Scanned Scan(const QStringList& arguments)
{
    Scanned scanned;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            scanned.help = true;
        } else if (argument == QStringLiteral("--version")) {
            scanned.version = true;
        } else if (argument.startsWith(QStringLiteral("--"))) {
            const qsizetype equals = argument.indexOf(u'=');
            const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
            if (FlagOptions.contains(name) && equals < 0) {
                scanned.flags << name;
            } else if (!ValueOptions.contains(name)) {
                scanned.error = QStringLiteral("unknown option '%1'").arg(argument);
            } else if (equals >= 0) {
                scanned.values[name] = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                scanned.values[name] = arguments[++i];
            } else {
                scanned.error = QStringLiteral("missing value after '%1'").arg(argument);
            }
        } else if (argument.startsWith(u'-') && argument.size() > 1) {
            scanned.error = QStringLiteral("unknown option '%1'").arg(argument);
        } else {
            scanned.positional << argument;
        }
    }
    return scanned;
}

std::optional<double> Time(const Scanned& scanned, const QString& name, QString& error)
{
    const auto found = scanned.values.find(name);
    if (found == scanned.values.end())
        return std::nullopt;
    const auto time = ParseTimeBound(found->second, name == QLatin1String("to"));
    if (!time)
        error = QStringLiteral("--%1 takes a time as \"YYYY-MM-DD h:mm:ss\", not '%2'")
                    .arg(name, found->second);
    return time;
}

// The options a command accepts; an empty text when every given option is one of them.
QString OnlyOptions(const Scanned& scanned, const QString& verb,
                    std::initializer_list<const char*> names)
{
    // Not a structured binding: clang 14 cannot capture one in the lambda.
    for (const auto& option : scanned.values) {
        const QString& name = option.first;
        if (std::none_of(names.begin(), names.end(),
                         [&](const char* n) { return name == QLatin1String(n); }))
            return QStringLiteral("%1 takes no --%2").arg(verb, name);
    }
    return {};
}

QString OptionValue(const Scanned& scanned, const char* name)
{
    const auto found = scanned.values.find(QLatin1String(name));
    return found == scanned.values.end() ? QString() : found->second;
}

// Fills command from the import's arguments; the text of the first fault found, if any.
QString ImportArguments(const Scanned& scanned, CtlCommand& command)
{
    command.kind = CtlCommand::Kind::Import;
    QString error = OnlyOptions(scanned, QStringLiteral("import"), {"data-folder", "date-format"});
    if (scanned.flags.size() > 1)
        error = QStringLiteral("import takes --indoor or --outdoor, not both");
    else if (!scanned.flags.isEmpty())
        command.indoor = scanned.flags.contains(QStringLiteral("indoor"));
    if (scanned.positional.size() != 2)
        error = QStringLiteral("import takes one FILE");
    command.file = scanned.positional.value(1);
    const QString format = OptionValue(scanned, "date-format");
    command.order = DateOrderFromName(format.toStdString());
    if (!format.isEmpty() && command.order == DateOrder::Unknown)
        error = QStringLiteral("unknown date format '%1'").arg(format);
    return error;
}

QString ExportArguments(const Scanned& scanned, CtlCommand& command)
{
    command.kind = CtlCommand::Kind::Export;
    QString error =
        OnlyOptions(scanned, QStringLiteral("export"), {"data-folder", "from", "to", "output"});
    if (!scanned.flags.isEmpty())
        error = QStringLiteral("export takes no --%1").arg(*scanned.flags.begin());
    if (scanned.positional.size() != 1)
        error = QStringLiteral("export takes no FILE; use --output");
    command.file = OptionValue(scanned, "output");
    command.from = Time(scanned, QStringLiteral("from"), error);
    command.to = Time(scanned, QStringLiteral("to"), error);
    if (error.isEmpty() && command.from && command.to && *command.from > *command.to)
        error = QStringLiteral("--from is later than --to");
    return error;
}

} // namespace

std::optional<double> ParseTimeBound(const QString& text, bool end)
{
    if (const std::optional<double> time = ParseRangeTime(text.toStdString()))
        return time;
    const std::optional<double> day =
        ParseRangeTime((text + QStringLiteral(" 0:00:00")).toStdString());
    if (!day || !end)
        return day;
    return std::nextafter(*day + 1.0, *day); // the last moment of the day, not the next midnight
}

CtlCommand ParseCtlArguments(const QStringList& arguments, const QString& version)
{
    const Scanned scanned = Scan(arguments);
    const QString verb = scanned.positional.value(0);
    if (scanned.help) {
        if (verb == QStringLiteral("import"))
            return Print(ImportHelp());
        if (verb == QStringLiteral("export"))
            return Print(ExportHelp());
        return Print(Usage());
    }
    if (scanned.version)
        return Print(QStringLiteral("nimbractl %1\n").arg(version));
    if (!scanned.error.isEmpty())
        return Bad(scanned.error);

    CtlCommand command;
    command.dataFolder = OptionValue(scanned, "data-folder");
    QString error;
    if (verb == QStringLiteral("import"))
        error = ImportArguments(scanned, command);
    else if (verb == QStringLiteral("export"))
        error = ExportArguments(scanned, command);
    else
        error = verb.isEmpty() ? QStringLiteral("no command given")
                               : QStringLiteral("unknown command '%1'").arg(verb);
    return error.isEmpty() ? command : Bad(error);
}

std::optional<QString> TakeTraceOption(QStringList& arguments, QString& error)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QStringLiteral("--trace="))) {
            const QString file = argument.mid(8);
            arguments.remove(i);
            return file;
        }
        if (argument != QStringLiteral("--trace"))
            continue;
        if (i + 1 == arguments.size()) {
            error = QStringLiteral("nimbractl: missing value after '--trace'\n") + Usage();
            return std::nullopt;
        }
        const QString file = arguments[i + 1];
        arguments.remove(i, 2);
        return file;
    }
    return QString();
}

} // namespace nimbra
