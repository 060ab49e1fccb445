#include "jobIDText.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

#include "kxKeywordConstants.h"
#include "kxStringField.h"
#include "records/kxJobRecord.h"

QString kx::jobIDText(JobId id)
{
    const auto upperBase = quint32(kIdAlphabetUpper.size());
    const auto lowerBase = int(kIdAlphabetLower.size());

    const quint32 v = jobIdNumber(id) / kJobIdNumberScale;

    QString text;
    text.reserve(7);
    text += QLatin1Char('{');
    text += kIdAlphabetUpper.at(int(v / (upperBase * upperBase) % upperBase));
    text += kIdAlphabetUpper.at(int(v / upperBase % upperBase));
    text += kIdAlphabetUpper.at(int(v % upperBase));

    const int c = id[0];
    if (c == 0) {
        text += QLatin1Char(' ');
    } else {
        // Not a count: after z comes ba, never aa.
        const int b = c - 1;
        if (b / lowerBase != 0)
            text += kIdAlphabetLower.at(b / lowerBase % lowerBase);
        text += kIdAlphabetLower.at(b % lowerBase);
    }
    text += QLatin1Char('}');
    return text;
}

QString kx::jobIDTextOfJob(const _kxJob *job)
{
    return jobIDText(readAt<JobId>(job, Job::kIdOffset));
}
