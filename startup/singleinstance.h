#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace nimbra {

// The user's own folder for the lock, the same whatever the environment holds: runtimeRoot/UID
// when the system made it for this user (theirs, mode 0700), else tempRoot/nimbra-UID, made
// here with mode 0700. A folder that is not a directory of this user's that only they may
// enter is refused, so no other user can put a lock in the way or take one over: empty then.
#ifdef Q_OS_UNIX
QString PrivateLockFolder(const QString& runtimeRoot, const QString& tempRoot, uint uid);
#endif
// PrivateLockFolder over the system's folders for the user running the program.
QString DefaultLockFolder();

// The lock's name for a copy working on dataFolder: "kv7100" on the default data folder, a
// name of its own on any other (--data-folder), so a copy on a folder of its own, such as a
// test's or a portable one, is not taken for the user's copy.
QString LockName(const QString& dataFolder);

// The lock that keeps a second copy of the program from starting. A lock left behind by a copy
// that died is taken over.
class SingleInstanceLock
{
public:
    // An empty folder: no lock can be taken (see acquire).
    SingleInstanceLock(const QString& folder, const QString& name);

    // False only when a running copy holds the lock. A lock that cannot be created at all
    // (no usable folder, no permission) lets the start go on as the only copy.
    bool acquire();
    bool held() const { return m_lock && m_lock->isLocked(); }
    // Lets a new copy start while this one is still running (the language restart).
    void release();
    // The lock file; empty without a folder.
    QString fileName() const;

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace nimbra
