// Log files of the server stand-in, as the runtime library's stand-in opens them.
#include "kxServerSdkObject.h"

#include <QtCore/QDir>

namespace kx::server {

void SdkObject::openLogFiles(const QString &directory)
{
    openLogFiles(directory, _kxLogfile::DefaultAutoFlushCount);
}

void SdkObject::openLogFiles(const QString &directory, quint32 autoFlushCount)
{
    const auto openIn = [&](const QString &fileName) {
        auto log = std::make_unique<_kxLogfile>(QDir(directory).filePath(fileName));
        log->setAutoFlushCount(autoFlushCount);
        return log;
    };
    setMainLog(openIn(mainLogFileName()));
    setErrorLog(openIn(errorLogFileName()));
    setSplitLog(openIn(splitLogFileName()));
}

} // namespace kx::server
