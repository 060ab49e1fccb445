// A server loads and unloads its plug-ins for as long as it runs: each cycle
// must give back what it took, and the library must really go.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckPlatform.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

namespace kx::check {

namespace {
// The first cycles fill the loader's and Qt's caches; growth is counted after them.
constexpr int kWarmUpCycles = 10;
// What the memory may grow by over the counted cycles: a fixed allowance for
// the allocator's own bookkeeping and a small amount a cycle.
constexpr qint64 kAllowedGrowth = 1024 * 1024;
constexpr qint64 kAllowedGrowthPerCycle = 4 * 1024;
// A sanitizer's __cxa_atexit interceptor registers an exit entry of its own,
// kept for the life of the process, for every destructor a load registers:
// about 16 KiB a cycle for a library with a few hundred static strings.
constexpr qint64 kSanitizedGrowthPerCycle = 64 * 1024;

QString kibibytes(qint64 bytes)
{
    return QStringLiteral("%1 KiB").arg(bytes / 1024);
}
} // namespace

void checkLoadUnload(CheckContext &context)
{
    const int cycles = context.options().cycles;
    const int warmUp = std::min(kWarmUpCycles, cycles / 2);
    RecordArena arena;
    CheckFarm farm(arena, {QStringLiteral("render01")});
    JobEvent event;
    event.recipients = QStringLiteral("render01");
    farm.setJob(event);
    farm.log().keepsLines = false;
    unsigned char info[kx::PluginInfo::kRecordSize] = {};

    qint64 memoryAfterWarmUp = processMemoryBytes();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        context.step(QStringLiteral("load, pInit, pInfo, pNotify, pExit and unload, cycle %1").arg(cycle));
        auto module = context.loadPlugin();
        if (!module)
            return;
        module->init();
        kx::writeAt<quint16>(info, kx::PluginInfo::kVersionOffset, kx::PluginInfo::kRecordVersion);
        kx::writeAt(info, kx::PluginInfo::kSdkPointerOffset, farm.sdkInterface());
        module->info(reinterpret_cast<_kxPluginInfo *>(info));
        const CallOutcome outcome = farm.notify(*module);
        module->exit();
        if (outcome.exceptionLeft) {
            context.fail(outcome.describe() + QStringLiteral(" in cycle %1").arg(cycle));
            return;
        }
        if (!module->unload()) {
            context.fail(QStringLiteral("cycle %1: the library could not be unloaded").arg(cycle));
            return;
        }
        module.reset();
        if (isLibraryMapped(context.options().pluginPath)) {
            context.fail(QStringLiteral("cycle %1: the library stays mapped after it was unloaded").arg(cycle));
            return;
        }
        if (cycle == warmUp)
            memoryAfterWarmUp = processMemoryBytes();
    }
    const qint64 memoryAtEnd = processMemoryBytes();
    const int counted = cycles - warmUp;
    const qint64 perCycle = isMemoryCountedBySanitizer() ? kSanitizedGrowthPerCycle : kAllowedGrowthPerCycle;
    const qint64 bound = kAllowedGrowth + perCycle * counted;
    if (memoryAfterWarmUp < 0 || memoryAtEnd < 0) {
        context.warn(QStringLiteral("%1 cycles; the memory in use cannot be read here").arg(cycles));
        return;
    }
    const qint64 growth = memoryAtEnd - memoryAfterWarmUp;
    if (growth > bound)
        context.fail(QStringLiteral("the memory grew by %1 over %2 cycles, above the bound of %3")
                         .arg(kibibytes(growth))
                         .arg(counted)
                         .arg(kibibytes(bound)));
    // The bound differs in a sanitized build: a verdict that passes names none.
    context.passWith(QStringLiteral("%1 cycles, the library unmapped after each; memory growth over the last %2 "
                                    "within the bound")
                         .arg(cycles)
                         .arg(counted));
}

} // namespace kx::check
