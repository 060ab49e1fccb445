// Delivery of a notification text to the clients that a job names.
#ifndef DELIVERTORECIPIENTS_H
#define DELIVERTORECIPIENTS_H

#include <QtCore/QString>

namespace kx {

struct JobEvent;

// Flushes the server's main log, appends text to the message box of every
// client named in the event's recipient list, and logs one summary line.
// sdkObject is the SDK object's start (its log lies 16 bytes in).
void deliverToRecipients(const void *sdkObject, const JobEvent &event, const QString &text);

} // namespace kx

#endif // DELIVERTORECIPIENTS_H
