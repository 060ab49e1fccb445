// pInfo's work: the plug-in's identity and its layout verdict.
#ifndef PLUGININFO_H
#define PLUGININFO_H

struct _kxPluginInfo;

namespace kx {
// Returns ResultSuccess or ResultLayoutMismatch.
int describePlugin(_kxPluginInfo *info) noexcept;
} // namespace kx

#endif // PLUGININFO_H
