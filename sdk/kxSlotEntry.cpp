#include "kxSlotEntry.h"

#include "kxRecordAccess.h"
#include "kxStringFields.h"

namespace kx {

quint16 SlotEntry::kind() const noexcept
{
    return readAt<quint16>(m_bytes, kKindOffset);
}

quint32 SlotEntry::marker() const noexcept
{
    return readAt<quint32>(m_bytes, kMarkerOffset);
}

SlotEntry::Text SlotEntry::text() const noexcept
{
    return loadString<Text>(m_bytes, kTextOffset);
}

void SlotEntry::resetSlot() noexcept
{
    constructStringAt<Text>(m_bytes, kTextOffset);
    zeroBytesAt(m_bytes, 0, kSize);
    writeAt(m_bytes, kKindOffset, kResetKind);
    writeAt(m_bytes, kMarkerOffset, kResetMarker);
}

} // namespace kx
