// What the fault guard adds to a call: pInit through the loaded module does
// nothing inside its guard, so its time is the guard's cost plus one call.
// The floor is a plain call through a pointer to a function that returns 1.
// Run with several threads, the figure shows whether calls on different
// threads wait for each other. A contained fault is timed on its own.
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxServerSdkObject.h"
#include "records/kxJobRecord.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

namespace {

class DiscardingLog : public __KXSDK
{
public:
    void logMessage(int, int, const QString &) override {}
};

kx::server::PluginModule &loadedModule()
{
    static kx::server::PluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    module.load();
    return module;
}

__attribute__((noinline)) int returnOne() { return 1; }

void BM_PlainCallFloor(benchmark::State &state)
{
    int (*volatile function)() = returnOne;
    int failures = 0;
    for (auto _ : state)
        failures += function() != 1;
    if (failures)
        state.SkipWithError("wrong result");
}

void BM_GuardedCall(benchmark::State &state)
{
    kx::server::PluginModule &module = loadedModule();
    if (!module.isLoaded()) {
        state.SkipWithError("module not loaded");
        return;
    }
    int failures = 0;
    for (auto _ : state)
        failures += module.init() != 1;
    if (failures)
        state.SkipWithError("pInit did not return 1");
}

// pNotify on a job record in an unreadable page: the first read faults, the
// handler decides it is the call's own and the call ends with 6.
void BM_ContainedFault(benchmark::State &state)
{
    kx::server::PluginModule &module = loadedModule();
    if (!module.isLoaded()) {
        state.SkipWithError("module not loaded");
        return;
    }
    const std::size_t pageSize = std::size_t(sysconf(_SC_PAGESIZE));
    const std::size_t size = (kx::Job::kRecordSize + pageSize - 1) / pageSize * pageSize;
    void *pages = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
        state.SkipWithError("no pages");
        return;
    }
    kx::server::SdkObject sdk;
    sdk.installLog<DiscardingLog>();
    _kxNotifyParams params = kx::NotifyParams::make(sdk.sdkInterface(), static_cast<_kxJob *>(pages));
    int failures = 0;
    for (auto _ : state)
        failures += module.notify(&params) != 6;
    munmap(pages, size);
    if (failures)
        state.SkipWithError("pNotify did not return 6");
}

} // namespace

BENCHMARK(BM_PlainCallFloor)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_GuardedCall)->Threads(1)->Threads(2)->Threads(8)->UseRealTime()->Unit(benchmark::kNanosecond);
BENCHMARK(BM_ContainedFault)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
