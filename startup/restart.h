#pragma once

#include "singleinstance.h"

#include <QString>
#include <QStringList>

namespace nimbra {

// Starts program with arguments as a new copy that outlives this process. The single-instance
// lock is let go first, so the new copy does not take itself for a second one; when the new
// copy cannot be started, the lock is taken back and this copy stays the one that runs.
bool StartNewCopy(SingleInstanceLock& lock, const QString& program, const QStringList& arguments);

} // namespace nimbra
