#include "kxHostReport.h"

#include "kxFarm.h"
#include "kxFarmServer.h"
#include "kxJobEventFile.h"
#include "kxNotifyContract.h"
#include "kxTerminalText.h"
#include "records/kxClientRecord.h"

#include <QtCore/QStringList>
#include <QtCore/QTextStream>

namespace kx::host {

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

// The notification point a progress code stands for, as the job event file describes it.
QString progressMeaning(int progressCode)
{
    if (progressCode >= 180)
        return QStringLiteral("finished");
    if (progressCode >= 121)
        return QStringLiteral("frames done");
    return QStringLiteral("preview frames done");
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
        out() << "    | " << visibleText(line) << "\n";
}
} // namespace

int failWith(int status, const QString &message)
{
    out().flush();
    err() << "kxhost: " << visibleText(message) << "\n";
    err().flush();
    return status;
}

void printHelp(const QString &text)
{
    out() << text;
    out().flush();
}

void printCall(const char *call, int result)
{
    out() << QString::fromLatin1(call).leftJustified(8) << " -> " << describeResult(result) << "\n";
    out().flush();
}

void printModulePath(const QString &path)
{
    out() << "module   " << path << "\n";
}

void printIdentity(const PluginIdentity &raw, bool verbose)
{
    PluginIdentity identity = raw;
    for (QString *text : {&identity.name, &identity.author, &identity.version, &identity.sdkVersion,
                          &identity.qtVersion})
        *text = visibleText(*text);
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

void printFarm(const QString &modulePath, const Farm &farm, bool generated, bool logsRemovedAtTheEnd)
{
    out() << "module   " << visibleText(modulePath) << "\n"
          << "farm     " << (generated ? QStringLiteral("generated") : visibleText(farm.filePath)) << ", "
          << farm.clients.size() << (farm.clients.size() == 1 ? " client" : " clients") << ", logs in "
          << visibleText(farm.logFolder) << (logsRemovedAtTheEnd ? " (removed at the end)" : "") << "\n";
}

void printEventStart(int number, int count, const JobEvent &event)
{
    out() << "\n"
          << "event " << number << " of " << count << ": job " << visibleText(event.idText) << ", progress "
          << event.progressCode << " (" << progressMeaning(event.progressCode) << "), to '"
          << visibleText(event.recipients) << "'\n";
    // Shown before the call, so a module that takes the process down leaves it on screen.
    out().flush();
}

void printEventOutcome(const EventOutcome &outcome, const FarmServer &server)
{
    out() << "  pNotify -> " << describeResult(outcome.result) << " in " << formatDuration(outcome.nanoseconds)
          << "\n";
    for (const LogFileLines &file : outcome.logLines) {
        out() << "  log " << visibleText(file.fileName) << ":\n";
        for (const QString &line : file.lines)
            out() << "    " << visibleText(line) << "\n";
    }
    for (const LogError &logError : outcome.logErrors)
        out() << "  log error: " << visibleText(logError.message) << "\n";
    if (outcome.changedClients.empty())
        out() << "  no message box changed\n";
    const QStringList boxes = server.messageBoxes();
    for (const int client : outcome.changedClients) {
        out() << "  message box of " << visibleText(server.clientName(client)) << " (" << boxes.at(client).size()
              << " of " << kx::Client::MessageBoxField::capacity() << " characters):\n";
        printBox(boxes.at(client));
    }
}

void printRunEnd(int exitResult, int eventCount, qint64 totalNanoseconds)
{
    out() << "\npExit    -> " << describeResult(exitResult) << "\n"
          << eventCount << (eventCount == 1 ? " event" : " events") << ", pNotify took "
          << formatDuration(totalNanoseconds) << " in all\n";
    out().flush();
}

void printSaved(const QString &farmPath)
{
    out() << "saved    message boxes to " << visibleText(farmPath) << "\n";
    out().flush();
}

void printGenerated(const QString &farmPath, const Farm &farm)
{
    out() << "wrote " << visibleText(farmPath) << ": " << farm.clients.size() << " clients, "
          << visibleText(farm.clients.front().name) << " to " << visibleText(farm.clients.back().name) << "\n";
    out().flush();
}

} // namespace kx::host
