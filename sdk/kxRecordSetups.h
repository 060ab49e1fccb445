// The SDK's three further record set-ups, each working in place on a
// byte-packed record the caller owns.
#ifndef KXRECORDSETUPS_H
#define KXRECORDSETUPS_H

#include "kxSharedLayout.h"

#include <cstddef>

namespace kx {

// 19 slots of 328 bytes from offset 0 and a switch byte at 6440. Only the
// listed fields are written; every other byte keeps what it held.
namespace NineteenSlotRecord {
constexpr int kSlotCount = 19;
constexpr std::size_t kSlotSize = 328;
constexpr std::size_t kSwitchOffset = 6440;          // u8, 1
constexpr std::size_t kMinimumSize = kSwitchOffset + 1;
// Offsets within a slot.
constexpr std::size_t kLongText = 0;                 // _kxString8_allSize<100>
constexpr std::size_t kValue = 208;                  // u32, 65
constexpr std::size_t kWord = 212;                   // u16, 1
constexpr std::size_t kFirstText = 214;              // _kxString8_allSize<50>
constexpr std::size_t kFlags = 269;                  // 3 bytes: 0, 1, 0
constexpr std::size_t kSecondText = 272;             // _kxString8_allSize<50>

static_assert(kLongText + sizeof(_kxString8_allSize<100>) <= kValue);
static_assert(kFirstText + sizeof(_kxString8_allSize<50>) <= kFlags);
static_assert(kSecondText + sizeof(_kxString8_allSize<50>) <= kSlotSize);
static_assert(kSlotCount * kSlotSize <= kSwitchOffset);

void setUp(void *record) noexcept;
} // namespace NineteenSlotRecord

// A word, a _kxString<200> and two _kxString8_allSize<100>.
namespace TextRecord {
constexpr std::size_t kWord = 16;                    // u16, 0
constexpr std::size_t kText = 18;                    // _kxString<200>
constexpr std::size_t kFirstName = 432;              // _kxString8_allSize<100>
constexpr std::size_t kSecondName = 536;             // _kxString8_allSize<100>
constexpr std::size_t kMinimumSize = kSecondName + sizeof(_kxString8_allSize<100>);

static_assert(kText + sizeof(_kxString<200>) <= kFirstName);
static_assert(kFirstName + sizeof(_kxString8_allSize<100>) == kSecondName);

void setUp(void *record) noexcept;
} // namespace TextRecord

// 160 bytes, zeroed, then preset.
namespace PresetRecord {
constexpr std::size_t kSize = 160;
constexpr std::size_t kValue = 0;                    // u32, 517
constexpr std::size_t kKind = 4;                     // u16, 2
constexpr std::size_t kName = 6;                     // _kxString8_allSize<50>, "kxNemo"
constexpr std::size_t kShortName = 60;               // _kxString8_allSize<10>
constexpr std::size_t kMarker = 74;                  // u8, 255
constexpr std::size_t kText = 78;                    // _kxString<25>
constexpr std::size_t kNoIndex = 134;                // i16, -1
constexpr std::size_t kFlag = 144;                   // u16, 1
constexpr const char *kPresetName = "kxNemo";

static_assert(kName + sizeof(_kxString8_allSize<50>) == kShortName);
static_assert(kShortName + sizeof(_kxString8_allSize<10>) == kMarker);
static_assert(kText + sizeof(_kxString<25>) == kNoIndex);
static_assert(kFlag + 2 <= kSize);

void setUp(void *record) noexcept;
} // namespace PresetRecord

} // namespace kx

#endif // KXRECORDSETUPS_H
