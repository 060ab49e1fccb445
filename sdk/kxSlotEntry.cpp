#include "kxSlotEntry.h"

#include "kxStringField.h"

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
    return stringField<Text>(m_bytes, kTextOffset).load();
}

void SlotEntry::resetSlot() noexcept
{
    stringField<Text>(m_bytes, kTextOffset).construct();
    zeroBytesAt(m_bytes, 0, kSize);
    writeAt(m_bytes, kKindOffset, kResetKind);
    writeAt(m_bytes, kMarkerOffset, kResetMarker);
}

} // namespace kx
