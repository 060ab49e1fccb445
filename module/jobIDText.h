// The job ID text: the short form people know a job by, such as {KT9a}.
#ifndef JOBIDTEXT_H
#define JOBIDTEXT_H

#include "kxJobId.h"

#include <QtCore/QString>

struct _kxJob;

namespace kx {

QString jobIDText(JobId id);
// The job ID text of a job record.
QString jobIDTextOfJob(const _kxJob *job);

} // namespace kx

#endif // JOBIDTEXT_H
