#include "notificationText.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "jobIDText.h"
#include "kxStringField.h"
#include "kxShared.h"
#include "records/kxJobRecord.h"

#include <QtCore/QByteArray>

#include <cstring>

namespace {
// The template holds the notification point's words between these two.
const QString kTemplateHead = QStringLiteral("%1\nJob %2 [%3] ");
const QString kTemplateTail = QStringLiteral(". \nScene:%4 \nImage:%5%6");
const QString kFinished = QStringLiteral("finished");
const QString kFramesDone = QStringLiteral("frames done");
const QString kPreviewFramesDone = QStringLiteral("preview frames done");
const QString kSendToText = QStringLiteral(" kxNotifyKXMessage send to '");

constexpr quint8 kFinishedFrom = 180;
constexpr quint8 kFramesDoneFrom = 121;

// Reduces to 8-bit the way clients display it: Latin-1 stays, anything else
// becomes "?", and the text ends at its first zero character.
QString reducedToLatin1(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    const int length = int(std::strlen(bytes.constData()));
    return QString::fromLatin1(bytes.constData(), length);
}
} // namespace

QString kx::notificationPoint(quint8 progressCode)
{
    if (progressCode >= kFinishedFrom)
        return kFinished;
    if (progressCode >= kFramesDoneFrom)
        return kFramesDone;
    return kPreviewFramesDone;
}

QString kx::notificationText(const _kxJob *job)
{
    const QString pattern =
        kTemplateHead + notificationPoint(readAt<quint8>(job, Job::kProgressCodeOffset)) + kTemplateTail;

    // Each count is read whole, up to the room before the next field.
    const QString imageExtension =
        stringField<Job::ImageExtensionField>(job, Job::kImageExtensionOffset).text(Job::kImageExtensionMaxUnits);
    const QString image = stringField<Job::ImageField>(job, Job::kImageOffset).text(Job::kImageMaxUnits);
    const QString scene = stringField<Job::SceneField>(job, Job::kSceneOffset).text(Job::kSceneMaxUnits);
    const QString infoText = stringField<Job::InfoTextField>(job, Job::kInfoTextOffset).text(Job::kInfoTextMaxUnits);
    const QString jobId = jobIDTextOfJob(job);
    const QString time = _kxTime(true).asStringDateHourMin();

    // One substitution at a time: a placeholder inside a field's text is
    // filled by a later substitution, as users of the templates expect.
    const QString filled = pattern.arg(time).arg(jobId).arg(infoText).arg(scene).arg(image).arg(imageExtension);
    return reducedToLatin1(filled);
}

QString kx::recipientList(const _kxJob *job)
{
    return stringField<Job::RecipientListField>(job, Job::kRecipientListOffset).text();
}

QString kx::sendToHead(const _kxJob *job)
{
    return jobIDTextOfJob(job) + kSendToText + recipientList(job);
}

QString kx::notificationLogLine(const _kxJob *job, const QString &text)
{
    return sendToHead(job) + QLatin1Char('\n') + text;
}
