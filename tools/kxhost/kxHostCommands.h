// The kxhost commands. Each takes its own arguments (the command name first)
// and returns the process exit status: it reads them (kxHostArguments), runs
// the module and the files, and leaves the printing to kxHostReport.
#ifndef KXHOSTCOMMANDS_H
#define KXHOSTCOMMANDS_H

#include "kxHostArguments.h"

#include <QtCore/QStringList>

namespace kx::host {
int runInfo(const QStringList &arguments);
int runNotify(const QStringList &arguments);
int runGenerate(const QStringList &arguments);
} // namespace kx::host

#endif // KXHOSTCOMMANDS_H
