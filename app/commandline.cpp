#include "commandline.h"

#include "datafolder.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace nimbra {

StartOptions ParseCommandLine(const QStringList& arguments)
{
    const QCommandLineOption dataFolder(QStringLiteral("data-folder"),
                                        QStringLiteral("Keep database and settings in DIR."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run against the built-in station emulator."));
    QCommandLineParser parser;
    parser.addOption(dataFolder);
    parser.addOption(simulate);
    // A parse error still leaves every option that was understood.
    parser.parse(arguments);

    StartOptions options;
    const QString folder = parser.value(dataFolder);
    options.dataFolder =
        folder.isEmpty() ? DefaultDataFolder() : QFileInfo(folder).absoluteFilePath();
    options.simulate = parser.isSet(simulate);
    return options;
}

} // namespace nimbra
