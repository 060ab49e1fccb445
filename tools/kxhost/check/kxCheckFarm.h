// A server's records for one check: the call record, the SDK object with a
// log channel that records, a job, a client table and its clients, every one
// placed in a RecordArena against inaccessible pages.
#ifndef KXCHECKFARM_H
#define KXCHECKFARM_H

#include "kxRecordArena.h"

#include "kxNotifyContract.h"
#include "kxSdkLogChannel.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <memory>
#include <vector>

namespace kx::server {
class PluginModule;
}

namespace kx::check {

struct LogLine
{
    int category = 0;
    int flags = 0;
    QString text;
    bool operator==(const LogLine &other) const
    {
        return category == other.category && flags == other.flags && text == other.text;
    }
};

// Kept outside the SDK object, so that recording a line changes none of its bytes.
struct LogRecorder
{
    std::vector<LogLine> lines;
    int throwAtLine = -1; // the line (from 0) at which logMessage throws instead
    bool keepsLines = true;
    int lineCount = 0;
};

// The server's log channel of a check.
class CheckLog : public __KXSDK
{
public:
    explicit CheckLog(LogRecorder *recorder) noexcept : m_recorder(recorder) {}
    void logMessage(int category, int flags, const QString &text) override;

private:
    LogRecorder *m_recorder;
};

// One job event as the server records it.
struct JobEvent
{
    quint8 idLetter = 1;
    quint32 idNumber = 1234567;
    quint8 progressCode = 200;
    QString scene = QStringLiteral("/projects/check/shot010.scn");
    QString image = QStringLiteral("/renders/check/shot010_####");
    QString imageExtension = QStringLiteral(".exr");
    QString infoText = QStringLiteral("conformance");
    QString recipients;
};

struct FarmLayout
{
    // Client records: the inaccessible page begins right behind the message
    // box (else behind the record).
    bool guardBehindMessageBox = true;
    // Job record: the inaccessible page begins right behind the recipient
    // list (else behind the record).
    bool guardBehindRecipients = false;
    // Old text in every message box before the first call.
    QString earlierMessage = QStringLiteral("an earlier message");
};

// What a pNotify call gave: its result, or the exception that left it.
struct CallOutcome
{
    int result = 0;
    bool exceptionLeft = false;
    QString exception;
    QString describe() const;
};
CallOutcome callNotify(const server::PluginModule &module, _kxNotifyParams *params);

class CheckFarm
{
public:
    // Throws std::bad_alloc when the pages cannot be had.
    CheckFarm(RecordArena &arena, const QStringList &clientNames, const FarmLayout &layout = {});
    ~CheckFarm();
    CheckFarm(const CheckFarm &) = delete;
    CheckFarm &operator=(const CheckFarm &) = delete;

    _kxNotifyParams *params() const noexcept { return reinterpret_cast<_kxNotifyParams *>(m_params.bytes); }
    unsigned char *sdkObject() const noexcept { return m_sdk.bytes; }
    __KXSDK *sdkInterface() const noexcept { return m_log; }
    unsigned char *job() const noexcept { return m_job.bytes; }
    unsigned char *table() const noexcept { return m_table.bytes; }
    unsigned char *client(int index) const noexcept { return m_clients[std::size_t(index)].bytes; }
    int clientCount() const noexcept { return int(m_clients.size()); }
    LogRecorder &log() noexcept { return m_recorder; }

    void setJob(const JobEvent &event);
    // Every client pointer of the table as the server sets it, or one of them changed.
    void setClientPointer(int index, const void *record);
    QString messageBox(int index) const;
    CallOutcome notify(const server::PluginModule &module) { return callNotify(module, params()); }

    // The bytes of every record, for finding what a call changed.
    struct Snapshot
    {
        QByteArray params, sdk, job, tableHead, tableEntries;
        std::vector<QByteArray> clients;
    };
    Snapshot snapshot() const;
    // The first change between two snapshots outside the message boxes of the
    // clients that may change, named by record and offset; empty when none.
    QString firstChange(const Snapshot &before, const Snapshot &after, const std::vector<bool> &boxMayChange) const;

private:
    PlacedRecord m_params, m_sdk, m_job, m_table;
    std::vector<PlacedRecord> m_clients;
    LogRecorder m_recorder;
    CheckLog *m_log = nullptr;
    std::unique_ptr<_kxLogfile> m_mainLog;
};

// Texts of the log and the boxes with their times made alike.
QString withTimesMasked(QString text);

} // namespace kx::check

#endif // KXCHECKFARM_H
