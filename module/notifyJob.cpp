#include "notifyJob.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "deliverToRecipients.h"
#include "jobEvent.h"
#include "kxNotifyContract.h"
#include "layoutGuards.h"
#include "notificationText.h"
#include "notifyLogLines.h"
#include "serverLog.h"

int kx::notifyJob(const _kxNotifyParams *params)
{
    // A null record gets the layout verdict: there is nothing to log to or read.
    if (!params)
        return ResultLayoutMismatch;
    auto *log = readAt<__KXSDK *>(params, NotifyParams::kSdkPointerOffset);
    const auto *job = readAt<const _kxJob *>(params, NotifyParams::kJobPointerOffset);
    if (!log || !job)
        return ResultLayoutMismatch;
    const auto *sdkObject = addressAt<const unsigned char>(log, -std::ptrdiff_t(ServerSdk::kInterfaceOffset));

    // Written before any check, so a server sees which job a mismatch concerns.
    JobEvent event = readJobId(job);
    logProgress(*log, startLine(event));
    if (!hasJobLayout(job) || !hasNotifySdkLayout(sdkObject))
        return ResultLayoutMismatch;

    readJobFields(job, event);
    if (event.recipients.isEmpty()) {
        logWarning(*log, noRecipientWarning());
        return ResultNoRecipient;
    }

    const QString text = notificationText(event);
    logProgress(*log, sendToLine(event, text));
    deliverToRecipients(sdkObject, event, text);
    // Whether or not any client was reached.
    return ResultSuccess;
}
