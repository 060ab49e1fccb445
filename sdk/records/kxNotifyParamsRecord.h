// _kxNotifyParams: the call record of pNotify. The plug-in reads it, never writes it.
#ifndef KXNOTIFYPARAMSRECORD_H
#define KXNOTIFYPARAMSRECORD_H

#include <cstddef>

namespace kx::NotifyParams {

constexpr std::size_t kSdkPointerOffset = 0; // __KXSDK*: the server's SDK object
constexpr std::size_t kJobPointerOffset = 8; // _kxJob*: the job that reached a notification point
constexpr std::size_t kRecordSize = 16;

static_assert(kJobPointerOffset == kSdkPointerOffset + sizeof(void *));

} // namespace kx::NotifyParams

#endif // KXNOTIFYPARAMSRECORD_H
