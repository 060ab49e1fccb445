// The conformance check's platform part on Windows.
#include "kxCheckPlatform.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

#include <windows.h>
#include <psapi.h>

#include <cstring>

namespace kx::check {

LeakCheckPause::LeakCheckPause() noexcept = default;
LeakCheckPause::~LeakCheckPause() = default;

std::size_t pageSize() noexcept
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

unsigned char *reservePages(std::size_t bytes) noexcept
{
    return static_cast<unsigned char *>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

bool setPagesAccessible(unsigned char *pages, std::size_t bytes, bool accessible) noexcept
{
    DWORD old = 0;
    return VirtualProtect(pages, bytes, accessible ? PAGE_READWRITE : PAGE_NOACCESS, &old) != 0;
}

void releasePages(unsigned char *pages, std::size_t) noexcept
{
    VirtualFree(pages, 0, MEM_RELEASE);
}

bool isMemoryCountedBySanitizer()
{
    return false;
}

qint64 processMemoryBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                              sizeof counters))
        return -1;
    // Wine reports no private commit (it reads as 0); its working set is the resident size.
    return qint64(counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.WorkingSetSize);
}

bool isLibraryMapped(const QString &path)
{
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    return GetModuleHandleW(reinterpret_cast<const wchar_t *>(native.utf16())) != nullptr;
}

ExportedNames exportedNames(const QString &path)
{
    ExportedNames names;
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    // Loaded as the server loads it: the export table is then laid out in memory.
    HMODULE module = LoadLibraryW(reinterpret_cast<const wchar_t *>(native.utf16()));
    if (!module) {
        names.error = QStringLiteral("cannot be loaded (error %1)").arg(GetLastError());
        return names;
    }
    const auto *image = reinterpret_cast<const unsigned char *>(module);
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, image, sizeof dos);
    IMAGE_NT_HEADERS nt;
    std::memcpy(&nt, image + dos.e_lfanew, sizeof nt);
    const IMAGE_DATA_DIRECTORY directory = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto *sections = reinterpret_cast<const IMAGE_SECTION_HEADER *>(
        image + dos.e_lfanew + offsetof(IMAGE_NT_HEADERS, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader);
    const auto isCode = [&](DWORD rva) {
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            std::memcpy(&section, sections + i, sizeof section);
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize)
                return (section.Characteristics & IMAGE_SCN_MEM_EXECUTE) != 0;
        }
        return false;
    };
    if (directory.VirtualAddress != 0 && directory.Size != 0) {
        IMAGE_EXPORT_DIRECTORY exports;
        std::memcpy(&exports, image + directory.VirtualAddress, sizeof exports);
        for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
            DWORD nameRva = 0;
            WORD ordinalIndex = 0;
            DWORD functionRva = 0;
            std::memcpy(&nameRva, image + exports.AddressOfNames + 4 * i, sizeof nameRva);
            std::memcpy(&ordinalIndex, image + exports.AddressOfNameOrdinals + 2 * i, sizeof ordinalIndex);
            std::memcpy(&functionRva, image + exports.AddressOfFunctions + 4 * ordinalIndex, sizeof functionRva);
            const QString name = QString::fromLatin1(reinterpret_cast<const char *>(image + nameRva));
            // A forwarded export names another library's function.
            const bool forwarded = functionRva >= directory.VirtualAddress
                                   && functionRva < directory.VirtualAddress + directory.Size;
            if (!isToolchainSymbol(name))
                (forwarded || isCode(functionRva) ? names.functions : names.data).append(name);
        }
    }
    FreeLibrary(module);
    return names;
}

} // namespace kx::check
