// The test hooks over the runtime library's stand-in.
#include "testRuntime.h"

#include "kxShared.h"

void kxtest::fixCurrentTime(qint64 msecsSinceEpoch)
{
    kxSetFixedCurrentTime(msecsSinceEpoch);
}

quint64 kxtest::flushCount(const _kxLogfile &log)
{
    return log.flushCount();
}
