// A loadable library that carries the SDK as the module does, and tells its loader what the SDK's
// shared name slots hold while loaded and once its static objects are gone at unload.
#include "kxSharedNameSlots.h"

#if defined(_WIN32)
#  define KX_PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#  define KX_PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
using Report = void (*)(const void *names);

// Built before every other static object of the library, so destroyed after all of them.
struct UnloadWatch
{
    Report report = nullptr;
    ~UnloadWatch()
    {
        if (report)
            report(kx::sharedNameSlots());
    }
};
UnloadWatch unloadWatch __attribute__((init_priority(101)));
} // namespace

KX_PROBE_EXPORT const void *kxProbeSharedNameSlots(int *emptyCount)
{
    _kxString<50> *names = kx::sharedNameSlots();
    *emptyCount = 0;
    for (int i = 0; names && i < kx::kSharedNameSlotCount; ++i)
        *emptyCount += names[i].isEmpty() ? 1 : 0;
    return names;
}

KX_PROBE_EXPORT void kxProbeWatchUnload(Report report)
{
    unloadWatch.report = report;
}
