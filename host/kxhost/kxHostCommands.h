// The kxhost commands. Each takes its own arguments (the command name first)
// and returns the process exit status.
#ifndef KXHOSTCOMMANDS_H
#define KXHOSTCOMMANDS_H

#include <QtCore/QStringList>

namespace kx::host {
enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitBadInput = 2 };

int runInfo(const QStringList &arguments);
int runNotify(const QStringList &arguments);
int runGenerate(const QStringList &arguments);
} // namespace kx::host

#endif // KXHOSTCOMMANDS_H
