// NameList: a client record's list of short names, N x _kxString<50>, then
// the count of names in use (i32) and the case switch (u8). Byte-packed;
// the accessor works on the list's bytes wherever they sit.
#ifndef KXNAMELIST_H
#define KXNAMELIST_H

#include "kxSharedLayout.h"

#include <cstddef>

namespace kx {

class NameList
{
public:
    using Name = _kxString<50>;

    static constexpr int kFullCapacity = 10;
    static constexpr int kShortCapacity = 6; // the fourth list of the settings block
    static constexpr std::size_t kNamesOffset = 0;

    static constexpr std::size_t countOffset(int capacity) noexcept
    {
        return kNamesOffset + std::size_t(capacity) * sizeof(Name);
    }
    static constexpr std::size_t caseSensitiveOffset(int capacity) noexcept
    {
        return countOffset(capacity) + sizeof(qint32);
    }
    static constexpr std::size_t sizeFor(int capacity) noexcept
    {
        return caseSensitiveOffset(capacity) + sizeof(quint8);
    }

    NameList(unsigned char *bytes, int capacity) noexcept : m_bytes(bytes), m_capacity(capacity) {}

    int capacity() const noexcept { return m_capacity; }
    unsigned char *bytes() const noexcept { return m_bytes; }

    // The stored count, as the record holds it (it may be corrupt).
    qint32 count() const noexcept;
    void setCount(qint32 count) noexcept;
    quint8 caseSensitive() const noexcept;
    void setCaseSensitive(quint8 value) noexcept;

    Name name(int slot) const noexcept;
    void setName(int slot, const Name &name) noexcept;
    // True when any of the slots, used or not, equals the name (isEqual).
    bool hasName(const Name &name) const noexcept;

    // Appends a name, lower-cased unless the list is case-sensitive. Nothing
    // happens for an empty name or a full list; a count outside 0..capacity
    // is taken as full, so it is never used as a slot index.
    void addName(const char *latin1) noexcept;
    void makeCaseInsensitive() noexcept;

private:
    unsigned char *m_bytes;
    int m_capacity;
};

static_assert(NameList::sizeFor(NameList::kFullCapacity) == 1065);
static_assert(NameList::sizeFor(NameList::kShortCapacity) == 641);

// A list of 10 that owns its bytes, as defaultInstanceList hands it out.
class NameListImage
{
public:
    NameList list() noexcept { return NameList(m_bytes, NameList::kFullCapacity); }
    const unsigned char *bytes() const noexcept { return m_bytes; }

private:
    unsigned char m_bytes[NameList::sizeFor(NameList::kFullCapacity)] = {};
};

// The default list of instance block blockIndex. Indices outside 0..3
// (negative ones included) get the list of blocks 4 and above.
NameListImage defaultInstanceList(qint32 blockIndex) noexcept;

} // namespace kx

#endif // KXNAMELIST_H
