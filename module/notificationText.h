// The notification text: four human-readable lines about one job event, and
// the progress line that carries it to the server's log.
#ifndef NOTIFICATIONTEXT_H
#define NOTIFICATIONTEXT_H

#include <QtCore/QString>

struct _kxJob;

namespace kx {

// The template for the job's progress code (0..120, 121..179, 180..255).
QString notificationTemplate(quint8 progressCode);
// The text for the job record: template filled, reduced to Latin-1.
QString notificationText(const _kxJob *job);
// Job ID text, the recipient list as stored, a line feed, then the text.
QString notificationLogLine(const _kxJob *job, const QString &text);

} // namespace kx

#endif // NOTIFICATIONTEXT_H
