// The job ID text: the short form people know a job by, such as {KT9a}.
#ifndef JOBIDTEXT_H
#define JOBIDTEXT_H

#include <QtCore/QString>

#include <array>

struct _kxJob;

namespace kx {

// The 8-byte job ID value as it lies in the job record.
using JobId = std::array<unsigned char, 8>;

QString jobIDText(JobId id);
// The job ID text of a job record.
QString jobIDTextOfJob(const _kxJob *job);

} // namespace kx

#endif // JOBIDTEXT_H
