#pragma once

#include <QDir>
#include <QLockFile>
#include <QString>

namespace nimbra {

// Where the lock lives: the user's runtime folder, so that each user who signs in may run a
// copy of their own and no other user's lock file stands in the way.
QString DefaultLockFolder();

// The lock "kv7100" that keeps a second copy of the program from starting. A lock left behind
// by a copy that died is taken over.
class SingleInstanceLock
{
public:
    explicit SingleInstanceLock(const QString& folder = DefaultLockFolder());

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
