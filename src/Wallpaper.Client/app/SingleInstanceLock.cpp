#include "app/SingleInstanceLock.h"

#include <QDir>
#include <QStandardPaths>

namespace lumivra {

QString SingleInstanceLock::defaultPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/lumivra.lock");
}

SingleInstanceLock::SingleInstanceLock(const QString &path) : m_lock(path) {
    // A lock is stale only when its owner is gone, never because the program has been running for long.
    m_lock.setStaleLockTime(0);
}

bool SingleInstanceLock::tryAcquire() {
    return m_lock.tryLock(0);
}

bool SingleInstanceLock::taken() {
    if (!tryAcquire())
        return true;
    m_lock.unlock();
    return false;
}

} // namespace lumivra
