#include "kxSlotEntry.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"

namespace kx {

void SlotEntry::resetSlot() noexcept
{
    // The empty text is all zero bytes, so zeroing the slot constructs it.
    zeroBytesAt(m_bytes, 0, kSize);
    writeAt(m_bytes, kKindOffset, kResetKind);
    writeAt(m_bytes, kMarkerOffset, kResetMarker);
}

} // namespace kx
