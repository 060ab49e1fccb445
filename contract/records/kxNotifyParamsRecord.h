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

class __KXSDK;
struct _kxJob;

struct _kxNotifyParams
{
    __KXSDK *sdk;
    _kxJob *job;
};
static_assert(offsetof(_kxNotifyParams, sdk) == kx::NotifyParams::kSdkPointerOffset);
static_assert(offsetof(_kxNotifyParams, job) == kx::NotifyParams::kJobPointerOffset);
static_assert(sizeof(_kxNotifyParams) == kx::NotifyParams::kRecordSize);

#endif // KXNOTIFYPARAMSRECORD_H
