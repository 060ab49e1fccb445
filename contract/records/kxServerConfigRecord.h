// The server's configuration record, as far as the SDK log channel reads it.
#ifndef KXSERVERCONFIGRECORD_H
#define KXSERVERCONFIGRECORD_H

#include <cstddef>

namespace kx::ServerConfig {

constexpr std::size_t kLogEnabledOffset = 256428;    // u8 per category; 0 switches it off
constexpr int kLogCategoryCount = 64;                // entries of the logEnabled table
constexpr std::size_t kRecordSize = kLogEnabledOffset + kLogCategoryCount;

} // namespace kx::ServerConfig

#endif // KXSERVERCONFIGRECORD_H
