// PLATFORM FILE (Windows): memory-fault containment with structured exception
// handling. The only place in the plug-in that uses Windows calls.
//
// Every structured exception that leaves the work is taken here: access
// violations, in-page errors, misaligned data, stack overflow. C++ exceptions
// never get this far, the work's own catch-all takes them first.
#include "faultGuard.h"

#include "kxNotifyPluginApi.h"

#include <malloc.h>
#include <windows.h>

namespace {
// No C++ object lives in this frame, as __try requires.
int runWithStructuredHandler(kx::ContainedWork work, void *context, bool *stackOverflowed) noexcept
{
    __try {
        return work(context);
    } __except (*stackOverflowed = GetExceptionCode() == EXCEPTION_STACK_OVERFLOW, EXCEPTION_EXECUTE_HANDLER) {
        return kx::ResultExceptionCaught;
    }
}
} // namespace

int kx::runFaultContained(ContainedWork work, void *context)
{
    bool stackOverflowed = false;
    const int result = runWithStructuredHandler(work, context, &stackOverflowed);
    // The guard page the overflow used up must be put back, or the next
    // overflow ends the process.
    if (stackOverflowed)
        _resetstkoflw();
    return result;
}
