#include "notificationText.h"

#include "jobIDText.h"
#include "kxLineBreakConstants.h"
#include "kxStringField.h"
#include "kxShared.h"
#include "records/kxJobRecord.h"

#include <QtCore/QByteArray>

#include <cstring>

namespace {
const QString kFinishedTemplate =
    QStringLiteral("%1\nJob %2 [%3] finished. \nScene:%4 \nImage:%5%6");
const QString kFramesDoneTemplate =
    QStringLiteral("%1\nJob %2 [%3] frames done. \nScene:%4 \nImage:%5%6");
const QString kPreviewFramesDoneTemplate =
    QStringLiteral("%1\nJob %2 [%3] preview frames done. \nScene:%4 \nImage:%5%6");
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

QString kx::notificationTemplate(quint8 progressCode)
{
    if (progressCode >= kFinishedFrom)
        return kFinishedTemplate;
    if (progressCode >= kFramesDoneFrom)
        return kFramesDoneTemplate;
    return kPreviewFramesDoneTemplate;
}

QString kx::notificationText(const _kxJob *job)
{
    const QString pattern = notificationTemplate(readAt<quint8>(job, Job::kProgressCodeOffset));

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
    const QChar fill = QLatin1Char(' ');
    const QString filled = pattern.arg(time, 0, fill)
                               .arg(jobId, 0, fill)
                               .arg(infoText, 0, fill)
                               .arg(scene, 0, fill)
                               .arg(image, 0, fill)
                               .arg(imageExtension, 0, fill);
    return reducedToLatin1(filled);
}

QString kx::notificationLogLine(const _kxJob *job, const QString &text)
{
    return jobIDTextOfJob(job) + kSendToText
           + stringField<Job::RecipientListField>(job, Job::kRecipientListOffset).text()
           + QLatin1Char('\n') + text;
}
