// The module's four exports, and nothing else.
#include "callGuard.h"
#include "kxNotifyPluginApi.h"
#include "kxPluginExport.h"
#include "notifyJob.h"
#include "pluginInfo.h"

KX_PLUGIN_EXPORT int pInit()
{
    return kx::runGuarded([] { return int(kx::ResultSuccess); });
}

KX_PLUGIN_EXPORT int pInfo(_kxPluginInfo *info)
{
    return kx::describePlugin(info);
}

KX_PLUGIN_EXPORT int pNotify(_kxNotifyParams *params)
{
    return kx::runGuarded([params] { return kx::notifyJob(params); });
}

KX_PLUGIN_EXPORT int pExit()
{
    return kx::runGuarded([] { return int(kx::ResultSuccess); });
}
