#include "kxFarmServer.h"

#include "kxHostError.h"
#include "kxJobRecordBuilder.h"
#include "kxStringField.h"
#include "records/kxClientRecord.h"

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

namespace kx::host {

void FarmServer::start(const Farm &farm)
{
    // Each client record is large, so a full table may not fit; that is found out before
    // anything is created on disk.
    try {
        for (const FarmClient &client : farm.clients) {
            const int index = m_clients.addClient(client.name);
            m_clients.setMessageBox(index, client.messageBox);
            m_boxes.append(client.messageBox);
        }
    } catch (const std::bad_alloc &) {
        throw Error::failure(farm.filePath.isEmpty() ? QStringLiteral("--clients") : farm.filePath,
                             QStringLiteral("%1 client records do not fit in memory (%2 MB each)")
                                 .arg(farm.clients.size())
                                 .arg(double(kx::Client::kRecordSize) / (1024 * 1024), 0, 'f', 2));
    }
    if (!QDir().mkpath(farm.logFolder))
        throw Error::failure(farm.logFolder, QStringLiteral("the log folder cannot be created"));
    const QDir folder(farm.logFolder);
    const FarmLogSettings &settings = farm.log;
    m_log = &m_sdk.installLog<RecordingLogChannel>();
    m_sdk.setMainLog(std::make_unique<_kxLogfile>(folder.filePath(settings.mainFile)));
    m_sdk.setErrorLog(std::make_unique<_kxLogfile>(folder.filePath(settings.errorFile)));
    m_sdk.setSplitLog(std::make_unique<_kxLogfile>(folder.filePath(settings.splitFile)));
    m_sdk.setSplitCategory(settings.splitCategory);
    m_sdk.setStampSeparator(settings.stampSeparator);
    m_sdk.setLogName(settings.logName);
    for (int category = 0; category < kx::ServerConfig::kLogCategoryCount; ++category)
        m_sdk.setLogCategoryEnabled(category, settings.enabledCategories[std::size_t(category)]);

    // What the run gives each file is shown, not what the files hold: they may be shared.
    m_watched = {{&m_sdk.mainLog(), settings.mainFile},
                 {&m_sdk.errorLog(), settings.errorFile},
                 {m_sdk.splitLog(), settings.splitFile}};

    m_sdk.setClientTable(m_clients.table());
}

EventOutcome FarmServer::notify(const server::PluginModule &module, const JobEvent &event)
{
    server::JobRecordBuilder job;
    job.setId(event.id);
    job.setProgressCode(quint8(event.progressCode));
    job.setScene(event.scene);
    job.setImage(event.image);
    job.setImageExtension(event.imageExtension);
    job.setInfoText(event.infoText);
    job.setRecipients(event.recipients);

    _kxNotifyParams params = kx::NotifyParams::make(m_sdk.sdkInterface(), job.record());
    EventOutcome outcome;
    QElapsedTimer timer;
    timer.start();
    outcome.result = module.notify(&params);
    outcome.nanoseconds = timer.nsecsElapsed();

    collectLogLines(&outcome);
    for (int i = 0; i < clientCount(); ++i) {
        if (hasBoxChanged(i)) {
            m_boxes[i] = m_clients.messageBox(i);
            outcome.changedClients.push_back(i);
        }
    }
    return outcome;
}

bool FarmServer::hasBoxChanged(int index)
{
    // Compared in place: a full table has 32767 boxes, most of them untouched.
    const unsigned char *record = m_clients.client(index);
    return !kx::stringField<kx::Client::MessageBoxField>(record, kx::Client::kMessageBoxOffset).holds(m_boxes.at(index));
}

void FarmServer::collectLogLines(EventOutcome *outcome)
{
    for (WatchedLog &watched : m_watched) {
        QStringList entries = m_log->takeEntries(watched.file);
        try {
            watched.file->flush();
        } catch (const std::exception &error) {
            outcome->logErrors.push_back({watched.file->filePath(), QString::fromLocal8Bit(error.what())});
        }
        // Entries still waiting for a file that failed were not written: they are not shown.
        const auto waiting = std::min(entries.size(), watched.file->pendingEntries().size());
        entries.erase(entries.end() - waiting, entries.end());
        if (entries.isEmpty())
            continue;
        QStringList lines;
        for (const QString &entry : std::as_const(entries)) {
            QStringList entryLines = entry.split(QLatin1Char('\n'));
            if (entryLines.last().isEmpty())
                entryLines.removeLast();
            // Error-file entries end their lines with a carriage return of their own.
            for (QString &line : entryLines) {
                if (line.endsWith(QLatin1Char('\r')))
                    line.chop(1);
            }
            lines += entryLines;
        }
        outcome->logLines.push_back({watched.fileName, lines});
    }
}

} // namespace kx::host
