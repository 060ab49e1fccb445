// The module's four exports, and nothing else: defined as the contract
// declares them, so a definition of another signature does not compile.
#include "callGuard.h"
#include "kxNotifyContract.h"
#include "notifyJob.h"
#include "pluginInfo.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

extern "C" int pInit()
{
    return kx::runGuarded([] { return int(kx::ResultSuccess); });
}

extern "C" int pInfo(_kxPluginInfo *info)
{
    return kx::describePlugin(info);
}

extern "C" int pNotify(_kxNotifyParams *params)
{
    return kx::runGuarded([params] { return kx::notifyJob(params); });
}

extern "C" int pExit()
{
    return kx::runGuarded([] { return int(kx::ResultSuccess); });
}
