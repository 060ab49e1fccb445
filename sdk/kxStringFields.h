// Clearing and default-constructing the fixed-capacity strings of a record
// in place: only the bytes those operations define are written (length,
// first text unit and, for _kxString, the reserved field), so the rest of
// the field keeps whatever it held.
#ifndef KXSTRINGFIELDS_H
#define KXSTRINGFIELDS_H

#include "kxRecordAccess.h"
#include "kxShared.h"

#include <cstddef>
#include <cstring>

namespace kx {

template <typename KxString>
struct StringFieldLayout;

template <int N>
struct StringFieldLayout<_kxString<N>>
{
    using Unit = char16_t;
    static constexpr std::size_t kLength = 0;
    static constexpr std::size_t kReserved = 2;
    static constexpr std::size_t kText = 4;
    static_assert(sizeof(_kxString<N>) == kText + sizeof(Unit) * (N + 1));
};

template <int N>
struct StringFieldLayout<_kxString8_allSize<N>>
{
    using Unit = char;
    static constexpr std::size_t kLength = 0;
    static constexpr std::size_t kText = 2;
    static_assert(sizeof(_kxString8_allSize<N>) == (kText + N + 1 + 1) / 2 * 2);
};

// clear: length 0 and the terminator in the first unit.
template <typename KxString>
void clearStringAt(void *base, std::size_t offset) noexcept
{
    using Layout = StringFieldLayout<KxString>;
    writeAt<quint16>(base, offset + Layout::kLength, 0);
    writeAt<typename Layout::Unit>(base, offset + Layout::kText, 0);
}

// Default construction inside a record: clear, and for _kxString the
// reserved field 0 as well.
template <typename KxString>
void constructStringAt(void *base, std::size_t offset) noexcept
{
    clearStringAt<KxString>(base, offset);
    if constexpr (sizeof(typename StringFieldLayout<KxString>::Unit) == 2)
        writeAt<quint16>(base, offset + StringFieldLayout<KxString>::kReserved, 0);
}

// Stores a string's length, its text and the terminator behind it; the rest
// of the field (and any padding of the local copy) is left alone.
template <typename KxString>
void storeStringTextAt(void *base, std::size_t offset, const KxString &value) noexcept
{
    using Layout = StringFieldLayout<KxString>;
    writeAt<quint16>(base, offset + Layout::kLength, value.storedLength());
    std::memcpy(bytesAt(base, offset + Layout::kText), value.constData(),
                sizeof(typename Layout::Unit) * (std::size_t(value.length()) + 1));
}

inline void zeroBytesAt(void *base, std::size_t offset, std::size_t size) noexcept
{
    std::memset(bytesAt(base, offset), 0, size);
}

} // namespace kx

#endif // KXSTRINGFIELDS_H
