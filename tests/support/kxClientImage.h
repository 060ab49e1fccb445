// Byte-level helpers for the client tests: expected images are written byte
// by byte (little-endian), independently of the SDK's accessors.
#ifndef KXCLIENTIMAGE_H
#define KXCLIENTIMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {

using Bytes = std::vector<unsigned char>;

inline void put16(unsigned char *at, std::size_t offset, unsigned value)
{
    at[offset] = static_cast<unsigned char>(value & 0xFF);
    at[offset + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

inline void put32(unsigned char *at, std::size_t offset, std::uint32_t value)
{
    put16(at, offset, value & 0xFFFF);
    put16(at, offset + 2, value >> 16);
}

inline unsigned get16(const unsigned char *at, std::size_t offset)
{
    return unsigned(at[offset]) | unsigned(at[offset + 1]) << 8;
}

inline std::uint32_t get32(const unsigned char *at, std::size_t offset)
{
    return get16(at, offset) | std::uint32_t(get16(at, offset + 2)) << 16;
}

// A wide name as stored in a _kxString<50>: length, reserved 0, then units.
inline void putWideName(unsigned char *at, std::size_t offset, const std::string &latin1)
{
    put16(at, offset, unsigned(latin1.size()));
    for (std::size_t i = 0; i < latin1.size(); ++i)
        put16(at, offset + 4 + 2 * i, static_cast<unsigned char>(latin1[i]));
}

inline std::string wideNameAt(const unsigned char *at, std::size_t offset)
{
    std::string text;
    for (unsigned i = 0; i < get16(at, offset) && i < 50; ++i)
        text += static_cast<char>(get16(at, offset + 4 + 2 * i));
    return text;
}

// First offset at which two images differ, or -1.
inline long firstDifference(const unsigned char *a, const unsigned char *b, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (a[i] != b[i])
            return long(i);
    }
    return -1;
}

} // namespace kxtest

#endif // KXCLIENTIMAGE_H
