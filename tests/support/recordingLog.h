// A server log channel that records every line it is given, and can fail on demand.
#ifndef RECORDINGLOG_H
#define RECORDINGLOG_H

#include "kxSdkLogChannel.h"
#include "testRuntime.h"

#include <functional>
#include <stdexcept>
#include <vector>

class RecordingLog : public __KXSDK
{
public:
    struct Line
    {
        int category, flags;
        QString text;
        quint64 mainLogFlushes; // flushes of the main log when the line arrived
    };

    void logMessage(int category, int flags, const QString &text) override
    {
        if (int(lines.size()) == throwAtLine)
            throw std::runtime_error("log channel failure");
        lines.push_back({category, flags, text, mainLog ? kxtest::flushCount(*mainLog) : 0});
        if (onLine)
            onLine();
    }

    std::vector<Line> lines;
    int throwAtLine = -1;           // throws instead of recording this line (0-based)
    std::function<void()> onLine;   // runs after each recorded line
};

#endif // RECORDINGLOG_H
