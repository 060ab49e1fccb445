// The plug-in's lines in the server's log: progress and warnings, flags 0.
#ifndef SERVERLOG_H
#define SERVERLOG_H

#include "kxSdkLogChannel.h"

namespace kx {
constexpr int kProgressCategory = 17;
constexpr int kWarningCategory = __KXSDK::CategoryWarning;

inline void logProgress(__KXSDK &log, const QString &text) { log.logMessage(kProgressCategory, 0, text); }
inline void logWarning(__KXSDK &log, const QString &text) { log.logMessage(kWarningCategory, 0, text); }
} // namespace kx

#endif // SERVERLOG_H
