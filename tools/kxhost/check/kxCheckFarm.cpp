#include "kxCheckFarm.h"

#include "kxJobId.h"
#include "kxPluginModule.h"

#include <QtCore/QRegularExpression>

#include <exception>
#include <new>

namespace kx::check {

static_assert(sizeof(CheckLog) <= kx::ServerSdk::kVersionCopyOffset - kx::ServerSdk::kInterfaceOffset,
              "the log channel must not reach the server's fields behind it");

namespace {
constexpr std::size_t kTableHeadSize = 2048; // the count and what lies around it
static_assert(kx::ClientTable::kCountOffset + 2 <= kTableHeadSize);

std::size_t tableEntriesEnd(int clients)
{
    return kx::ClientTable::kClientsOffset + sizeof(void *) * std::size_t(clients);
}

QString changeAt(const char *record, std::size_t offset)
{
    return QStringLiteral("%1 changed at byte %2").arg(QLatin1String(record)).arg(offset);
}

// The first byte at which two snapshots differ, or -1.
qsizetype firstDifference(const QByteArray &before, const QByteArray &after)
{
    const qsizetype n = std::min(before.size(), after.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (before.constData()[i] != after.constData()[i])
            return i;
    }
    return before.size() == after.size() ? -1 : n;
}

// A snapshot index back to a record offset, the guard page left out of it.
std::size_t recordOffset(const PlacedRecord &record, qsizetype index)
{
    const std::size_t i = std::size_t(index);
    return i < record.guardOffset ? i : i + (record.guardEnd - record.guardOffset);
}
} // namespace

void CheckLog::logMessage(int category, int flags, const QString &text)
{
    const int line = m_recorder->lineCount++;
    if (line == m_recorder->throwAtLine)
        throw std::runtime_error("the server's log failed");
    if (m_recorder->keepsLines)
        m_recorder->lines.push_back({category, flags, text});
}

QString CallOutcome::describe() const
{
    if (exceptionLeft)
        return QStringLiteral("an exception left pNotify (%1)").arg(exception);
    return QStringLiteral("pNotify returned %1").arg(result);
}

CallOutcome callNotify(const server::PluginModule &module, _kxNotifyParams *params)
{
    CallOutcome outcome;
    try {
        outcome.result = module.notify(params);
    } catch (const std::exception &error) {
        outcome.exceptionLeft = true;
        outcome.exception = QString::fromLocal8Bit(error.what());
    } catch (...) {
        outcome.exceptionLeft = true;
        outcome.exception = QStringLiteral("not a standard exception");
    }
    return outcome;
}

CheckFarm::CheckFarm(RecordArena &arena, const QStringList &clientNames, const FarmLayout &layout)
    : m_mainLog(std::make_unique<_kxLogfile>())
{
    const int count = int(clientNames.size());
    m_params = arena.place(kx::NotifyParams::kRecordSize);
    m_sdk = arena.place(kx::ServerSdk::kRecordSize);
    m_job = arena.place(kx::Job::kRecordSize, layout.guardBehindRecipients
                                                  ? kx::Job::kRecipientListOffset
                                                        + sizeof(kx::Job::RecipientListField)
                                                  : kx::Job::kRecordSize);
    // Behind the last entry in use: a read of the next one faults.
    m_table = arena.place(kx::ClientTable::kRecordSize, tableEntriesEnd(count));
    for (int i = 0; i < count; ++i) {
        m_clients.push_back(arena.place(kx::Client::kRecordSize,
                                        layout.guardBehindMessageBox
                                            ? kx::Client::kMessageBoxOffset + sizeof(kx::Client::MessageBoxField)
                                            : kx::Client::kRecordSize));
    }

    m_sdk.fillWithPattern();
    m_log = new (m_sdk.bytes + kx::ServerSdk::kInterfaceOffset) CheckLog(&m_recorder);
    // The guards share bytes with the log channel's object, so they follow its construction.
    using namespace kx::ServerSdk;
    kx::writeAt<quint16>(m_sdk.bytes, kVersionOffset, kVersion);
    kx::writeAt<quint16>(m_sdk.bytes, kLayoutMarkerOffset, kLayoutMarker);
    kx::writeAt<quint32>(m_sdk.bytes, kVersionCopyOffset, kVersion);
    kx::writeAt<quint32>(m_sdk.bytes, kEndMarkerOffset, kEndMarker);
    kx::writeAt(m_sdk.bytes, kClientTableOffset, m_table.bytes);
    m_log->mainLog = m_mainLog.get();

    m_job.fillWithPattern();
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers) {
        kx::writeAt<quint16>(m_job.bytes, marker.codeOffset, marker.code);
        kx::writeAt<quint16>(m_job.bytes, marker.codeOffset + 2, 1);
    }

