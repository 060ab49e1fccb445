// Loading and unloading the module the way a server does over a long run:
// each cycle builds the module's constants, runs one notification and tears
// everything down again. Under LeakSanitizer any constant or allocation that
// outlives an unload is reported as a leak at exit.
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxServerRecords.h"
#include "kxServerSdkObject.h"

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <malloc.h>
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

// Whether the module's file is still mapped into this process.
bool isModuleMapped()
{
#if defined(_WIN32)
    const QString name = QFileInfo(QStringLiteral(KX_PLUGIN_MODULE_PATH)).fileName();
    return GetModuleHandleW(reinterpret_cast<const wchar_t *>(name.utf16())) != nullptr;
#else
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    const QByteArray path = QFileInfo(QStringLiteral(KX_PLUGIN_MODULE_PATH)).canonicalFilePath().toLocal8Bit();
    return maps.readAll().contains(path);
#endif
}

// One server session: load, init, one notification, exit, unload.
void runOneCycle(KxServerSdkObject &sdk, CountingLog &log, KxJobRecordBuilder &job)
{
    KxPluginModule module(QStringLiteral(KX_PLUGIN_MODULE_PATH));
    ASSERT_TRUE(module.load()) << qPrintable(module.errorString());
    ASSERT_TRUE(isModuleMapped());
    EXPECT_EQ(module.init(), 1);
    log.categories.clear();
    _kxNotifyParams params{sdk.sdkInterface(), job.record()};
    EXPECT_EQ(module.notify(&params), 14);
    EXPECT_EQ(log.categories, (std::vector<int>{17, 2}));
    EXPECT_EQ(module.exit(), 1);
    ASSERT_TRUE(module.unload()) << qPrintable(module.errorString());
}

constexpr int kCycles = 200;

TEST(ModuleLifecycleTest, LoadNotifyUnloadManyTimes)
{
    KxServerSdkObject sdk;
    auto &log = sdk.installLog<CountingLog>();
    KxJobRecordBuilder job; // no recipient: start line, warning, 14

    ASSERT_FALSE(isModuleMapped());
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        runOneCycle(sdk, log, job);
        // Really gone: a module that stays mapped never runs its destructors.
        ASSERT_FALSE(isModuleMapped());
    }
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
    KxServerSdkObject sdk;
    auto &log = sdk.installLog<CountingLog>();
    KxJobRecordBuilder job;
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
