// _kxPluginInfo: the plug-in information record the server passes to pInfo.
#ifndef KXPLUGININFORECORD_H
#define KXPLUGININFORECORD_H

#include "kxSharedLayout.h"

#include <cstddef>

namespace kx::PluginInfo {

constexpr quint16 kRecordVersion = 0xC004;     // the plug-in's record version

constexpr std::size_t kVersionOffset = 0;        // u16: server's version in, 0xC004 out
constexpr std::size_t kAcceptedOffset = 2;       // u16: 1 after a version match
constexpr std::size_t kNameOffset = 18;          // _kxString<50>
constexpr std::size_t kAuthorOffset = 124;       // _kxString<100>
constexpr std::size_t kPluginVersionOffset = 330; // _kxString<25>
constexpr std::size_t kSdkVersionOffset = 386;   // _kxString<25>
constexpr std::size_t kQtVersionOffset = 442;    // _kxString<25>
constexpr std::size_t kStatusByteOffset = 498;   // u8: 0 when every check passed
constexpr std::size_t kSdkPointerOffset = 504;   // __KXSDK*: the server's SDK object
constexpr std::size_t kStatusWordOffset = 512;   // u32: 0 when every check passed
constexpr std::size_t kRecordSize = 520;         // nothing past byte 515 is touched

using NameField = _kxString<50>;
using AuthorField = _kxString<100>;
using VersionField = _kxString<25>;

static_assert(kVersionOffset + 2 == kAcceptedOffset);
static_assert(kNameOffset + sizeof(NameField) == kAuthorOffset);
static_assert(kAuthorOffset + sizeof(AuthorField) == kPluginVersionOffset);
static_assert(kPluginVersionOffset + sizeof(VersionField) == kSdkVersionOffset);
static_assert(kSdkVersionOffset + sizeof(VersionField) == kQtVersionOffset);
static_assert(kQtVersionOffset + sizeof(VersionField) == kStatusByteOffset);
static_assert(kSdkPointerOffset % 8 == 0 && kStatusWordOffset + 4 <= kRecordSize);

} // namespace kx::PluginInfo

// The record as the server lays it out; its fields are reached by offset only.
struct _kxPluginInfo
{
    alignas(8) unsigned char bytes[kx::PluginInfo::kRecordSize];
};
static_assert(sizeof(_kxPluginInfo) == kx::PluginInfo::kRecordSize);

#endif // KXPLUGININFORECORD_H
