// The catch-all around an export's work: no exception leaves an export.
#ifndef CALLGUARD_H
#define CALLGUARD_H

#include "kxNotifyPluginApi.h"

namespace kx {
template <typename Work>
int runGuarded(Work &&work) noexcept
{
    try {
        return work();
    } catch (...) {
        return ResultExceptionCaught;
    }
}
} // namespace kx

#endif // CALLGUARD_H
