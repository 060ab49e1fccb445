// The layout guards that protect the plug-in from records of another layout.
#ifndef LAYOUTGUARDS_H
#define LAYOUTGUARDS_H

struct _kxJob;

namespace kx {

// The job record's four markers, in order, stopping at the first that fails.
bool hasJobLayout(const _kxJob *job) noexcept;
// The SDK object's guards that pNotify relies on (object start, not the interface).
bool hasNotifySdkLayout(const void *sdkObject) noexcept;
// The SDK object's version copies that pInfo checks.
bool hasInfoSdkLayout(const void *sdkObject) noexcept;

} // namespace kx

#endif // LAYOUTGUARDS_H
