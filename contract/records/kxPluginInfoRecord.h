// _kxPluginInfo: the plug-in information record the server passes to pInfo.
#ifndef KXPLUGININFORECORD_H
#define KXPLUGININFORECORD_H

#include "kxShared.h"

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

static_assert(kNameOffset + sizeof(NameField) == kAuthorOffset);
static_assert(kAuthorOffset + sizeof(AuthorField) == kPluginVersionOffset);
static_assert(kPluginVersionOffset + sizeof(VersionField) == kSdkVersionOffset);
static_assert(kSdkVersionOffset + sizeof(VersionField) == kQtVersionOffset);
static_assert(kQtVersionOffset + sizeof(VersionField) == kStatusByteOffset);
static_assert(kSdkPointerOffset % 8 == 0 && kStatusWordOffset + 4 <= kRecordSize);

} // namespace kx::PluginInfo

class __KXSDK;

// As the server lays it out; the plug-in reaches its fields by offset only.
struct _kxPluginInfo
{
    quint16 version;
    quint16 accepted;
    unsigned char untouched4[14];
    kx::PluginInfo::NameField name;
    kx::PluginInfo::AuthorField author;
    kx::PluginInfo::VersionField pluginVersion;
    kx::PluginInfo::VersionField sdkVersion;
    kx::PluginInfo::VersionField qtVersion;
    quint8 statusByte;
    unsigned char untouched499[5];
    __KXSDK *sdk;
    quint32 statusWord;
    unsigned char tail516[4];
};
static_assert(offsetof(_kxPluginInfo, version) == kx::PluginInfo::kVersionOffset);
static_assert(offsetof(_kxPluginInfo, accepted) == kx::PluginInfo::kAcceptedOffset);
static_assert(offsetof(_kxPluginInfo, name) == kx::PluginInfo::kNameOffset);
static_assert(offsetof(_kxPluginInfo, author) == kx::PluginInfo::kAuthorOffset);
static_assert(offsetof(_kxPluginInfo, pluginVersion) == kx::PluginInfo::kPluginVersionOffset);
static_assert(offsetof(_kxPluginInfo, sdkVersion) == kx::PluginInfo::kSdkVersionOffset);
static_assert(offsetof(_kxPluginInfo, qtVersion) == kx::PluginInfo::kQtVersionOffset);
static_assert(offsetof(_kxPluginInfo, statusByte) == kx::PluginInfo::kStatusByteOffset);
static_assert(offsetof(_kxPluginInfo, sdk) == kx::PluginInfo::kSdkPointerOffset);
static_assert(offsetof(_kxPluginInfo, statusWord) == kx::PluginInfo::kStatusWordOffset);
static_assert(sizeof(_kxPluginInfo) == kx::PluginInfo::kRecordSize);

#endif // KXPLUGININFORECORD_H
