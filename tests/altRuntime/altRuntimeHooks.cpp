// The test hooks over the second runtime library.
#include "testRuntime.h"

#include "kxShared.h"

void kxtest::fixCurrentTime(qint64 msecsSinceEpoch)
{
    kxAltSetClock(msecsSinceEpoch);
}

quint64 kxtest::flushCount(const _kxLogfile &log)
{
    return log.flushes();
}
