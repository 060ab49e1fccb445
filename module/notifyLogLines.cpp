#include "notifyLogLines.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

#include "jobEvent.h"

namespace {
const QString kStartLine = QStringLiteral("pNotify kxMessage started for job ");
const QString kNoRecipientWarning = QStringLiteral("pNotify kxMessage: No Client Name specified");
const QString kSendToText = QStringLiteral(" kxNotifyKXMessage send to '");
const QString kSentTail = QStringLiteral("'. (");
const QString kNotSentText = QStringLiteral(" kxNotifyKXMessage NOT SEND. '");
const QString kNotFoundTail = QStringLiteral("' not found. (");
const QString kCountLineStart = QStringLiteral("  n:");
const QString kCountLineEnd = QStringLiteral("|||\n");

QString countLine(int clientCount)
{
    return kCountLineStart + QString::number(clientCount) + kCountLineEnd;
}
} // namespace

QString kx::startLine(const JobEvent &event)
{
    return kStartLine + event.idText;
}

QString kx::noRecipientWarning()
{
    return kNoRecipientWarning;
}

QString kx::sendToLine(const JobEvent &event, const QString &text)
{
    return event.idText + kSendToText + event.recipients + QLatin1Char('\n') + text;
}

QString kx::deliveredLine(const JobEvent &event, int clientCount)
{
    return event.idText + kSendToText + event.recipients + kSentTail + countLine(clientCount) + QLatin1Char(')');
}

QString kx::notFoundLine(const JobEvent &event, int clientCount)
{
    return event.idText + kNotSentText + event.recipients + kNotFoundTail + countLine(clientCount)
           + QLatin1Char(')');
}
