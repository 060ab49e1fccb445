// The one idiom for touching a record that the server owns: every field is
// read and written at its byte offset through memcpy, so a record may sit at
// any address and no pointer to a field type is ever formed.
#ifndef KXRECORDACCESS_H
#define KXRECORDACCESS_H

#include <QtCore/QString>
#include <QtCore/QVarLengthArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kx {

template <typename T>
T readAt(const void *base, std::size_t offset) noexcept
{
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, static_cast<const unsigned char *>(base) + offset, sizeof value);
    return value;
}

template <typename T>
void writeAt(void *base, std::size_t offset, const T &value) noexcept
{
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(static_cast<unsigned char *>(base) + offset, &value, sizeof value);
}

inline const unsigned char *bytesAt(const void *base, std::size_t offset) noexcept
{
    return static_cast<const unsigned char *>(base) + offset;
}

inline unsigned char *bytesAt(void *base, std::size_t offset) noexcept
{
    return static_cast<unsigned char *>(base) + offset;
}

// A fixed-capacity string of a record, loaded into a local copy whose length
// is clamped to the capacity; store it back with writeAt.
template <typename KxString>
KxString loadString(const void *base, std::size_t offset) noexcept
{
    KxString value = readAt<KxString>(base, offset);
    value.setLength(value.length()); // clamps a corrupt length, restores the terminator
    return value;
}

// The one way a _kxString field of a record becomes a Qt string: as
// QString::fromUtf16 reads the stored count of units (a leading byte-order
// mark is dropped, a swapped one swaps the rest). A count above maxUnits is
// read as maxUnits, so the read never leaves the room the caller gives.
inline QString readText(const void *base, std::size_t offset, int maxUnits)
{
    const int stored = readAt<quint16>(base, offset);
    const int length = std::max(0, stored > maxUnits ? maxUnits : stored);
    // An aligned copy: the record may sit at any address.
    QVarLengthArray<char16_t, 256> units(length);
    std::memcpy(units.data(), bytesAt(base, offset + 4), sizeof(char16_t) * std::size_t(length));
    return QString::fromUtf16(units.constData(), length);
}

template <int N>
QString readText(const void *base, std::size_t offset)
{
    return readText(base, offset, N);
}

// Converts between the address of an object's start and an interior part of it
// (the SDK interface lies 16 bytes in) without forming out-of-object pointers.
template <typename T>
T *addressAt(const void *start, std::ptrdiff_t delta) noexcept
{
    if (!start)
        return nullptr;
    return reinterpret_cast<T *>(reinterpret_cast<std::uintptr_t>(start) + std::uintptr_t(delta));
}

} // namespace kx

#endif // KXRECORDACCESS_H
