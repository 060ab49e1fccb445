#include "notificationText.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "jobEvent.h"
#include "kxSharedLayout.h"

#include <QtCore/QByteArray>

#include <cstring>

namespace {
// The template holds the notification point's words between these two.
const QString kTemplateHead = QStringLiteral("%1\nJob %2 [%3] ");
const QString kTemplateTail = QStringLiteral(". \nScene:%4 \nImage:%5%6");
const QString kFinished = QStringLiteral("finished");
const QString kFramesDone = QStringLiteral("frames done");
const QString kPreviewFramesDone = QStringLiteral("preview frames done");

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

QString kx::notificationText(const JobEvent &event)
{
    const QString pattern = kTemplateHead + notificationPoint(event.progressCode) + kTemplateTail;
    const QString time = _kxTime(true).asStringDateHourMin();

    // One substitution at a time: a placeholder inside a field's text is
    // filled by a later substitution, as users of the templates expect.
    const QString filled = pattern.arg(time)
                               .arg(event.idText)
                               .arg(event.infoText)
                               .arg(event.scene)
                               .arg(event.image)
                               .arg(event.imageExtension);
    return reducedToLatin1(filled);
}
