// kxhost's command lines read into what each command needs. Nothing here
// touches a file or prints; a usage error is thrown as Error (status 2).
#ifndef KXHOSTARGUMENTS_H
#define KXHOSTARGUMENTS_H

#include "kxHostError.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

namespace kx::host {

struct InfoArguments
{
    QString help; // not empty: --help was given, print it and do nothing else
    QString pluginPath; // the default module's when none is given
};

struct NotifyArguments
{
    QString help;
    QString farmPath; // empty when the farm is generated
    QString jobPath;
    QString pluginPath; // the default module's when none is given
    bool save = false;
    bool generated = false;
    QString clientCount; // as typed; read when the farm is generated
    QString prefix;
    QString logFolder; // empty: a temporary folder
    int lockTimeoutSeconds = 0;
    bool breakLock = false;
};

struct GenerateArguments
{
    QString help;
    QString farmPath;
    QString clientCount; // as typed; read after the farm is locked
    QString prefix;
    QString logFolder;
    bool force = false;
    int lockTimeoutSeconds = 0;
    bool breakLock = false;
};

InfoArguments parseInfoArguments(const QStringList &arguments);
NotifyArguments parseNotifyArguments(const QStringList &arguments);
GenerateArguments parseGenerateArguments(const QStringList &arguments);
} // namespace kx::host

#endif // KXHOSTARGUMENTS_H
