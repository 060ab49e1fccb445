#include "kxFarmLock.h"

#include "kxHostError.h"

#include <QtCore/QDateTime>
#include <QtCore/QFileInfo>
#include <QtCore/QSysInfo>

namespace kx::host {

namespace {
QString ageOf(const QString &path)
{
    const qint64 seconds = QFileInfo(path).lastModified().secsTo(QDateTime::currentDateTime());
    if (seconds < 60)
        return QStringLiteral("less than a minute ago");
    if (seconds < 2 * 3600)
        return QStringLiteral("%1 minutes ago").arg(seconds / 60);
    if (seconds < 2 * 86400)
        return QStringLiteral("%1 hours ago").arg(seconds / 3600);
    return QStringLiteral("%1 days ago").arg(seconds / 86400);
}
} // namespace

FarmLock::FarmLock(const QString &farmPath, const QString &lockPath, int timeoutSeconds, bool breakLock)
    : m_lock(lockPath)
{
    // A long run keeps its lock; only a lock whose process is gone is taken over.
    m_lock.setStaleLockTime(0);
    // The removal itself refuses a lock file that a live process on this host still holds.
    if (breakLock && !m_lock.tryLock(0))
        m_lock.removeStaleLockFile();
    if (m_lock.isLocked() || m_lock.tryLock(timeoutSeconds * 1000))
        return;
    if (m_lock.error() != QLockFile::LockFailedError)
        throw Error::failure(farmPath, QStringLiteral("the lock file %1 cannot be created%2")
                                           .arg(lockPath, m_lock.error() == QLockFile::PermissionError
                                                              ? QStringLiteral(": permission denied")
                                                              : QString()));
    qint64 process = 0;
    QString host;
    QString program;
    if (m_lock.getLockInfo(&process, &host, &program) && !host.isEmpty() && host != QSysInfo::machineHostName())
        throw Error::failure(farmPath, QStringLiteral("the lock file %1 was left by process %2 on host %3, %4; "
                                                      "if no kxhost run is going on there, run again with --break-lock")
                                           .arg(lockPath)
                                           .arg(process)
                                           .arg(host, ageOf(lockPath)));
    throw Error::failure(farmPath, QStringLiteral("another kxhost run is using this farm file (lock file %1); gave up "
                                                  "after %2 seconds (see --lock-timeout)")
                                       .arg(lockPath)
                                       .arg(timeoutSeconds));
}

} // namespace kx::host
