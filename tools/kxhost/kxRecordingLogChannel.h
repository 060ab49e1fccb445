// The server's log channel as kxhost runs it: the SDK's own, which also keeps
// every entry it gives each log file, so that kxhost shows what its own run
// wrote rather than what it finds in files that others may share or rename.
#ifndef KXRECORDINGLOGCHANNEL_H
#define KXRECORDINGLOGCHANNEL_H

#include "kxSdkLogChannel.h"

#include <QtCore/QStringList>

#include <vector>

namespace kx::host {

class RecordingLogChannel final : public __KXSDK
{
public:
    void logMessage(int category, int flags, const QString &text) override;
    // The entries given to `file` since the last call, oldest first.
    QStringList takeEntries(const _kxLogfile *file);

private:
    struct Entries
    {
        const _kxLogfile *file;
        QStringList entries;
    };
    std::vector<Entries> m_given;
};

} // namespace kx::host

#endif // KXRECORDINGLOGCHANNEL_H
