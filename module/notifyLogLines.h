// Every line the module writes to the server's log, in one place.
#ifndef NOTIFYLOGLINES_H
#define NOTIFYLOGLINES_H

#include <QtCore/QString>

namespace kx {

struct JobEvent;

// "pNotify kxMessage started for job " and the job ID text.
QString startLine(const JobEvent &event);
QString noRecipientWarning();
// The job ID text, " kxNotifyKXMessage send to '", the list as stored, a line
// feed and the text: no closing quote.
QString sendToLine(const JobEvent &event, const QString &text);
// The summary of a delivery that reached a client, and of one that reached none.
QString deliveredLine(const JobEvent &event, int clientCount);
QString notFoundLine(const JobEvent &event, int clientCount);

} // namespace kx

#endif // NOTIFYLOGLINES_H
