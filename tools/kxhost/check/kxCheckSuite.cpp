#include "kxCheckSuite.h"

#include "kxCheckContext.h"
#include "kxPluginModule.h"

#include <QtCore/QFileInfo>

namespace kx::check {

const std::vector<CheckDefinition> &checkSuite()
{
    static const std::vector<CheckDefinition> suite = {
        {"exports", "exactly the four exports, undecorated", checkExports},
        {"init-exit", "pInit and pExit give 1 in any order", checkInitExit},
        {"info", "pInfo: versions, identity, untouched bytes", checkInfo},
        {"notify-frame", "pNotify: null pointers, markers, no recipient, a log that throws", checkNotifyFrame},
        {"writes", "pNotify writes only the named clients' message boxes", checkWrites},
        {"no-state", "no state and no pointer kept between calls", checkNoState},
        {"bad-lengths", "stored lengths above capacity, an unreadable client", checkBadLengths},
        {"threads", "calls on several threads at once", checkThreads},
        {"load-unload", "loading and unloading again and again", checkLoadUnload},
        {"timing", "median pNotify time (information only)", checkTiming},
    };
    return suite;
}

void checkLoading(CheckContext &context)
{
    context.step(QStringLiteral("loading the plug-in"));
    server::PluginModule module(QFileInfo(context.options().pluginPath).absoluteFilePath());
    if (module.load())
        context.passWith(QStringLiteral("loaded"));
    else
        context.fail(module.errorString());
}

} // namespace kx::check
