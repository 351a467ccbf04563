#include "singleinstance.h"

#include "datafolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QStandardPaths>
#endif

namespace nimbra {

#ifdef Q_OS_UNIX

namespace {

// lstat: a symbolic link is refused, wherever it points.
bool IsPrivateFolder(const QString& path, uint uid)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == uid && (info.st_mode & 0777) == 0700;
}

} // namespace

QString PrivateLockFolder(const QString& runtimeRoot, const QString& tempRoot, uint uid)
{
    const QString runtime = runtimeRoot + u'/' + QString::number(uid);
    if (IsPrivateFolder(runtime, uid))
        return runtime;
    // mkdir fails on a name that exists; the check below then judges what is there. The umask
    // can only take bits away from 0700.
    const QString own = tempRoot + QStringLiteral("/nimbra-") + QString::number(uid);
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return IsPrivateFolder(own, uid) ? own : QString();
}

// Fixed roots, not XDG_RUNTIME_DIR or TMPDIR: every copy of one user must find the same lock.
QString DefaultLockFolder()
{
    return PrivateLockFolder(QStringLiteral("/run/user"), QStringLiteral("/tmp"), ::getuid());
}

#else

// The temporary folder is the user's own on Windows.
QString DefaultLockFolder()
{
    return QDir::tempPath();
}

#endif

QString LockName(const QString& dataFolder)
{
    const QString folder = QDir::cleanPath(QDir(dataFolder).absolutePath());
    if (folder == QDir::cleanPath(DefaultDataFolder()))
        return QStringLiteral("kv7100");
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("kv7100-") + QString::fromLatin1(hash.toHex().left(16));
}

SingleInstanceLock::SingleInstanceLock(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return;
    m_lock = std::make_unique<QLockFile>(QDir(folder).filePath(name));
    // The lock is held for the life of the process; by default QLockFile would call a lock
    // older than 30 s stale even while its owner runs.
    m_lock->setStaleLockTime(0);
}

bool SingleInstanceLock::acquire()
{
    return !m_lock || m_lock->tryLock(0) || m_lock->error() != QLockFile::LockFailedError;
}

void SingleInstanceLock::release()
{
    if (m_lock)
        m_lock->unlock();
}

QString SingleInstanceLock::fileName() const
{
    return m_lock ? m_lock->fileName() : QString();
}

} // namespace nimbra
