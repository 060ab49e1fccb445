#include "kxHostReport.h"

#include "kxFarm.h"
#include "kxFarmServer.h"
#include "kxJobEventFile.h"
#include "kxNotifyContract.h"
#include "kxTerminalText.h"
#include "jobIDText.h"
#include "notificationText.h"
#include "records/kxClientRecord.h"

#include <QtCore/QStringList>
#include <QtCore/QTextStream>

namespace {
QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString resultMeaning(int result)
{
    switch (result) {
    case kx::ResultSuccess: return QStringLiteral("success");
    case kx::ResultLayoutMismatch: return QStringLiteral("record version or layout mismatch");
    case kx::ResultExceptionCaught: return QStringLiteral("an exception was caught inside the call");
    case kx::ResultNoRecipient: return QStringLiteral("the job names no recipient");
    default: return QStringLiteral("not a result code of this interface");
    }
}

QString describeResult(int result)
{
    return QStringLiteral("%1 (%2)").arg(result).arg(resultMeaning(result));
}

QString formatDuration(qint64 nanoseconds)
{
    if (nanoseconds < 1000000)
        return QStringLiteral("%1 us").arg(double(nanoseconds) / 1e3, 0, 'f', 1);
    return QStringLiteral("%1 ms").arg(double(nanoseconds) / 1e6, 0, 'f', 3);
}

void printBox(const QString &box)
{
    if (box.isEmpty()) {
        out() << "    (empty)\n";
        return;
    }
    const QStringList lines = box.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    for (const QString &line : lines)
        out() << "    | " << kxVisibleText(line) << "\n";
}
} // namespace

int kx::host::failWith(int status, const QString &message)
{
    out().flush();
    err() << "kxhost: " << kxVisibleText(message) << "\n";
    err().flush();
    return status;
}

void kx::host::printHelp(const QString &text)
{
    out() << text;
    out().flush();
}

void kx::host::printCall(const char *call, int result)
{
    out() << QString::fromLatin1(call).leftJustified(8) << " -> " << describeResult(result) << "\n";
    out().flush();
}

void kx::host::printModulePath(const QString &path)
{
    out() << "module   " << path << "\n";
}

void kx::host::printIdentity(const PluginIdentity &raw, bool verbose)
{
    PluginIdentity identity = raw;
    for (QString *text : {&identity.name, &identity.author, &identity.version, &identity.sdkVersion,
                          &identity.qtVersion})
        *text = kxVisibleText(*text);
    const QString verdict = identity.result == kx::ResultSuccess ? QStringLiteral("records accepted")
                                                                 : QStringLiteral("records refused");
    if (verbose) {
        out() << "pInfo    -> " << describeResult(identity.result) << "\n"
              << "  name          " << identity.name << "\n"
              << "  author        " << identity.author << "\n"
              << "  version       " << identity.version << "\n"
              << "  SDK version   \"" << identity.sdkVersion << "\"\n"
              << "  Qt version    " << identity.qtVersion << "\n"
              << "  layouts       " << verdict << "\n";
    } else {
        out() << "pInfo    -> " << describeResult(identity.result) << ": " << identity.name << " " << identity.version
              << " by " << identity.author << ", SDK \"" << identity.sdkVersion << "\", Qt " << identity.qtVersion
              << ", " << verdict << "\n";
    }
}

void kx::host::printFarm(const QString &modulePath, const KxFarm &farm, bool generated, bool logsRemovedAtTheEnd)
{
    out() << "module   " << kxVisibleText(modulePath) << "\n"
          << "farm     " << (generated ? QStringLiteral("generated") : kxVisibleText(farm.filePath)) << ", "
          << farm.clients.size() << (farm.clients.size() == 1 ? " client" : " clients") << ", logs in "
          << kxVisibleText(farm.logFolder) << (logsRemovedAtTheEnd ? " (removed at the end)" : "") << "\n";
}

void kx::host::printEventStart(int number, int count, const KxJobEvent &event)
{
    out() << "\n"
          << "event " << number << " of " << count << ": job " << kx::jobIDText(event.id) << ", progress "
          << event.progressCode << " (" << kx::notificationPoint(quint8(event.progressCode)) << "), to '"
          << kxVisibleText(event.recipients) << "'\n";
    // Shown before the call, so a module that takes the process down leaves it on screen.
    out().flush();
}

void kx::host::printEventOutcome(const KxEventOutcome &outcome, const KxFarmServer &server)
{
    out() << "  pNotify -> " << describeResult(outcome.result) << " in " << formatDuration(outcome.nanoseconds)
          << "\n";
    for (const KxLogFileLines &file : outcome.logLines) {
        out() << "  log " << kxVisibleText(file.fileName) << ":\n";
        for (const QString &line : file.lines)
            out() << "    " << kxVisibleText(line) << "\n";
    }
    for (const KxLogError &logError : outcome.logErrors)
        out() << "  log error: " << kxVisibleText(logError.message) << "\n";
    if (outcome.changedClients.empty())
        out() << "  no message box changed\n";
    const QStringList boxes = server.messageBoxes();
    for (const int client : outcome.changedClients) {
        out() << "  message box of " << kxVisibleText(server.clientName(client)) << " (" << boxes.at(client).size()
              << " of " << kx::Client::MessageBoxField::capacity() << " characters):\n";
        printBox(boxes.at(client));
    }
}

void kx::host::printRunEnd(int exitResult, int eventCount, qint64 totalNanoseconds)
{
    out() << "\npExit    -> " << describeResult(exitResult) << "\n"
          << eventCount << (eventCount == 1 ? " event" : " events") << ", pNotify took "
          << formatDuration(totalNanoseconds) << " in all\n";
    out().flush();
}

void kx::host::printSaved(const QString &farmPath)
{
    out() << "saved    message boxes to " << kxVisibleText(farmPath) << "\n";
    out().flush();
}

void kx::host::printGenerated(const QString &farmPath, const KxFarm &farm)
{
    out() << "wrote " << kxVisibleText(farmPath) << ": " << farm.clients.size() << " clients, "
          << kxVisibleText(farm.clients.front().name) << " to " << kxVisibleText(farm.clients.back().name) << "\n";
    out().flush();
}
