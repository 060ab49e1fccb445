// The server side of a kxhost run: the SDK object with its log channel writing
// the farm's log files, the client table, and one job record per event.
#ifndef KXFARMSERVER_H
#define KXFARMSERVER_H

#include "kxClientTableBuilder.h"
#include "kxFarm.h"
#include "kxJobEventFile.h"
#include "kxPluginModule.h"
#include "kxRecordingLogChannel.h"
#include "kxServerSdkObject.h"

#include <QtCore/QStringList>

#include <vector>

namespace kx::host {

struct LogFileLines
{
    QString fileName;
    QStringList lines;
};

struct LogError
{
    QString fileName; // the file's path
    QString message;  // names the file and the cause
};

struct EventOutcome
{
    int result = 0;
    qint64 nanoseconds = 0;
    std::vector<LogFileLines> logLines; // only files that received lines
    std::vector<int> changedClients;
    std::vector<LogError> logErrors;
};

class FarmServer
{
public:
    // Builds the client table and creates the log folder; throws Error (status 1) when
    // either cannot be done.
    void start(const Farm &farm);

    __KXSDK *sdkInterface() noexcept { return m_sdk.sdkInterface(); }
    EventOutcome notify(const server::PluginModule &module, const JobEvent &event);

    int clientCount() const noexcept { return int(m_boxes.size()); }
    QString clientName(int index) const { return m_clients.clientName(index); }
    QStringList messageBoxes() const { return m_boxes; }

private:
    struct WatchedLog
    {
        _kxLogfile *file;
        QString fileName;
    };
    void collectLogLines(EventOutcome *outcome);
    bool hasBoxChanged(int index);

    server::SdkObject m_sdk;
    RecordingLogChannel *m_log = nullptr;
    server::ClientTableBuilder m_clients;
    QStringList m_boxes;
    std::vector<WatchedLog> m_watched;
};

} // namespace kx::host

#endif // KXFARMSERVER_H
