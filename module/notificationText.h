// The notification text: four human-readable lines about one job event.
#ifndef NOTIFICATIONTEXT_H
#define NOTIFICATIONTEXT_H

#include <QtCore/QString>

namespace kx {

struct JobEvent;

// The notification point that the job's progress code names: "preview frames
// done" (0..120), "frames done" (121..179) or "finished" (180..255).
QString notificationPoint(quint8 progressCode);
// The text for the event: template filled, reduced to Latin-1.
QString notificationText(const JobEvent &event);

} // namespace kx

#endif // NOTIFICATIONTEXT_H
