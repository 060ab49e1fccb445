// _kxJob: the server's record of one render job, as far as notification reads it.
#ifndef KXJOBRECORD_H
#define KXJOBRECORD_H

#include "kxShared.h"

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
constexpr std::size_t kSceneOffset = 3692;           // SceneField
constexpr std::size_t kImageOffset = 6710;           // ImageField: first part
constexpr std::size_t kImageExtensionOffset = 7716;  // ImageField: second part
constexpr std::size_t kInfoTextOffset = 30380;       // InfoTextField: shown in brackets
constexpr std::size_t kRecipientListOffset = 30598;  // RecipientListField: names split by ";"
constexpr std::size_t kProgressCodeOffset = 76329;   // u8: selects the notification point
constexpr std::size_t kRecordSize = 76336;

using SceneField = _kxString<1000>;
using ImageField = _kxString<500>;
using InfoTextField = _kxString<100>;
using RecipientListField = _kxString<50>;

static_assert(kSceneOffset + sizeof(SceneField) <= kImageOffset);
static_assert(kImageOffset + sizeof(ImageField) <= kImageExtensionOffset);
static_assert(kImageExtensionOffset + sizeof(ImageField) <= kInfoTextOffset);
static_assert(kInfoTextOffset + sizeof(InfoTextField) <= kRecipientListOffset);
static_assert(kRecipientListOffset + sizeof(RecipientListField) <= kProgressCodeOffset);
static_assert(kProgressCodeOffset < kRecordSize);
static_assert(kSceneOffset % 2 == 0 && kImageOffset % 2 == 0 && kImageExtensionOffset % 2 == 0
              && kInfoTextOffset % 2 == 0 && kRecipientListOffset % 2 == 0);

} // namespace kx::Job

#endif // KXJOBRECORD_H
