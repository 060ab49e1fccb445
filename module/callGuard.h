// The catch-all around an export's work: no exception leaves an export, and a
// memory fault inside the work ends the call like an exception would. A
// forced unwind (thread exit) is not an exception of the call's: it passes.
#ifndef CALLGUARD_H
#define CALLGUARD_H

#include "faultGuard.h"
#include "kxNotifyContract.h"

#include <type_traits>

#if defined(__GLIBCXX__)
#  include <cxxabi.h>
#  define KX_HAS_FORCED_UNWIND 1
#endif

namespace kx {
// Neither frame is noexcept: a forced unwind reaching one would end the process.
template <typename Work>
int runGuarded(Work &&work)
{
    using WorkType = std::remove_reference_t<Work>;
    const ContainedWork body = [](void *context) -> int {
        try {
            return (*static_cast<WorkType *>(context))();
#if defined(KX_HAS_FORCED_UNWIND)
        } catch (abi::__forced_unwind &) {
            throw;
#endif
        } catch (...) {
            return ResultExceptionCaught;
        }
    };
    return runFaultContained(body, const_cast<void *>(static_cast<const void *>(&work)));
}
} // namespace kx

#endif // CALLGUARD_H
