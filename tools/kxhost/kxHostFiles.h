// What kxhost needs to know of a file beyond what Qt tells: which file a path
// names (device and inode, so links and other spellings are seen through),
// what kind of file it is, the current folder, and the owner a save keeps.
// The system calls live in kxHostFiles_posix.cpp and kxHostFiles_windows.cpp.
#ifndef KXHOSTFILES_H
#define KXHOSTFILES_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace kx::host {

enum class FileKind { Missing, Regular, Folder, Other };

struct FileIdentity
{
    FileKind kind = FileKind::Missing;
    QString kindName; // "a FIFO", "a device", ... for a kind that is no regular file or folder
    quint64 device = 0;
    quint64 inode = 0;
    quint64 linkCount = 0;
    // POSIX only: what a save gives the new file.
    quint32 owner = 0;
    quint32 group = 0;
    quint32 mode = 0;

    bool exists() const noexcept { return kind != FileKind::Missing; }
    bool isSameFileAs(const FileIdentity &other) const noexcept
    {
        return exists() && other.exists() && device == other.device && inode == other.inode;
    }
};

// The file a path names, symbolic links followed; Missing when there is none.
FileIdentity identifyFile(const QString &path);

// Throws Error (status 2) unless path names a regular file: "no such file", "is a folder", "is a FIFO".
void requireRegularFile(const QString &path);

// The bytes of an input file. Anything but a regular file (a folder, a FIFO, a
// device) is refused before it is opened, and the open never waits; throws
// Error: status 2 for a missing file, another kind or one above maxBytes,
// status 1 when it cannot be read.
QByteArray readInputFile(const QString &path, qint64 maxBytes);

// The current folder, absolute and checked to be the folder the process is in;
// throws Error (status 1) where it cannot be had (a path too long, a folder removed).
QString currentFolder();

// Gives the open file `handle` (a save's new file) the owner, group and mode of
// `original`; throws Error (status 1) naming filePath where the system refuses.
void keepOwnership(int handle, const FileIdentity &original, const QString &filePath);

} // namespace kx::host

#endif // KXHOSTFILES_H
