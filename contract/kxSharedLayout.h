// The runtime library's types as the records hold them. The plug-in takes from
// kxShared only these type names, the layouts pinned here and the operations
// it lists; every byte of a string is reached through these layouts.
#ifndef KXSHAREDLAYOUT_H
#define KXSHAREDLAYOUT_H

#include "kxShared.h"

#include <cstddef>
#include <type_traits>

namespace kx::detail {

template <typename KxString>
struct StringLayout;

// u16 length, a 16-bit field left 0, then N + 1 UTF-16 units (text, then 0).
template <int N>
struct StringLayout<_kxString<N>>
{
    using Unit = char16_t;
    static constexpr int kCapacity = N;
    static constexpr std::size_t kLength = 0;
    static constexpr std::size_t kReserved = 2;
    static constexpr std::size_t kText = 4;
    static constexpr std::size_t kSize = kText + sizeof(Unit) * (N + 1);
    static_assert(sizeof(_kxString<N>) == kSize && alignof(_kxString<N>) == 2);
    // Records are copied as bytes, so a string is its bytes.
    static_assert(std::is_trivially_copyable_v<_kxString<N>>);
};

// u16 length, then N + 1 bytes (up to N Latin-1 characters, then 0), rounded up to even.
template <int N>
struct StringLayout<_kxString8_allSize<N>>
{
    using Unit = char;
    static constexpr int kCapacity = N;
    static constexpr std::size_t kLength = 0;
    static constexpr std::size_t kText = 2;
    static constexpr std::size_t kSize = (kText + N + 1 + 1) / 2 * 2;
    static_assert(sizeof(_kxString8_allSize<N>) == kSize && alignof(_kxString8_allSize<N>) == 2);
    static_assert(std::is_trivially_copyable_v<_kxString8_allSize<N>>);
};

} // namespace kx::detail

namespace kx::SharedLayout {

// The 32-bit field of a _kxLogfile that the log channel sets to 0 on a crash report.
constexpr std::size_t kLogfileCrashFieldOffset = 512;

static_assert(sizeof(_kxTime) == 8);
static_assert(sizeof(_kxLogfile) >= kLogfileCrashFieldOffset + 4);

static_assert(detail::StringLayout<_kxString<25>>::kSize == 56);
static_assert(detail::StringLayout<_kxString<50>>::kSize == 106);
static_assert(detail::StringLayout<_kxString<100>>::kSize == 206);
static_assert(detail::StringLayout<_kxString<2500>>::kSize == 5006);
static_assert(detail::StringLayout<_kxString8_allSize<10>>::kSize == 14);
static_assert(detail::StringLayout<_kxString8_allSize<15>>::kSize == 18);
static_assert(detail::StringLayout<_kxString8_allSize<25>>::kSize == 28);
static_assert(detail::StringLayout<_kxString8_allSize<50>>::kSize == 54);
static_assert(detail::StringLayout<_kxString8_allSize<100>>::kSize == 104);
static_assert(detail::StringLayout<_kxString8_allSize<150>>::kSize == 154);

} // namespace kx::SharedLayout

#endif // KXSHAREDLAYOUT_H
