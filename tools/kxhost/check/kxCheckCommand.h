// `kxhost check PLUGIN`: the conformance suite for a notification plug-in.
#ifndef KXCHECKCOMMAND_H
#define KXCHECKCOMMAND_H

#include <QtCore/QStringList>

namespace kx::check {

// The arguments from the command name on; returns the exit status:
// 0 no check failed, 1 a check failed, 2 the plug-in cannot be loaded or the
// command line is wrong.
int runCheckCommand(const QStringList &arguments);

} // namespace kx::check

#endif // KXCHECKCOMMAND_H
