// The catch-all around an export's work: no exception leaves an export, and a
// memory fault inside the work ends the call like an exception would.
#ifndef CALLGUARD_H
#define CALLGUARD_H

#include "faultGuard.h"
#include "kxNotifyPluginApi.h"

#include <type_traits>

namespace kx {
template <typename Work>
int runGuarded(Work &&work) noexcept
{
    using WorkType = std::remove_reference_t<Work>;
    const ContainedWork body = [](void *context) noexcept -> int {
        try {
            return (*static_cast<WorkType *>(context))();
        } catch (...) {
            return ResultExceptionCaught;
        }
    };
    return runFaultContained(body, const_cast<void *>(static_cast<const void *>(&work)));
}
} // namespace kx

#endif // CALLGUARD_H
