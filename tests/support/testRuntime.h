// What the tests ask of the runtime library beyond its contract: a fixed
// present time and the flushes of a log file. Each runtime library the tests
// build against answers these in its own file.
#ifndef TESTRUNTIME_H
#define TESTRUNTIME_H

#include <QtCore/QtGlobal>

class _kxLogfile;

namespace kxtest {
// Milliseconds since 1970 UTC; 0 returns to the clock.
void fixCurrentTime(qint64 msecsSinceEpoch);
quint64 flushCount(const _kxLogfile &log);
} // namespace kxtest

#endif // TESTRUNTIME_H
