#include "datapaths.h"

#include <QDir>

namespace nimbra {

QString DatabasePath(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("7100.db"));
}

QString SettingsPath(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("Main.ini"));
}

std::filesystem::path SimulatedStationFile(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("SimulatedStation.txt")).toStdU16String();
}

} // namespace nimbra
