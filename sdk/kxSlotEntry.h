// SlotEntry: one of the 15 slots of a client's slot table. 2032 bytes,
// byte-packed: two markers, then a _kxString<500> at 24.
#ifndef KXSLOTENTRY_H
#define KXSLOTENTRY_H

#include "kxSharedLayout.h"

#include <cstddef>

namespace kx {

class SlotEntry
{
public:
    using Text = _kxString<500>;

    static constexpr std::size_t kKindOffset = 0;   // u16, 2820 when reset
    static constexpr std::size_t kWordOffset = 2;   // u16
    static constexpr std::size_t kMarkerOffset = 4; // u32, 0xFFF9FFF9 when reset
    static constexpr std::size_t kTextOffset = 24;
    static constexpr std::size_t kSize = 2032;

    static constexpr quint16 kResetKind = 2820;
    static constexpr quint32 kResetMarker = 0xFFF9FFF9u;

    explicit SlotEntry(unsigned char *bytes) noexcept : m_bytes(bytes) {}

    // Empty slot with its two markers; every other byte 0.
    void resetSlot() noexcept;

private:
    unsigned char *m_bytes;
};

static_assert(sizeof(SlotEntry::Text) == 1006);
static_assert(SlotEntry::kTextOffset + sizeof(SlotEntry::Text) <= SlotEntry::kSize);

} // namespace kx

#endif // KXSLOTENTRY_H
