// The one idiom for touching a record that the server owns: every field is
// read and written at its byte offset through memcpy, so a record may sit at
// any address and no pointer to a field type is ever formed.
#ifndef KXRECORDACCESS_H
#define KXRECORDACCESS_H

#include <QtCore/QString>

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

// The text of a _kxString<N> field as a Qt string, never reading past the field.
template <int N>
QString readText(const void *base, std::size_t offset)
{
    const auto stored = readAt<quint16>(base, offset);
    const int length = stored > N ? N : stored;
    QString text(length, Qt::Uninitialized);
    std::memcpy(text.data(), bytesAt(base, offset + 4), sizeof(char16_t) * std::size_t(length));
    return text;
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