    for (std::size_t i = 0; i < kTableHeadSize; ++i)
        m_table.bytes[i] = static_cast<unsigned char>(0x3C ^ i);
    kx::writeAt<qint16>(m_table.bytes, kx::ClientTable::kCountOffset, qint16(count));
    for (int i = 0; i < count; ++i) {
        const PlacedRecord &client = m_clients[std::size_t(i)];
        client.fillWithPattern();
        kx::Client::NameField name;
        name.assign(clientNames[i]);
        kx::writeAt(client.bytes, kx::Client::kNameOffset, name);
        kx::stringField<kx::Client::MessageBoxField>(client.bytes, kx::Client::kMessageBoxOffset)
            .assign(layout.earlierMessage);
        setClientPointer(i, client.bytes);
    }

    kx::writeAt(m_params.bytes, kx::NotifyParams::kSdkPointerOffset, static_cast<__KXSDK *>(m_log));
    kx::writeAt(m_params.bytes, kx::NotifyParams::kJobPointerOffset, m_job.bytes);
    setJob(JobEvent{});
}

// The log channel's destructor releases nothing, and the farm's pages may
// already be inaccessible: it is not run.
CheckFarm::~CheckFarm() = default;

void CheckFarm::setJob(const JobEvent &event)
{
    using namespace kx::Job;
    const kx::JobId id = kx::makeJobId(event.idLetter, event.idNumber);
    std::memcpy(m_job.bytes + kIdOffset, id.data(), id.size());
    kx::writeAt<quint8>(m_job.bytes, kProgressCodeOffset, event.progressCode);
    kx::stringField<SceneField>(m_job.bytes, kSceneOffset).assign(event.scene);
    kx::stringField<ImageField>(m_job.bytes, kImageOffset).assign(event.image);
    kx::stringField<ImageExtensionField>(m_job.bytes, kImageExtensionOffset).assign(event.imageExtension);
    kx::stringField<InfoTextField>(m_job.bytes, kInfoTextOffset).assign(event.infoText);
    kx::stringField<RecipientListField>(m_job.bytes, kRecipientListOffset).assign(event.recipients);
}

void CheckFarm::setClientPointer(int index, const void *record)
{
    kx::writeAt(m_table.bytes, kx::ClientTable::kClientsOffset + sizeof(void *) * std::size_t(index), record);
}

QString CheckFarm::messageBox(int index) const
{
    return kx::stringField<kx::Client::MessageBoxField>(client(index), kx::Client::kMessageBoxOffset).text();
}

CheckFarm::Snapshot CheckFarm::snapshot() const
{
    Snapshot shot;
    shot.params = m_params.snapshot();
    shot.sdk = m_sdk.snapshot();
    shot.job = m_job.snapshot();
    shot.tableHead = QByteArray(reinterpret_cast<const char *>(m_table.bytes), kTableHeadSize);
    shot.tableEntries = QByteArray(reinterpret_cast<const char *>(m_table.bytes + kx::ClientTable::kClientsOffset),
                                   int(sizeof(void *) * m_clients.size()));
    for (const PlacedRecord &client : m_clients)
        shot.clients.push_back(client.snapshot());
    return shot;
}

QString CheckFarm::firstChange(const Snapshot &before, const Snapshot &after,
                               const std::vector<bool> &boxMayChange) const
{
    if (const qsizetype at = firstDifference(before.params, after.params); at >= 0)
        return changeAt("the call record", std::size_t(at));
    if (const qsizetype at = firstDifference(before.sdk, after.sdk); at >= 0)
        return changeAt("the SDK object", recordOffset(m_sdk, at));
    if (const qsizetype at = firstDifference(before.job, after.job); at >= 0)
        return changeAt("the job record", recordOffset(m_job, at));
    if (const qsizetype at = firstDifference(before.tableHead, after.tableHead); at >= 0)
        return changeAt("the client table", std::size_t(at));
    if (const qsizetype at = firstDifference(before.tableEntries, after.tableEntries); at >= 0)
        return changeAt("the client table", kx::ClientTable::kClientsOffset + std::size_t(at));
    constexpr std::size_t boxBegin = kx::Client::kMessageBoxOffset;
    constexpr std::size_t boxEnd = boxBegin + sizeof(kx::Client::MessageBoxField);
    for (std::size_t i = 0; i < m_clients.size(); ++i) {
        const QByteArray &was = before.clients[i];
        const QByteArray &is = after.clients[i];
        const bool mayChange = i < boxMayChange.size() && boxMayChange[i];
        for (qsizetype at = 0; at < std::min(was.size(), is.size()); ++at) {
            const std::size_t offset = recordOffset(m_clients[i], at);
            if (was.constData()[at] != is.constData()[at] && !(mayChange && offset >= boxBegin && offset < boxEnd))
                return QStringLiteral("client %1's record changed at byte %2%3")
                    .arg(i + 1)
                    .arg(offset)
                    .arg(offset >= boxBegin && offset < boxEnd ? QStringLiteral(" (its message box)") : QString());
        }
    }
    return QString();
}

QString withTimesMasked(QString text)
{
    static const QRegularExpression times(
        QStringLiteral("\\d{4}-\\d\\d-\\d\\d[ T]\\d\\d:\\d\\d(:\\d\\d(\\.\\d+)?)?|\\d\\d:\\d\\d:\\d\\d(\\.\\d+)?"));
    return text.replace(times, QStringLiteral("<time>"));
}

} // namespace kx::check
