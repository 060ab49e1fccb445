// The POSIX side of kxHostFiles.h.
#include "kxHostFiles.h"

#include "kxHostError.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kx::host {

namespace {
// Qt 5 counts bytes in int, Qt 6 in qsizetype.
using ByteCount = decltype(QByteArray().size());

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FileIdentity identityOf(const struct stat &status)
{
    FileIdentity identity;
    if (S_ISREG(status.st_mode))
        identity.kind = FileKind::Regular;
    else if (S_ISDIR(status.st_mode))
        identity.kind = FileKind::Folder;
    else
        identity.kind = FileKind::Other;
    if (S_ISFIFO(status.st_mode))
        identity.kindName = QStringLiteral("a FIFO");
    else if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        identity.kindName = QStringLiteral("a device");
    else if (S_ISSOCK(status.st_mode))
        identity.kindName = QStringLiteral("a socket");
    else
        identity.kindName = QStringLiteral("not a regular file");
    identity.device = quint64(status.st_dev);
    identity.inode = quint64(status.st_ino);
    identity.linkCount = quint64(status.st_nlink);
    identity.owner = quint32(status.st_uid);
    identity.group = quint32(status.st_gid);
    identity.mode = quint32(status.st_mode & 07777);
    return identity;
}

} // namespace

FileIdentity identifyFile(const QString &path)
{
    struct stat status;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return FileIdentity();
    return identityOf(status);
}

QByteArray readInputFile(const QString &path, qint64 maxBytes)
{
    // Checked before the open: opening a device can act on it, opening a FIFO waits for a writer.
    requireRegularFile(path);
    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw Error::badInput(path, {}, QStringLiteral("no such file"));
        throw Error::failure(path, QStringLiteral("cannot be read: %1").arg(systemError(error)));
    }
    struct Closer
    {
        int handle;
        ~Closer() { ::close(handle); }
    } closer{handle};
    struct stat status;
    if (::fstat(handle, &status) != 0)
        throw Error::failure(path, QStringLiteral("cannot be read: %1").arg(systemError(errno)));
    // The name may have been given to another file between the check and the open.
    const FileIdentity opened = identityOf(status);
    if (opened.kind != FileKind::Regular)
        throw Error::badInput(path, {}, QStringLiteral("is %1, not a regular file").arg(opened.kindName));
    const auto tooLarge = [&](qint64 size) {
        return Error::badInput(path, {}, QStringLiteral("%1 bytes, more than the %2 bytes an input file may have")
                                             .arg(size)
                                             .arg(maxBytes));
    };
    if (qint64(status.st_size) > maxBytes)
        throw tooLarge(qint64(status.st_size));

    QByteArray bytes;
    bytes.resize(ByteCount(status.st_size) + 1);
    qint64 done = 0;
    for (;;) {
        if (done == qint64(bytes.size())) {
            if (done > maxBytes)
                throw tooLarge(done);
            bytes.resize(ByteCount(std::min<qint64>(done * 2 + 4096, maxBytes + 1)));
        }
        const ssize_t taken = ::read(handle, bytes.data() + done, std::size_t(bytes.size() - done));
        if (taken < 0 && errno == EINTR)
            continue;
        if (taken < 0)
            throw Error::failure(path, QStringLiteral("cannot be read: %1").arg(systemError(errno)));
        if (taken == 0)
            break;
        done += taken;
    }
    if (done > maxBytes)
        throw tooLarge(done);
    bytes.resize(ByteCount(done));
    return bytes;
}

QString currentFolder()
{
    // Qt answers an empty path where the system cannot give one; relative paths would then
    // resolve from the root of the file system.
    const QString path = QDir::currentPath();
    struct stat here;
    struct stat named;
    if (!path.isEmpty() && QDir::isAbsolutePath(path) && ::stat(".", &here) == 0
        && ::stat(QFile::encodeName(path).constData(), &named) == 0 && here.st_dev == named.st_dev
        && here.st_ino == named.st_ino)
        return path;
    throw Error::failure({}, QStringLiteral("the current folder cannot be found (its path is longer than the system "
                                            "takes, or it was removed); run kxhost from another folder"));
}

void keepOwnership(int handle, const FileIdentity &original, const QString &filePath)
{
    struct stat status;
    if (::fstat(handle, &status) != 0)
        throw Error::failure(filePath, QStringLiteral("cannot be written: %1").arg(systemError(errno)));
    if ((status.st_uid != original.owner || status.st_gid != original.group)
        && ::fchown(handle, uid_t(original.owner), gid_t(original.group)) != 0)
        throw Error::failure(filePath, QStringLiteral("cannot be written with its owner and group kept: %1")
                                           .arg(systemError(errno)));
    // After the owner: changing it clears the set-ID bits.
    if (::fchmod(handle, mode_t(original.mode)) != 0)
        throw Error::failure(filePath, QStringLiteral("cannot be written with its mode kept: %1").arg(systemError(errno)));
}

} // namespace kx::host
