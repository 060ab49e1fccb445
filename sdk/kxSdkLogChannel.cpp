#include "kxSdkLogChannel.h"

__KXSDK::__KXSDK() noexcept
    : KxSdkLogMembers{}
{
    splitCategory = -1;
    stampSeparator = '|';
}

__KXSDK::~__KXSDK() = default;

void __KXSDK::logMessage(int /*category*/, int /*flags*/, const QString &text)
{
    if (!mainLog)
        return;
    QString line = text;
    mainLog->addLog(line);
}
