// _kxServerSDK: the server's SDK object. Records point at its __KXSDK part,
// 16 bytes in; the offsets below count from the object's start. The server
// packs it to 4-byte alignment, so pointers sit at multiples of 4 only.
#ifndef KXSERVERSDKRECORD_H
#define KXSERVERSDKRECORD_H

#include <QtCore/QtGlobal>

#include <cstddef>

namespace kx::ServerSdk {

constexpr std::size_t kInterfaceOffset = 16;          // the __KXSDK part (log channel)
constexpr std::size_t kVersionOffset = 28;            // u16, must be kVersion (pInfo)
constexpr std::size_t kLayoutMarkerOffset = 30;       // u16, must be kLayoutMarker (pNotify)
constexpr std::size_t kMainLogOffset = 44;            // _kxLogfile*: mainLog of the __KXSDK part
constexpr std::size_t kVersionCopyOffset = 24076;     // u32, must be kVersion (pInfo)
constexpr std::size_t kClientTableOffset = 24092;     // _kxClientTable*
constexpr std::size_t kEndMarkerOffset = 24188;       // u32, must be kEndMarker (pNotify)
constexpr std::size_t kRecordSize = 24192;

constexpr quint16 kVersion = 3844;                    // 0x0F04
constexpr quint16 kLayoutMarker = 24092;              // 0x5E1C
constexpr quint32 kEndMarker = 0x0A23D23C;

static_assert(kMainLogOffset % 4 == 0);
static_assert(kClientTableOffset % 4 == 0);
static_assert(kEndMarkerOffset + sizeof(quint32) <= kRecordSize);

} // namespace kx::ServerSdk

// __KXSDK, the SDK's log channel that lies kInterfaceOffset into the object:
// offsets from its own start (where its virtual-table pointer lies).
namespace kx::SdkLog {
constexpr std::size_t kMembersOffset = 8;
constexpr std::size_t kCriticalFailureOffset = 17;
constexpr std::size_t kMainLogOffset = 28;
constexpr std::size_t kErrorLogOffset = 36;
constexpr std::size_t kConfigOffset = 44;
constexpr std::size_t kLogNameOffset = 19872;
constexpr std::size_t kLogMutedOffset = 20920;
constexpr std::size_t kStampSeparatorOffset = 21427;
constexpr std::size_t kSplitCategoryOffset = 21428;
constexpr std::size_t kSplitLogOffset = 21568;
constexpr std::size_t kSize = 21576;
// The 32-bit field of a _kxLogfile that a crash report sets to 0.
constexpr std::size_t kLogfileCrashFieldOffset = 512;

// One mainLog, seen from the object and from the log channel.
static_assert(ServerSdk::kInterfaceOffset + kMainLogOffset == ServerSdk::kMainLogOffset);
static_assert(ServerSdk::kInterfaceOffset + kSize <= ServerSdk::kVersionCopyOffset);
} // namespace kx::SdkLog

#endif // KXSERVERSDKRECORD_H
