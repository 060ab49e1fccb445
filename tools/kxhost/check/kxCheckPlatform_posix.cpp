// The conformance check's platform part on Linux and other ELF systems.
#include "kxCheckPlatform.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/mman.h>
#include <unistd.h>

// Present in sanitized builds only.
extern "C" __attribute__((weak)) void __lsan_disable();
extern "C" __attribute__((weak)) void __lsan_enable();
extern "C" __attribute__((weak)) std::size_t __sanitizer_get_current_allocated_bytes();

namespace kx::check {

LeakCheckPause::LeakCheckPause() noexcept
{
    if (__lsan_disable)
        __lsan_disable();
}

LeakCheckPause::~LeakCheckPause()
{
    if (__lsan_enable)
        __lsan_enable();
}

std::size_t pageSize() noexcept
{
    static const std::size_t size = std::size_t(sysconf(_SC_PAGESIZE));
    return size;
}

unsigned char *reservePages(std::size_t bytes) noexcept
{
    // Untouched pages cost nothing: a client table of 161 MB is mostly never read.
    void *pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return pages == MAP_FAILED ? nullptr : static_cast<unsigned char *>(pages);
}

bool setPagesAccessible(unsigned char *pages, std::size_t bytes, bool accessible) noexcept
{
    return mprotect(pages, bytes, accessible ? PROT_READ | PROT_WRITE : PROT_NONE) == 0;
}

void releasePages(unsigned char *pages, std::size_t bytes) noexcept
{
    munmap(pages, bytes);
}

bool isMemoryCountedBySanitizer()
{
    return __sanitizer_get_current_allocated_bytes != nullptr;
}

qint64 processMemoryBytes()
{
    // A sanitizer keeps freed memory in quarantine and maps shadow for every
    // library loaded: its allocator's count of live bytes is what a leak raises.
    if (__sanitizer_get_current_allocated_bytes)
        return qint64(__sanitizer_get_current_allocated_bytes());
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * qint64(pageSize()) : -1;
}

bool isLibraryMapped(const QString &path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    const QByteArray canonical = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    if (canonical.isEmpty() || !maps.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        if (line.endsWith(' ' + canonical))
            return true;
    }
    return false;
}

ExportedNames exportedNames(const QString &path)
{
    ExportedNames names;
    if (elf_version(EV_CURRENT) == EV_NONE) {
        names.error = QStringLiteral("the ELF library cannot be used");
        return names;
    }
    const int file = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        names.error = QStringLiteral("cannot be opened");
        return names;
    }
    Elf *elf = elf_begin(file, ELF_C_READ, nullptr);
    bool found = false;
    for (Elf_Scn *section = nullptr; elf && (section = elf_nextscn(elf, section));) {
        GElf_Shdr header;
        if (!gelf_getshdr(section, &header) || header.sh_type != SHT_DYNSYM || header.sh_entsize == 0)
            continue;
        found = true;
        Elf_Data *data = elf_getdata(section, nullptr);
        const std::size_t count = data ? data->d_size / header.sh_entsize : 0;
        for (std::size_t i = 1; i < count; ++i) {
            GElf_Sym symbol;
            if (!gelf_getsym(data, int(i), &symbol) || symbol.st_shndx == SHN_UNDEF)
                continue;
            const int binding = GELF_ST_BIND(symbol.st_info);
            const int visibility = GELF_ST_VISIBILITY(symbol.st_other);
            if ((binding != STB_GLOBAL && binding != STB_WEAK && binding != STB_GNU_UNIQUE)
                || (visibility != STV_DEFAULT && visibility != STV_PROTECTED))
                continue;
            const char *name = elf_strptr(elf, header.sh_link, symbol.st_name);
            if (!name || !*name)
                continue;
            const QString text = QString::fromLatin1(name);
            const int type = GELF_ST_TYPE(symbol.st_info);
            if (isToolchainSymbol(text))
                continue;
            if (type == STT_FUNC || type == STT_GNU_IFUNC)
                names.functions.append(text);
            else if (type == STT_OBJECT || type == STT_TLS || type == STT_COMMON)
                names.data.append(text);
        }
    }
    if (!elf || elf_kind(elf) != ELF_K_ELF)
        names.error = QStringLiteral("not an ELF file");
    else if (!found)
        names.error = QStringLiteral("has no dynamic symbol table");
    elf_end(elf);
    close(file);
    return names;
}

} // namespace kx::check
