// Runs that write a farm file take turns through a lock file beside the file
// itself (the target of a symbolic link), so that every path to the farm meets
// the same lock. A lock whose process has ended is taken over; one left by a
// run on another host is named with that host and its age.
#ifndef KXFARMLOCK_H
#define KXFARMLOCK_H

#include <QtCore/QLockFile>
#include <QtCore/QString>

namespace kx::host {

class FarmLock
{
public:
    // Holds the lock until destroyed. Throws Error (status 1) when another run keeps it
    // longer than timeoutSeconds or it cannot be made. With breakLock, a lock that no
    // running process holds (one left by a run that ended on another host) is removed first.
    FarmLock(const QString &farmPath, const QString &lockPath, int timeoutSeconds, bool breakLock);

private:
    QLockFile m_lock;
};

} // namespace kx::host

#endif // KXFARMLOCK_H
