// The plug-in's lines in the server's log: progress and warnings, flags 0.
#ifndef SERVERLOG_H
#define SERVERLOG_H

#include "kxSdkLogChannel.h"

namespace kx {
constexpr int kProgressCategory = 17;
constexpr int kWarningCategory = __KXSDK::CategoryWarning;

// The server may keep a line after the module is unloaded, and a literal's
// units live in the module's image: hand over only text that owns its units.
inline void logLine(__KXSDK &log, int category, const QString &text)
{
    log.logMessage(category, 0, text.isDetached() ? text : QString(text.constData(), text.size()));
}

inline void logProgress(__KXSDK &log, const QString &text) { logLine(log, kProgressCategory, text); }
inline void logWarning(__KXSDK &log, const QString &text) { logLine(log, kWarningCategory, text); }
} // namespace kx

#endif // SERVERLOG_H
