// pNotify's work for one job event, run inside the export's catch-all.
#ifndef NOTIFYJOB_H
#define NOTIFYJOB_H

namespace kx {
// Returns ResultSuccess, ResultLayoutMismatch or ResultNoRecipient; throws
// whatever the string library or the server's log throws.
int notifyJob(const void *notifyParams);
} // namespace kx

#endif // NOTIFYJOB_H
