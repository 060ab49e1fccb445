// What the conformance check needs from the operating system, one pair of
// files per platform: kxCheckPlatform_posix.cpp, kxCheckPlatform_windows.cpp.
#ifndef KXCHECKPLATFORM_H
#define KXCHECKPLATFORM_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstddef>

namespace kx::check {

std::size_t pageSize() noexcept;
// Zeroed, readable and writable pages; null when the system has none to give.
unsigned char *reservePages(std::size_t bytes) noexcept;
// Takes every access away (a read or a write then faults) or gives it back.
bool setPagesAccessible(unsigned char *pages, std::size_t bytes, bool accessible) noexcept;
void releasePages(unsigned char *pages, std::size_t bytes) noexcept;

// The process's own memory in use: resident bytes (Linux; the allocator's
// live bytes in a sanitized build), private commit (Windows; the working set
// where the system reports no commit).
qint64 processMemoryBytes();
// Whether that count is a sanitizer allocator's (a sanitized build).
bool isMemoryCountedBySanitizer();
// Whether the library file is still mapped into this process.
bool isLibraryMapped(const QString &path);

// A fault contained inside a call abandons what the call had built, by
// design: a leak checker (sanitized builds) looks away while such a call runs.
class LeakCheckPause
{
public:
    LeakCheckPause() noexcept;
    ~LeakCheckPause();
    LeakCheckPause(const LeakCheckPause &) = delete;
    LeakCheckPause &operator=(const LeakCheckPause &) = delete;
};

// The functions the library file exports by name, besides the toolchain's
// own start-up entries; `error` says why when the file cannot be read.
struct ExportedNames
{
    QStringList functions;
    QStringList data; // exported objects, not functions
    QString error;
};
ExportedNames exportedNames(const QString &path);
// The linker's start-up entries, and what a C++ compiler exports for types of
// default visibility (type information, virtual tables, guard variables).
bool isToolchainSymbol(const QString &name);

} // namespace kx::check

#endif // KXCHECKPLATFORM_H
