// _kxJob: the server's record of one render job, as far as notification reads it.
#ifndef KXJOBRECORD_H
#define KXJOBRECORD_H

#include "kxSharedLayout.h"

#include <cstddef>

namespace kx::Job {

// Four layout markers open the record: a code, then a word that must not be 0.
struct LayoutMarker
{
    std::size_t codeOffset;
    quint16 code;
};
constexpr LayoutMarker kLayoutMarkers[] = {{0, 1033}, {4, 1292}, {8, 1555}, {12, 1804}};

constexpr std::size_t kIdOffset = 3460;              // 8 bytes: the job ID value
constexpr std::size_t kSceneOffset = 3692;           // _kxString: the scene
constexpr std::size_t kImageOffset = 6710;           // _kxString: the image, first part
constexpr std::size_t kImageExtensionOffset = 7716;  // _kxString: the image, second part
constexpr std::size_t kInfoTextOffset = 30380;       // _kxString: shown in brackets
constexpr std::size_t kRecipientListOffset = 30598;  // RecipientListField: names split by ";"
constexpr std::size_t kProgressCodeOffset = 76329;   // u8: selects the notification point
constexpr std::size_t kRecordSize = 76336;

// The recipient list's capacity is part of the record.
using RecipientListField = _kxString<50>;

// The four other texts have capacities of the server's choosing. A stored
// count is read whole up to the room the record leaves before the next known
// field, so a corrupt count never reads past that field.
constexpr std::size_t kTextUnitsOffset = 4;          // the UTF-16 units, behind length and reserved field
constexpr int textRoomInUnits(std::size_t field, std::size_t next) noexcept
{
    return int((next - field - kTextUnitsOffset) / sizeof(char16_t));
}
constexpr int kSceneMaxUnits = textRoomInUnits(kSceneOffset, kImageOffset);
constexpr int kImageMaxUnits = textRoomInUnits(kImageOffset, kImageExtensionOffset);
constexpr int kImageExtensionMaxUnits = textRoomInUnits(kImageExtensionOffset, kInfoTextOffset);
constexpr int kInfoTextMaxUnits = textRoomInUnits(kInfoTextOffset, kRecipientListOffset);
constexpr int kRecipientListMaxUnits = detail::StringLayout<RecipientListField>::kCapacity;

static_assert(kSceneMaxUnits == 1507);
static_assert(kImageMaxUnits == 501);
static_assert(kImageExtensionMaxUnits == 11330);
static_assert(kInfoTextMaxUnits == 107);
static_assert(kIdOffset + 8 <= kSceneOffset);
static_assert(kRecipientListOffset + sizeof(RecipientListField) <= kProgressCodeOffset);
static_assert(kProgressCodeOffset < kRecordSize);
static_assert(kSceneOffset % 2 == 0);
static_assert(kImageOffset % 2 == 0);
static_assert(kImageExtensionOffset % 2 == 0);
static_assert(kInfoTextOffset % 2 == 0);
static_assert(kRecipientListOffset % 2 == 0);

// The stand-in server gives each of the four texts all the room its layout
// leaves: the units up to the next field, the terminator among them.
using SceneField = _kxString<kSceneMaxUnits - 1>;
using ImageField = _kxString<kImageMaxUnits - 1>;
using ImageExtensionField = _kxString<kImageExtensionMaxUnits - 1>;
using InfoTextField = _kxString<kInfoTextMaxUnits - 1>;

} // namespace kx::Job

// The record as the server lays it out; its fields are reached by offset only.
struct _kxJob
{
    alignas(8) unsigned char bytes[kx::Job::kRecordSize];
};
static_assert(sizeof(_kxJob) == kx::Job::kRecordSize);

#endif // KXJOBRECORD_H
