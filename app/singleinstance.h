#pragma once

#include <QDir>
#include <QLockFile>
#include <QString>

namespace nimbra {

// The lock "kv7100" that keeps a second copy of the program from starting. A lock left behind
// by a copy that died is taken over.
class SingleInstanceLock
{
public:
    explicit SingleInstanceLock(const QString& folder = QDir::tempPath());

    // False only when a running copy holds the lock. A lock that cannot be created at all
    // (no such folder, no permission) lets the start go on as the only copy.
    bool acquire();
    bool held() const { return m_lock.isLocked(); }
    // Lets a new copy start while this one is still running (the language restart).
    void release() { m_lock.unlock(); }

private:
    QLockFile m_lock;
};

} // namespace nimbra
