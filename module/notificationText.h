// The notification text: four human-readable lines about one job event, and
// the progress line that carries it to the server's log.
#ifndef NOTIFICATIONTEXT_H
#define NOTIFICATIONTEXT_H

#include <QtCore/QString>

struct _kxJob;

namespace kx {

// The notification point that the job's progress code names: "preview frames
// done" (0..120), "frames done" (121..179) or "finished" (180..255).
QString notificationPoint(quint8 progressCode);
// The text for the job record: template filled, reduced to Latin-1.
QString notificationText(const _kxJob *job);
// The recipient list as the job stores it.
QString recipientList(const _kxJob *job);
// Job ID text, " kxNotifyKXMessage send to '" and the recipient list: the head
// of the progress line and of the summary line of a delivery.
QString sendToHead(const _kxJob *job);
// sendToHead, a line feed, then the text.
QString notificationLogLine(const _kxJob *job, const QString &text);

} // namespace kx

#endif // NOTIFICATIONTEXT_H
