#include "kxSharedNameSlots.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

#include <new>

namespace {
struct SharedNameSlotsOwner
{
    _kxString<50> *names = new (std::nothrow) _kxString<50>[kx::kSharedNameSlotCount];
    ~SharedNameSlotsOwner()
    {
        delete[] names;
        names = nullptr;
    }
};
SharedNameSlotsOwner sharedNameSlotsOwner;
} // namespace

_kxString<50> *kx::sharedNameSlots() noexcept
{
    return sharedNameSlotsOwner.names;
}
