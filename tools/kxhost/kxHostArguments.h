// kxhost's command lines read into what each command needs. Nothing here
// touches a file or prints: a command decides what to do with the outcome.
#ifndef KXHOSTARGUMENTS_H
#define KXHOSTARGUMENTS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

namespace kx::host {
enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitBadInput = 2 };

// Run: the arguments were taken. Help: `text` is the help to print (status 0).
// Refused: `text` is the message for a usage error (status 2).
struct ParseOutcome
{
    enum Kind { Run, Help, Refused };
    Kind kind = Run;
    QString text;
};

struct InfoArguments
{
    QString pluginPath; // the default module's when none is given
};

struct NotifyArguments
{
    QString farmPath; // empty when the farm is generated
    QString jobPath;
    QString pluginPath; // the default module's when none is given
    bool save = false;
    bool generated = false;
    QString clientCount; // as typed; read when the farm is generated
    QString prefix;
    QString logFolder; // empty: a temporary folder
    int lockTimeoutSeconds = 0;
};

struct GenerateArguments
{
    QString farmPath;
    QString clientCount; // as typed; read after the farm is locked
    QString prefix;
    QString logFolder;
    bool force = false;
    int lockTimeoutSeconds = 0;
};

ParseOutcome parseInfoArguments(const QStringList &arguments, InfoArguments *parsed);
ParseOutcome parseNotifyArguments(const QStringList &arguments, NotifyArguments *parsed);
ParseOutcome parseGenerateArguments(const QStringList &arguments, GenerateArguments *parsed);
} // namespace kx::host

#endif // KXHOSTARGUMENTS_H
