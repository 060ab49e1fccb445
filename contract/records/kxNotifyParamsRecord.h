// _kxNotifyParams: the call record of pNotify. The plug-in reads it, never writes it.
#ifndef KXNOTIFYPARAMSRECORD_H
#define KXNOTIFYPARAMSRECORD_H

#include "detail/kxRecordBytes.h"

#include <cstddef>

namespace kx::NotifyParams {

constexpr std::size_t kSdkPointerOffset = 0; // __KXSDK*: the server's SDK object
constexpr std::size_t kJobPointerOffset = 8; // _kxJob*: the job that reached a notification point
constexpr std::size_t kRecordSize = 16;

static_assert(kJobPointerOffset == kSdkPointerOffset + sizeof(void *));

} // namespace kx::NotifyParams

class __KXSDK;
struct _kxJob;

// The record as the server lays it out; its fields are reached by offset only.
struct _kxNotifyParams
{
    alignas(8) unsigned char bytes[kx::NotifyParams::kRecordSize];
};
static_assert(sizeof(_kxNotifyParams) == kx::NotifyParams::kRecordSize);

namespace kx::NotifyParams {
// The call record a server passes for one job event.
inline _kxNotifyParams make(__KXSDK *sdk, _kxJob *job) noexcept
{
    _kxNotifyParams params{};
    writeAt(params.bytes, kSdkPointerOffset, sdk);
    writeAt(params.bytes, kJobPointerOffset, job);
    return params;
}
} // namespace kx::NotifyParams

#endif // KXNOTIFYPARAMSRECORD_H
