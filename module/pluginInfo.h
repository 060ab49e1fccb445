// pInfo's work: the plug-in's identity and its layout verdict.
#ifndef PLUGININFO_H
#define PLUGININFO_H

#include <cstddef>

namespace kx {
// Returns ResultSuccess or ResultLayoutMismatch.
int describePlugin(void *infoRecord) noexcept;

// Stores 8-bit text into a record's _kxString field of that capacity: one
// UTF-16 unit a byte, the count, then a zero unit; nothing else of the field.
void writeLatin1Field(void *record, std::size_t offset, const char *text, int capacity) noexcept;
} // namespace kx

#endif // PLUGININFO_H
