// Internals of the contract: the one idiom for touching bytes of a record the
// server owns. Every field is read and written at its byte offset through
// memcpy, so a record may sit at any address and no pointer to a field type
// is ever formed. String fields go through kx::StringField, never through these.
#ifndef KXRECORDBYTES_H
#define KXRECORDBYTES_H

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

inline void zeroBytesAt(void *base, std::size_t offset, std::size_t size) noexcept
{
    std::memset(bytesAt(base, offset), 0, size);
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

#endif // KXRECORDBYTES_H
