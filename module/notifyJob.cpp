#include "notifyJob.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "deliverToRecipients.h"
#include "jobIDText.h"
#include "kxNotifyContract.h"
#include "layoutGuards.h"
#include "notificationText.h"
#include "serverLog.h"

namespace {
const QString kStartLine = QStringLiteral("pNotify kxMessage started for job ");
const QString kNoRecipientWarning = QStringLiteral("pNotify kxMessage: No Client Name specified");
} // namespace

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
    logProgress(*log, kStartLine + jobIDTextOfJob(job));
    if (!hasJobLayout(job) || !hasNotifySdkLayout(sdkObject))
        return ResultLayoutMismatch;

    if (readAt<quint16>(job, Job::kRecipientListOffset) == 0) {
        logWarning(*log, kNoRecipientWarning);
        return ResultNoRecipient;
    }

    const QString text = notificationText(job);
    logProgress(*log, notificationLogLine(job, text));
    deliverToRecipients(sdkObject, job, text);
    // Whether or not any client was reached.
    return ResultSuccess;
}
