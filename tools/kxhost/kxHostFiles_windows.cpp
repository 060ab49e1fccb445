// The Windows side of kxHostFiles.h: a file's identity is its volume and file
// index; there are no FIFOs to wait on, and a save keeps what the folder gives.
#include "kxHostFiles.h"

#include "kxHostError.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

#include <windows.h>

namespace kx::host {

FileIdentity identifyFile(const QString &path)
{
    FileIdentity identity;
    if (path.isEmpty())
        return identity;
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // No access asked for: only the identity is read; folders need the backup flag to be opened.
    const HANDLE handle = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = ::GetFileInformationByHandle(handle, &information) != 0;
    const DWORD type = ::GetFileType(handle);
    ::CloseHandle(handle);
    if (!known)
        return identity;
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        identity.kind = FileKind::Folder;
    else if (type == FILE_TYPE_DISK)
        identity.kind = FileKind::Regular;
    else
        identity.kind = FileKind::Other;
    identity.kindName = QStringLiteral("not a regular file");
    identity.device = information.dwVolumeSerialNumber;
    identity.inode = (quint64(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    identity.linkCount = information.nNumberOfLinks;
    return identity;
}

QByteArray readInputFile(const QString &path, qint64 maxBytes)
{
    requireRegularFile(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error::failure(path, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    const QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw Error::failure(path, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    if (bytes.size() > maxBytes)
        throw Error::badInput(path, {}, QStringLiteral("more than the %1 bytes an input file may have").arg(maxBytes));
    return bytes;
}

QString currentFolder()
{
    const QString path = QDir::currentPath();
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || !QDir(path).exists())
        throw Error::failure({}, QStringLiteral("the current folder cannot be found (its path is longer than the "
                                                "system takes, or it was removed); run kxhost from another folder"));
    return path;
}

void keepOwnership(int, const FileIdentity &, const QString &)
{
    // A new file takes the folder's inherited access rules, as every Windows program's save does.
}

} // namespace kx::host
