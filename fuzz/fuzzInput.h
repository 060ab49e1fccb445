// Reading a fuzzer's bytes as record contents, and guard zones around the
// fields under test.
#ifndef FUZZINPUT_H
#define FUZZINPUT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define KX_FUZZ_ASAN 1
#  endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#  define KX_FUZZ_ASAN 1
#endif
#if defined(KX_FUZZ_ASAN)
#  include <sanitizer/asan_interface.h>
#endif

// The harness's own loops are not what is being explored: no coverage
// feedback from them, which also keeps executions per second high.
#if defined(__clang__)
#  define KX_FUZZ_HARNESS __attribute__((no_sanitize("coverage")))
#else
#  define KX_FUZZ_HARNESS
#endif

namespace kxfuzz {

inline void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

template <typename Unit>
KX_FUZZ_HARNESS bool isAllZero(const Unit *units, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i) {
        if (units[i] != 0)
            return false;
    }
    return true;
}

// Takes values from the front of the input, little-endian; an exhausted
// input reads as zeros, so every input, however short, is a complete case.
class ByteReader
{
public:
    ByteReader(const std::uint8_t *data, std::size_t size) noexcept : m_data(data), m_size(size) {}

    std::uint8_t u8() noexcept { return m_offset < m_size ? m_data[m_offset++] : 0; }
    std::uint16_t u16() noexcept
    {
        const std::uint16_t low = u8();
        return std::uint16_t(low | (std::uint16_t(u8()) << 8));
    }
    void bytes(void *target, std::size_t count) noexcept
    {
        const std::size_t available = std::min(count, m_size - m_offset);
        std::memcpy(target, m_data + m_offset, available);
        std::memset(static_cast<std::uint8_t *>(target) + available, 0, count - available);
        m_offset += available;
    }

    // A stored length (any 16-bit value) and the units behind it: a short
    // pattern repeated over a run of the given count, zeros after it. Writes
    // capacity + 1 units, so the field's terminator slot is fuzzed as well.
    template <typename Unit>
    KX_FUZZ_HARNESS std::uint16_t text(Unit *units, int capacity) noexcept
    {
        const std::uint16_t stored = u16();
        const std::size_t room = std::size_t(capacity) + 1;
        std::size_t count = std::min<std::size_t>(u16() % 4096, room);
        const std::size_t patternLength = u8() % 32;
        if (patternLength == 0)
            count = 0;
        bytes(units, sizeof(Unit) * std::min(patternLength, count));
        // Doubling copies of the pattern over the run.
        for (std::size_t filled = patternLength; filled < count; filled *= 2)
            std::memcpy(units + filled, units, sizeof(Unit) * std::min(filled, count - filled));
        if (count < patternLength)
            m_offset += std::min(m_size - m_offset, sizeof(Unit) * (patternLength - count));
        std::memset(units + count, 0, sizeof(Unit) * (room - count));
        return stored;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
};

// Bytes that no code under test may read or write: filled with a pattern and,
// under AddressSanitizer, poisoned so that a read is reported where it happens.
class GuardZone
{
public:
    static constexpr std::uint8_t kPattern = 0xA5;

    GuardZone() noexcept = default;
    GuardZone(std::uint8_t *start, std::size_t size) noexcept : m_start(start), m_size(size) {}

    KX_FUZZ_HARNESS void arm() const noexcept
    {
        std::memset(m_start, kPattern, m_size);
#if defined(KX_FUZZ_ASAN)
        ASAN_POISON_MEMORY_REGION(m_start, m_size);
#endif
    }
    // Lifts the poison and requires the pattern untouched.
    KX_FUZZ_HARNESS void check() const noexcept
    {
#if defined(KX_FUZZ_ASAN)
        ASAN_UNPOISON_MEMORY_REGION(m_start, m_size);
#endif
        for (std::size_t i = 0; i < m_size; ++i)
            require(m_start[i] == kPattern);
    }

private:
    std::uint8_t *m_start = nullptr;
    std::size_t m_size = 0;
};

} // namespace kxfuzz

#endif // FUZZINPUT_H
