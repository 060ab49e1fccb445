#include "kxSharedNameSlots.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

#include <new>
#include <utility>

namespace {
// Kept outside its owner: a compiler may drop what an object's own destructor stores into it, and the
// pointer would dangle instead of turning null at unload.
_kxString<50> *sharedNames = nullptr;

struct SharedNameSlotsOwner
{
    SharedNameSlotsOwner() { sharedNames = new (std::nothrow) _kxString<50>[kx::kSharedNameSlotCount]; }
    ~SharedNameSlotsOwner() { delete[] std::exchange(sharedNames, nullptr); }
};
SharedNameSlotsOwner sharedNameSlotsOwner;
} // namespace

_kxString<50> *kx::sharedNameSlots() noexcept
{
    return sharedNames;
}
