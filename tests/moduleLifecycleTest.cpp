// Loading and unloading the module the way a server does over a long run:
// each cycle builds the module's constants, runs one notification and one
// call ending in a contained fault, and tears everything down again. Under
// LeakSanitizer any constant or allocation that outlives an unload is
// reported as a leak at exit. Only the small fault trap stays mapped.
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxNotifyContract.h"
#include "kxServerSdkObject.h"

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <malloc.h>
#  include <sys/mman.h>
#  include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#  define KX_HEAP_IS_INSTRUMENTED 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define KX_HEAP_IS_INSTRUMENTED 1
#  endif
#endif

namespace {

class CountingLog : public __KXSDK
{
public:
    void logMessage(int category, int /*flags*/, const QString &) override { categories.push_back(category); }
    std::vector<int> categories;
};

#if defined(_WIN32)
bool isModuleMapped()
{
    const QString name = QFileInfo(QStringLiteral(KX_PLUGIN_MODULE_PATH)).fileName();
    return GetModuleHandleW(reinterpret_cast<const wchar_t *>(name.utf16())) != nullptr;
}
#else
QByteArray mappedFiles()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
}

// Whether the module's file is still mapped into this process.
bool isModuleMapped()
{
    const QByteArray path = QFileInfo(QStringLiteral(KX_PLUGIN_MODULE_PATH)).canonicalFilePath().toLocal8Bit();
    return mappedFiles().contains(path);
}

// The resident fault trap: loaded with the module, never unloaded, one copy.
constexpr const char kResidentTrap[] = "/libkxFaultTrap.so.2";
#endif

// A job record in a page nobody may read: the first read of pNotify faults.
class UnreadableJob
{
public:
#if defined(_WIN32)
    UnreadableJob() : m_bytes(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS)) { }
    ~UnreadableJob() { VirtualFree(m_bytes, 0, MEM_RELEASE); }
#else
    UnreadableJob()
        : m_size(std::size_t(sysconf(_SC_PAGESIZE)))
        , m_bytes(mmap(nullptr, m_size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))
    {
    }
    ~UnreadableJob() { munmap(m_bytes, m_size); }
#endif
    UnreadableJob(const UnreadableJob &) = delete;
    UnreadableJob &operator=(const UnreadableJob &) = delete;
    _kxJob *record() const { return static_cast<_kxJob *>(m_bytes); }

private:
#if !defined(_WIN32)
    std::size_t m_size;
#endif
    void *m_bytes;
};

// One server session: load, init, one notification, exit, unload.
void runOneCycle(kx::server::SdkObject &sdk, CountingLog &log, kx::server::JobRecordBuilder &job)
{
    static const UnreadableJob unreadable;
    kx::server::PluginModule module(QStringLiteral(KX_PLUGIN_MODULE_PATH));
    ASSERT_TRUE(module.load()) << qPrintable(module.errorString());
    ASSERT_TRUE(isModuleMapped());
    EXPECT_EQ(module.init(), 1);
    log.categories.clear();
    _kxNotifyParams params{sdk.sdkInterface(), job.record()};
    EXPECT_EQ(module.notify(&params), 14);
    EXPECT_EQ(log.categories, (std::vector<int>{17, 2}));
    _kxNotifyParams faulting{sdk.sdkInterface(), unreadable.record()};
    EXPECT_EQ(module.notify(&faulting), 6);
    EXPECT_EQ(module.exit(), 1);
    ASSERT_TRUE(module.unload()) << qPrintable(module.errorString());
}

constexpr int kCycles = 1000;

TEST(ModuleLifecycleTest, LoadNotifyUnloadManyTimes)
{
    kx::server::SdkObject sdk;
    auto &log = sdk.installLog<CountingLog>();
    kx::server::JobRecordBuilder job; // no recipient: start line, warning, 14

    ASSERT_FALSE(isModuleMapped());
#if !defined(_WIN32)
    long long trapMappingsAfterFirstCycle = 0;
#endif
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        runOneCycle(sdk, log, job);
        // Really gone: a module that stays mapped never runs its destructors.
        ASSERT_FALSE(isModuleMapped());
#if !defined(_WIN32)
        // The trap stays, and each load shares it rather than mapping another copy.
        const long long trapMappings = mappedFiles().count(kResidentTrap);
        ASSERT_GT(trapMappings, 0);
        if (cycle == 0)
            trapMappingsAfterFirstCycle = trapMappings;
        ASSERT_EQ(trapMappings, trapMappingsAfterFirstCycle);
#endif
    }
}

// A server that queues its log lines may still read them after the unload.
TEST(ModuleLifecycleTest, LogLinesKeptByTheServerOutliveTheModule)
{
    class KeepingLog : public __KXSDK
    {
    public:
        void logMessage(int, int, const QString &text) override { kept.push_back(text); }
        std::vector<QString> kept;
    };
    kx::server::SdkObject sdk;
    auto &log = sdk.installLog<KeepingLog>();
    kx::server::JobRecordBuilder job; // no recipient: the start line and a fixed warning
    {
        kx::server::PluginModule module(QStringLiteral(KX_PLUGIN_MODULE_PATH));
        ASSERT_TRUE(module.load()) << qPrintable(module.errorString());
        _kxNotifyParams params{sdk.sdkInterface(), job.record()};
        ASSERT_EQ(module.notify(&params), 14);
        ASSERT_TRUE(module.unload());
    }
    ASSERT_FALSE(isModuleMapped());
    ASSERT_EQ(log.kept.size(), 2u);
    EXPECT_TRUE(log.kept[0].startsWith(QLatin1String("pNotify kxMessage started for job ")));
    EXPECT_EQ(log.kept[1], QLatin1String("pNotify kxMessage: No Client Name specified"));
}

#if !defined(KX_HEAP_IS_INSTRUMENTED)
std::size_t heapInUse()
{
#if defined(_WIN32)
    // The busy blocks of every heap: the C runtime may keep a heap of its own.
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    std::size_t inUse = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                inUse += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return inUse;
#else
    return mallinfo2().uordblks;
#endif
}

// Without a leak checker, the heap in use must not grow with the cycles: each
// cycle allocates the module's constants and name slots (several kilobytes).
TEST(ModuleLifecycleTest, HeapInUseDoesNotGrowWithCycles)
{
    kx::server::SdkObject sdk;
    auto &log = sdk.installLog<CountingLog>();
    kx::server::JobRecordBuilder job;
    for (int cycle = 0; cycle < 10; ++cycle)
        runOneCycle(sdk, log, job);
    log.categories.shrink_to_fit();
    const auto before = heapInUse();
    for (int cycle = 0; cycle < kCycles; ++cycle)
        runOneCycle(sdk, log, job);
    const auto after = heapInUse();
    // A leak of one small string per cycle would already exceed this. Qt 5's
    // library loader keeps some bookkeeping per load (under 40 bytes, freed at
    // exit: valgrind finds nothing lost), so it gets a little more room.
    const std::size_t allowedPerCycle = QT_VERSION_MAJOR >= 6 ? 16 : 64;
    EXPECT_LT(after > before ? after - before : 0, std::size_t(kCycles) * allowedPerCycle)
        << before << " -> " << after;
}
#endif

} // namespace
