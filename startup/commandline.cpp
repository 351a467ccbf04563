#include "commandline.h"

#include "datafolder.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

namespace nimbra {

namespace {

constexpr auto Usage =
    "Usage: nimbra [--data-folder DIR] [--simulate] [--station ID] [--trace FILE] [--help] "
    "[--version]\n";
constexpr auto Options =
    "\nCompanion for the USB thermo-hygrometer station.\n\n"
    "  --data-folder DIR  keep the database, Main.ini and fetched logs in DIR\n"
    "  --simulate         run against the built-in station emulator\n"
    "  --station ID       use the station of this id (nimbractl stations lists them)\n"
    "  --trace FILE       write every report to and from the station into FILE\n"
    "  -h, --help         show this help and end\n"
    "  -v, --version      show the version and end\n";

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& version)
{
    const QCommandLineOption dataFolder(QStringLiteral("data-folder"),
                                        QStringLiteral("Keep database and settings in DIR."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run against the built-in station emulator."));
    const QCommandLineOption station(QStringLiteral("station"),
                                     QStringLiteral("Use the station of this id."),
                                     QStringLiteral("ID"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Write every report into FILE."),
                                   QStringLiteral("FILE"));
    QCommandLineParser parser;
    parser.addOption(dataFolder);
    parser.addOption(simulate);
    parser.addOption(station);
    parser.addOption(trace);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption showVersion = parser.addVersionOption();
    // Parsing goes on past an error, so --help is seen whatever else the line holds.
    const bool understood = parser.parse(arguments);

    CommandLine command;
    if (parser.isSet(help) || parser.isSet(showVersion)) {
        command.start = false;
        command.output = parser.isSet(help)
                             ? QString::fromLatin1(Usage) + QString::fromLatin1(Options)
                             : QStringLiteral("nimbra %1\n").arg(version);
        return command;
    }
    QString error = parser.errorText();
    if (understood && !parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
    if (!error.isEmpty()) {
        command.start = false;
        command.exitStatus = UsageExitStatus;
        command.toStandardError = true;
        command.output = QStringLiteral("nimbra: %1\n%2").arg(error, QString::fromLatin1(Usage));
        return command;
    }
    const QString folder = parser.value(dataFolder);
    command.options.dataFolder =
        folder.isEmpty() ? DefaultDataFolder() : QFileInfo(folder).absoluteFilePath();
    command.options.simulate = parser.isSet(simulate);
    command.options.station = parser.value(station);
    if (parser.isSet(trace))
        command.options.traceFile = QFileInfo(parser.value(trace)).absoluteFilePath();
    return command;
}

void PrintCommandLineOutput(const CommandLine& command)
{
    std::FILE* stream = command.toStandardError ? stderr : stdout;
    std::fputs(command.output.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace nimbra
