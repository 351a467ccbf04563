#include "datafolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace nimbra {

namespace {

constexpr QFileDevice::Permissions OwnerWritable = QFileDevice::WriteOwner | QFileDevice::WriteUser;

void MakeWritable(const QString& path)
{
    if (QFileInfo::exists(path))
        QFile::setPermissions(path, QFile::permissions(path) | OwnerWritable);
}

// QFile::copy refuses an existing target and writes through a temporary file, so an
// interrupted copy never leaves half a database behind.
bool CopyIfAbsent(const QString& source, const QString& target)
{
    return !QFileInfo::exists(target) && QFile::copy(source, target);
}

} // namespace

QString DefaultDataFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/Users/Public/KV7100");
#else
    return QDir::homePath() + QStringLiteral("/.local/share/KV7100");
#endif
}

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString TemplateFolder(const QString& programFolder)
{
    const QString installed =
        QDir::cleanPath(programFolder + u'/' + QStringLiteral(NIMBRA_DATA_RELATIVE));
    return QFileInfo(installed).isDir() ? installed : programFolder;
}

void SetUpDataFolder(const QString& dataFolder, const QString& templateFolder)
{
    QDir().mkpath(dataFolder);
    // A template installed read-only would otherwise give a database that no import can write.
    if (CopyIfAbsent(DatabasePath(templateFolder), DatabasePath(dataFolder)))
        MakeWritable(DatabasePath(dataFolder));
    CopyIfAbsent(SettingsPath(templateFolder), SettingsPath(dataFolder));
    MakeWritable(SettingsPath(dataFolder));
}

QString DataFolderProblem(const QString& dataFolder)
{
    if (!QFileInfo(dataFolder).isDir())
        return QStringLiteral("cannot create the data folder %1").arg(dataFolder);
    // A trial file tells what permission bits cannot: read-only mounts, ACLs.
    QTemporaryFile probe(QDir(dataFolder).filePath(QStringLiteral(".nimbra-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("cannot write to the data folder %1: %2")
            .arg(dataFolder, probe.errorString());
    return {};
}

} // namespace nimbra
