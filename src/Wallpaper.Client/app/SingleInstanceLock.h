#pragma once

#include <QLockFile>
#include <QString>

namespace lumivra {

// Keeps a second copy of the program in the same user session from running beside the first, so two
// copies never race on the cache and the desktop picture. The lock is held for the life of the object;
// a lock left behind by a copy that crashed is taken over.
class SingleInstanceLock {
public:
    // "lumivra.lock" in the user's runtime folder, or in the temporary folder where there is none.
    static QString defaultPath();

    explicit SingleInstanceLock(const QString &path = defaultPath());

    // False when another live process holds the lock.
    bool tryAcquire();

    // Whether a live process holds the lock now; a free lock is taken and let go at once to tell.
    bool taken();

private:
    QLockFile m_lock;
};

} // namespace lumivra
