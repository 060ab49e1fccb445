// The conformance suite: each check by its name, run in a process of its own.
#ifndef KXCHECKSUITE_H
#define KXCHECKSUITE_H

#include <vector>

namespace kx::check {
class CheckContext;

struct CheckDefinition
{
    const char *name;
    const char *title;
    void (*run)(CheckContext &context);
};

// In the order they run and are shown.
const std::vector<CheckDefinition> &checkSuite();
// Loads the plug-in once: run before the suite, it tells a plug-in that
// cannot be loaded from one that fails checks.
void checkLoading(CheckContext &context);

void checkExports(CheckContext &context);
void checkInitExit(CheckContext &context);
void checkInfo(CheckContext &context);
void checkNotifyFrame(CheckContext &context);
void checkWrites(CheckContext &context);
void checkNoState(CheckContext &context);
void checkBadLengths(CheckContext &context);
void checkThreads(CheckContext &context);
void checkLoadUnload(CheckContext &context);
void checkTiming(CheckContext &context);

} // namespace kx::check

#endif // KXCHECKSUITE_H
