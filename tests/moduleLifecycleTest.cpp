// Loading and unloading the module the way a server does over a long run, each cycle with a
// notification and a contained fault: every unload unmaps the module, the one resident fault trap
// stays, the log lines the server kept outlive the module, the heap does not grow, and under
// LeakSanitizer nothing the module built outlives it.
#include "faultTestServer.h"

#include <QtCore/QLibrary>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#  include <malloc.h>
#endif

namespace {

#if defined(_WIN32)
long long residentTrapMappings() { return -1; } // none: the guard lives in the module
// The busy blocks of every heap: the C runtime may keep a heap of its own.
std::size_t heapInUse()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    std::size_t inUse = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            inUse += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? entry.cbData : 0;
        HeapUnlock(heaps[i]);
    }
    return inUse;
}
#else
long long residentTrapMappings() { return mappedFiles().count("/libkxFaultTrap.so.3"); }
std::size_t heapInUse() { return mallinfo2().uordblks; }
#endif

// One server session: load, init, a contained fault, a notification, exit, unload.
void runOneCycle(FaultTestServer &server)
{
    ASSERT_TRUE(server.module.load()) << qPrintable(server.module.errorString());
    server.log->lines.clear();
    EXPECT_EQ(server.module.init(), 1);
    // Called directly: under LeakSanitizer the fault's call is checked too.
    _kxNotifyParams faulting = kx::NotifyParams::make(server.sdk.sdkInterface(), reinterpret_cast<_kxJob *>(server.unreadable.bytes()));
    EXPECT_EQ(server.module.notify(&faulting), 6);
    _kxNotifyParams good = kx::NotifyParams::make(server.sdk.sdkInterface(), server.goodJob.record());
    EXPECT_EQ(server.module.notify(&good), 14);
    EXPECT_EQ(server.module.exit(), 1);
    ASSERT_TRUE(server.module.unload()) << qPrintable(server.module.errorString());
    // Really gone: a module that stays mapped never runs its destructors, and nothing of its fault
    // handling is left to run code that is no longer there.
    ASSERT_FALSE(isModuleMapped(QStringLiteral(KX_PLUGIN_MODULE_PATH)));
    ASSERT_TRUE(serverFaultReachesServer(server.unreadable));
    ASSERT_EQ(server.log->lines.size(), 2u);
    EXPECT_TRUE(server.log->lines[0].text.startsWith(QLatin1String("pNotify kxMessage started for job ")));
    EXPECT_EQ(server.log->lines[1].text, QLatin1String("pNotify kxMessage: No Client Name specified"));
}

TEST(ModuleLifecycleTest, LoadNotifyUnloadManyTimes)
{
    FaultTestServer server;
    ASSERT_TRUE(server.module.unload());
    for (int cycle = 0; cycle < 10; ++cycle)
        runOneCycle(server);
    const long long trapMappings = residentTrapMappings();
    EXPECT_NE(trapMappings, 0);
    const std::size_t heapBefore = heapInUse();
    constexpr int kCycles = 300;
    for (int cycle = 0; cycle < kCycles && !HasFatalFailure(); ++cycle) {
        runOneCycle(server);
        ASSERT_EQ(residentTrapMappings(), trapMappings) << "cycle " << cycle;
    }
    // Under a leak checker the heap is its own: LeakSanitizer checks at exit.
    if (isHeapInstrumented())
        return;
    // A leak of one small string per cycle would already exceed this. Qt 5's library loader keeps some
    // bookkeeping per load (under 40 bytes, freed at exit: valgrind finds nothing lost), so it gets a
    // little more room.
    const std::size_t heapAfter = heapInUse(), allowedPerCycle = QT_VERSION_MAJOR >= 6 ? 16 : 64;
    EXPECT_LT(heapAfter > heapBefore ? heapAfter - heapBefore : 0, kCycles * allowedPerCycle)
        << heapBefore << " -> " << heapAfter;
}

const void *slotsAtUnload = nullptr;
void reportSlotsAtUnload(const void *names)
{
    slotsAtUnload = names;
}

// The SDK's shared name slots: 44 empty names while the library is loaded, freed and null once its
// static objects are gone, load after load.
TEST(ModuleLifecycleTest, SharedNameSlotsAreEmptyWhileLoadedAndNullAfterUnload)
{
    const QString path = QStringLiteral(KX_SDK_UNLOAD_PROBE_PATH);
    for (int cycle = 0; cycle < 3; ++cycle) {
        QLibrary probe(path);
        ASSERT_TRUE(probe.load()) << qPrintable(probe.errorString());
        const auto slotsOf = reinterpret_cast<const void *(*)(int *)>(probe.resolve("kxProbeSharedNameSlots"));
        const auto watchUnload = reinterpret_cast<void (*)(void (*)(const void *))>(probe.resolve("kxProbeWatchUnload"));
        ASSERT_TRUE(slotsOf && watchUnload);
        int empty = -1;
        slotsAtUnload = slotsOf(&empty);
        EXPECT_NE(slotsAtUnload, nullptr);
        EXPECT_EQ(empty, 44);
        watchUnload(reportSlotsAtUnload);
        ASSERT_TRUE(probe.unload()) << qPrintable(probe.errorString());
        ASSERT_FALSE(isModuleMapped(path));
        EXPECT_EQ(slotsAtUnload, nullptr) << "cycle " << cycle;
    }
}

} // namespace
