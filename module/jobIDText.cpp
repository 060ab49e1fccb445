#include "jobIDText.h"

#include "kxKeywordConstants.h"
#include "kxLineBreakConstants.h"
#include "kxStringField.h"
#include "records/kxJobRecord.h"

QString kx::jobIDText(JobId id)
{
    const auto upperBase = quint32(kIdAlphabetUpper.size());
    const auto lowerBase = int(kIdAlphabetLower.size());

    // Bytes 3 to 6, little-endian, whatever the host's byte order.
    const quint32 raw = quint32(id[3]) | quint32(id[4]) << 8 | quint32(id[5]) << 16
                        | quint32(id[6]) << 24;
    const quint32 v = raw / 10000;

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
