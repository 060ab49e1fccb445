// pNotify's work for one job event, run inside the export's catch-all.
#ifndef NOTIFYJOB_H
#define NOTIFYJOB_H

struct _kxNotifyParams;

namespace kx {
// Returns ResultSuccess, ResultLayoutMismatch or ResultNoRecipient; throws
// whatever the string library or the server's log throws.
int notifyJob(const _kxNotifyParams *params);
} // namespace kx

#endif // NOTIFYJOB_H
