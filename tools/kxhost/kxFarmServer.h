// The server side of a kxhost run: the SDK object with its log channel writing
// the farm's log files, the client table, and one job record per event.
#ifndef KXFARMSERVER_H
#define KXFARMSERVER_H

#include "kxClientTableBuilder.h"
#include "kxFarm.h"
#include "kxJobEventFile.h"
#include "kxPluginModule.h"
#include "kxServerSdkObject.h"

#include <QtCore/QStringList>

#include <vector>

struct KxLogFileLines
{
    QString fileName;
    QStringList lines;
};

struct KxLogError
{
    QString fileName; // the file's path
    QString message;  // names the file and the cause
};

struct KxEventOutcome
{
    int result = 0;
    qint64 nanoseconds = 0;
    std::vector<KxLogFileLines> logLines; // only files that received lines
    std::vector<int> changedClients;
    std::vector<KxLogError> logErrors;
};

class KxFarmServer
{
public:
    // Builds the client table and creates the log folder; false with errorMessage when
    // either cannot be done.
    bool start(const KxFarm &farm, QString *errorMessage);

    __KXSDK *sdkInterface() noexcept { return m_sdk.sdkInterface(); }
    KxEventOutcome notify(const KxPluginModule &module, const KxJobEvent &event);

    int clientCount() const noexcept { return int(m_boxes.size()); }
    QString clientName(int index) const { return m_clients.clientName(index); }
    QStringList messageBoxes() const { return m_boxes; }

private:
    struct WatchedLog
    {
        _kxLogfile *file;
        QString fileName;
        qint64 readOffset;
    };
    void collectLogLines(KxEventOutcome *outcome);
    bool hasBoxChanged(int index);

    KxServerSdkObject m_sdk;
    KxClientTableBuilder m_clients;
    QStringList m_boxes;
    std::vector<WatchedLog> m_watched;
};

#endif // KXFARMSERVER_H
