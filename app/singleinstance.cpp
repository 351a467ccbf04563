#include "singleinstance.h"

#include <QStandardPaths>

namespace nimbra {

QString DefaultLockFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

SingleInstanceLock::SingleInstanceLock(const QString& folder)
    : m_lock(QDir(folder).filePath(QStringLiteral("kv7100")))
{
    // The lock is held for the life of the process; by default QLockFile would call a lock
    // older than 30 s stale even while its owner runs.
    m_lock.setStaleLockTime(0);
}

bool SingleInstanceLock::acquire()
{
    return m_lock.tryLock(0) || m_lock.error() != QLockFile::LockFailedError;
}

} // namespace nimbra
