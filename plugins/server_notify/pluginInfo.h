// pInfo's work: the plug-in's identity and its layout verdict.
#ifndef PLUGININFO_H
#define PLUGININFO_H

namespace kx {
// Returns ResultSuccess or ResultLayoutMismatch.
int describePlugin(void *infoRecord) noexcept;
} // namespace kx

#endif // PLUGININFO_H
