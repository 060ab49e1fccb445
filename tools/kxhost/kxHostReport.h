// What kxhost prints: the lines of each command's report on standard output
// and its one-line refusals on standard error. Nothing here runs a module.
#ifndef KXHOSTREPORT_H
#define KXHOSTREPORT_H

#include <QtCore/QString>

#include <vector>

namespace kx::host {
struct Farm;
struct JobEvent;
struct EventOutcome;
class FarmServer;

// What pInfo wrote into the server's record, and its result; shown with its
// control characters escaped.
struct PluginIdentity
{
    int result = 0;
    QString name;
    QString author;
    QString version;
    QString sdkVersion;
    QString qtVersion;
};

// Prints "kxhost: <message>" on standard error after what was printed so far; returns status.
int failWith(int status, const QString &message);
void printHelp(const QString &text);

// "pInit    -> 1 (success)" and its kind, for a call of the given name.
void printCall(const char *call, int result);
void printModulePath(const QString &path);
void printIdentity(const PluginIdentity &identity, bool verbose);

void printFarm(const QString &modulePath, const Farm &farm, bool generated, bool logsRemovedAtTheEnd);
void printEventStart(int number, int count, const JobEvent &event);
void printEventOutcome(const EventOutcome &outcome, const FarmServer &server);
void printRunEnd(int exitResult, int eventCount, qint64 totalNanoseconds);
void printSaved(const QString &farmPath);
void printGenerated(const QString &farmPath, const Farm &farm);
} // namespace kx::host

#endif // KXHOSTREPORT_H
