// A server log channel that records every line it is given, and can fail on demand.
#ifndef RECORDINGLOG_H
#define RECORDINGLOG_H

#include "kxSdkLogChannel.h"

#include <stdexcept>
#include <vector>

struct LoggedLine
{
    int category;
    int flags;
    QString text;
};

class RecordingLog : public __KXSDK
{
public:
    void logMessage(int category, int flags, const QString &text) override
    {
        if (throwOnLog)
            throw std::runtime_error("log channel failure");
        lines.push_back({category, flags, text});
    }

    std::vector<LoggedLine> lines;
    bool throwOnLog = false;
};

#endif // RECORDINGLOG_H
