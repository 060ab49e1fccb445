// Pages a test owns and can take away, so that a read past what it was given
// faults; on POSIX systems a file mapping it can also cut short.
#ifndef PAGES_H
#define PAGES_H

#include <cstddef>

#if defined(_WIN32)
#  include <windows.h>
inline const std::size_t kPageSize = 4096; // on every Windows the module is built for
#else
#  include <sys/mman.h>
#  include <unistd.h>
inline const std::size_t kPageSize = std::size_t(sysconf(_SC_PAGESIZE));
#endif

struct Pages
{
    enum Access { NoAccess, ReadOnly };
    explicit Pages(std::size_t size);
    ~Pages();
    Pages(const Pages &) = delete;
    unsigned char *bytes() const noexcept { return data; }
    void protectAll(Access access = NoAccess) const { protect(data, size, access); }
    void protectPageOf(std::size_t offset) const { protect(data + offset / kPageSize * kPageSize, kPageSize); }
    // Reading from the page holding offset on raises SIGBUS: the file ends before it.
    void cutFileAt(std::size_t offset) const;
    static void protect(unsigned char *from, std::size_t bytes, Access access = NoAccess);

    const std::size_t size;
    int file = -1;
    unsigned char *data = nullptr;
};

#if defined(_WIN32)
inline Pages::Pages(std::size_t bytes)
    : size(bytes), data(static_cast<unsigned char *>(VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE)))
{
}
inline Pages::~Pages() { VirtualFree(data, 0, MEM_RELEASE); }
inline void Pages::protect(unsigned char *from, std::size_t bytes, Access access)
{
    DWORD old = 0;
    VirtualProtect(from, bytes, access == NoAccess ? PAGE_NOACCESS : PAGE_READONLY, &old);
}
#else
inline Pages::Pages(std::size_t bytes)
    : size((bytes + kPageSize - 1) / kPageSize * kPageSize), file(memfd_create("pages", 0))
{
    if (ftruncate(file, off_t(size)) == 0)
        data = static_cast<unsigned char *>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0));
}
inline Pages::~Pages() { munmap(data, size), close(file); }
inline void Pages::protect(unsigned char *from, std::size_t bytes, Access access)
{
    mprotect(from, bytes, access == NoAccess ? PROT_NONE : PROT_READ);
}
inline void Pages::cutFileAt(std::size_t offset) const { (void)!ftruncate(file, off_t(offset / kPageSize * kPageSize)); }
#endif

#endif // PAGES_H
