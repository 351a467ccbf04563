#include "restart.h"

#include <QProcess>

namespace nimbra {

bool StartNewCopy(SingleInstanceLock& lock, const QString& program, const QStringList& arguments)
{
    lock.release();
    if (QProcess::startDetached(program, arguments))
        return true;
    lock.acquire();
    return false;
}

} // namespace nimbra
