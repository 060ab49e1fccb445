// One job event as the module sees it: the job record read once, shared by
// the notification text, the log lines and the delivery.
#ifndef JOBEVENT_H
#define JOBEVENT_H

#include <QtCore/QString>

struct _kxJob;

namespace kx {

struct JobEvent
{
    QString idText;       // the job ID text, read before the record's layout is checked
    quint8 progressCode = 0;
    QString scene;
    QString image;
    QString imageExtension;
    QString infoText;     // shown in brackets after the job ID text
    QString recipients;   // client names split by ";", as stored
};

// The ID text alone: all a job of unchecked layout gives.
JobEvent readJobId(const _kxJob *job);
// The fields the notification reads, once the record's layout is checked.
void readJobFields(const _kxJob *job, JobEvent &event);

} // namespace kx

#endif // JOBEVENT_H
