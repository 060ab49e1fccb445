#include "kxFarmServer.h"

#include "kxJobRecordBuilder.h"
#include "kxStringField.h"
#include "records/kxClientRecord.h"

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <cstring>
#include <exception>
#include <new>

namespace kx::host {

bool FarmServer::start(const Farm &farm, QString *errorMessage)
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
        *errorMessage = QStringLiteral("%1: %2 client records do not fit in memory (%3 MB each)")
                            .arg(farm.filePath.isEmpty() ? QStringLiteral("--clients") : farm.filePath)
                            .arg(farm.clients.size())
                            .arg(double(kx::Client::kRecordSize) / (1024 * 1024), 0, 'f', 2);
        return false;
    }
    if (!QDir().mkpath(farm.logFolder)) {
        *errorMessage = QStringLiteral("%1: the log folder cannot be created").arg(farm.logFolder);
        return false;
    }
    const QDir folder(farm.logFolder);
    const FarmLogSettings &settings = farm.log;
    m_sdk.setMainLog(std::make_unique<_kxLogfile>(folder.filePath(settings.mainFile)));
    m_sdk.setErrorLog(std::make_unique<_kxLogfile>(folder.filePath(settings.errorFile)));
    m_sdk.setSplitLog(std::make_unique<_kxLogfile>(folder.filePath(settings.splitFile)));
    m_sdk.setSplitCategory(settings.splitCategory);
    m_sdk.setStampSeparator(settings.stampSeparator);
    m_sdk.setLogName(settings.logName);
    for (int category = 0; category < kx::ServerConfig::kLogCategoryCount; ++category)
        m_sdk.setLogCategoryEnabled(category, settings.enabledCategories[std::size_t(category)]);

    // Earlier runs' lines stay in the files; only what this run adds is shown.
    const std::pair<_kxLogfile *, QString> files[] = {{&m_sdk.mainLog(), settings.mainFile},
                                                      {&m_sdk.errorLog(), settings.errorFile},
                                                      {m_sdk.splitLog(), settings.splitFile}};
    for (const auto &file : files)
        m_watched.push_back({file.first, file.second, QFileInfo(file.first->filePath()).size()});

    m_sdk.setClientTable(m_clients.table());
    return true;
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
        try {
            watched.file->flush();
        } catch (const std::exception &error) {
            outcome->logErrors.push_back({watched.file->filePath(), QString::fromLocal8Bit(error.what())});
            continue;
        }
        QFile file(watched.file->filePath());
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly) || !file.seek(watched.readOffset)) {
            outcome->logErrors.push_back(
                {file.fileName(), QStringLiteral("%1: cannot be read: %2").arg(file.fileName(), file.errorString())});
            continue;
        }
        const QByteArray added = file.readAll();
        watched.readOffset += added.size();
        if (added.isEmpty())
            continue;
        QStringList lines = QString::fromUtf8(added).split(QLatin1Char('\n'));
        if (lines.last().isEmpty())
            lines.removeLast();
        // Error-file entries end with a carriage return of their own.
        for (QString &line : lines) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
        }
        outcome->logLines.push_back({watched.fileName, lines});
    }
}

} // namespace kx::host
