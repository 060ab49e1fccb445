// pNotify through the loaded module against client tables of growing size,
// next to a floor that only reads every client's name once. Prints the time
// ratio to the floor and the heap allocations per call as counters. The
// reported time of BM_pNotify includes the floor's turns; notify_us is pNotify alone.
#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxStringField.h"
#include "kxServerSdkObject.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <cstdlib>
#include <map>
#include <memory>

// Heap allocations are counted by taking the allocator's entry points in this
// executable: the loaded module and Qt resolve to them as well.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#  define KX_COUNT_ALLOCATIONS 1
namespace {
std::atomic<bool> countingAllocations{false};
std::atomic<unsigned long long> allocationCount{0};

inline void noteAllocation() noexcept
{
    if (countingAllocations.load(std::memory_order_relaxed))
        allocationCount.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *memory, std::size_t size);

__attribute__((visibility("default"))) void *malloc(std::size_t size) noexcept
{
    noteAllocation();
    return __libc_malloc(size);
}
__attribute__((visibility("default"))) void *calloc(std::size_t count, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_calloc(count, size);
}
__attribute__((visibility("default"))) void *realloc(void *memory, std::size_t size) noexcept
{
    noteAllocation();
    return __libc_realloc(memory, size);
}
}
#else
#  define KX_COUNT_ALLOCATIONS 0
#endif

namespace {

// The server's log, kept out of the figures: the lines go nowhere.
class DiscardingLog : public __KXSDK
{
public:
    void logMessage(int, int, const QString &) override {}
};

QString clientName(int index)
{
    return QStringLiteral("node%1").arg(index, 5, 10, QLatin1Char('0'));
}

// One table per size, built once: 32 767 client records are 3.5 GB of
// address space of which only the name and message box pages are touched.
kx::server::ClientTableBuilder &clientTable(int count)
{
    static std::map<int, std::unique_ptr<kx::server::ClientTableBuilder>> tables;
    auto &table = tables[count];
    if (!table) {
        table = std::make_unique<kx::server::ClientTableBuilder>();
        for (int i = 0; i < count; ++i)
            table->addClient(clientName(i));
    }
    return *table;
}

// Names that share the clients' shape, so comparisons run into the characters.
QString recipientList(int names, int matchingClient)
{
    QString list = clientName(matchingClient);
    for (int i = 1; i < names; ++i)
        list += QStringLiteral(";nodeX%1").arg(i, 4, 10, QLatin1Char('0'));
    return list;
}

int readEveryName(_kxClientTable *table)
{
    int total = 0;
    const int count = kx::readAt<qint16>(table, kx::ClientTable::kCountOffset);
    for (int i = 0; i < count; ++i) {
        const auto *client = kx::readAt<const unsigned char *>(
            table, kx::ClientTable::kClientsOffset + sizeof(void *) * std::size_t(i));
        auto name = kx::stringField<kx::Client::NameField>(client, kx::Client::kNameOffset).load();
        benchmark::DoNotOptimize(name);
        total += name.length();
    }
    return total;
}

void BM_NameFloor(benchmark::State &state)
{
    kx::server::ClientTableBuilder &clients = clientTable(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(readEveryName(clients.table()));
    state.counters["clients"] = double(state.range(0));
}

void BM_pNotify(benchmark::State &state)
{
    const int count = int(state.range(0));
    const int names = int(state.range(1));
    kx::server::PluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    if (!module.load()) {
        state.SkipWithError(module.errorString().toStdString().c_str());
        return;
    }
    kx::server::ClientTableBuilder &clients = clientTable(count);
    kx::server::SdkObject sdk;
    sdk.installLog<DiscardingLog>();
    sdk.setClientTable(clients.table());
    kx::server::JobRecordBuilder job;
    job.setId(1, 123456789);
    job.setProgressCode(200);
    job.setScene(QStringLiteral("/shots/sq010/sh020/lighting_v012.scn"));
    job.setImage(QStringLiteral("/renders/sq010/sh020/beauty.####"));
    job.setImageExtension(QStringLiteral(".exr"));
    job.setInfoText(QStringLiteral("lighting"));
    const int matching = count / 2;
    job.setRecipients(recipientList(names, matching));
    _kxNotifyParams params = kx::NotifyParams::make(sdk.sdkInterface(), job.record());

    // Warm up, and fill the reached box to its steady state (trimmed every call).
    for (int i = 0; i < 40; ++i)
        module.notify(&params);

    // pNotify and the floor take turns, each timed in process CPU time, so
    // that other work on the machine weighs on both alike.
    unsigned long long allocations = 0;
    int failures = 0;
    std::clock_t notifyTime = 0;
    std::clock_t floorTime = 0;
    for (auto _ : state) {
        const std::clock_t start = std::clock();
#if KX_COUNT_ALLOCATIONS
        allocationCount.store(0, std::memory_order_relaxed);
        countingAllocations.store(true, std::memory_order_relaxed);
#endif
        failures += module.notify(&params) != 1;
#if KX_COUNT_ALLOCATIONS
        countingAllocations.store(false, std::memory_order_relaxed);
        allocations += allocationCount.load(std::memory_order_relaxed);
#endif
        const std::clock_t between = std::clock();
        benchmark::DoNotOptimize(readEveryName(clients.table()));
        const std::clock_t end = std::clock();
        notifyTime += between - start;
        floorTime += end - between;
    }
    if (failures)
        state.SkipWithError("pNotify did not return 1");

    const double rounds = double(state.iterations());
    state.counters["clients"] = double(count);
    state.counters["names"] = double(names);
    state.counters["notify_us"] = 1e6 * double(notifyTime) / CLOCKS_PER_SEC / rounds;
    state.counters["floor_us"] = 1e6 * double(floorTime) / CLOCKS_PER_SEC / rounds;
    state.counters["ratio_to_floor"] = floorTime > 0 ? double(notifyTime) / double(floorTime) : 0.0;
#if KX_COUNT_ALLOCATIONS
    state.counters["allocs_per_call"] = double(allocations) / rounds;
#endif
}

} // namespace

BENCHMARK(BM_NameFloor)->Arg(1)->Arg(1024)->Arg(32767)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_pNotify)
    ->ArgsProduct({{1, 1024, 32767}, {1, 5}})
    ->ArgNames({"clients", "names"})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
