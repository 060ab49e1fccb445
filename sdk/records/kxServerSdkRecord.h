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

static_assert(kMainLogOffset % 4 == 0 && kClientTableOffset % 4 == 0);
static_assert(kEndMarkerOffset + sizeof(quint32) <= kRecordSize);

} // namespace kx::ServerSdk

#endif // KXSERVERSDKRECORD_H
