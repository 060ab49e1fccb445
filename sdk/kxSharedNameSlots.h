// sharedNameSlots: 44 empty names on the heap, allocated at load and freed
// (and set to null) at unload. Null if the allocation failed.
#ifndef KXSHAREDNAMESLOTS_H
#define KXSHAREDNAMESLOTS_H

#include "kxSharedLayout.h"

namespace kx {
constexpr int kSharedNameSlotCount = 44;
_kxString<50> *sharedNameSlots() noexcept;
} // namespace kx

#endif // KXSHAREDNAMESLOTS_H
