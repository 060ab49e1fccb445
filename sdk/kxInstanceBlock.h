// InstanceBlock: one of the eight instance blocks of a client's settings:
// a header word and byte, then a NameList of 10. 1072 bytes, byte-packed.
#ifndef KXINSTANCEBLOCK_H
#define KXINSTANCEBLOCK_H

#include "kxNameList.h"

#include <cstddef>

namespace kx {

class InstanceBlock
{
public:
    static constexpr std::size_t kHeaderWordOffset = 0; // u16, 65535 once set up
    static constexpr std::size_t kSetUpByteOffset = 2;  // u8, 1 once set up
    static constexpr std::size_t kListOffset = 4;       // NameList of 10
    static constexpr std::size_t kSize = 1072;

    static constexpr quint16 kSetUpHeaderWord = 0xFFFF;
    static constexpr quint8 kSetUpByte = 1;

    explicit InstanceBlock(unsigned char *bytes) noexcept : m_bytes(bytes) {}

    NameList list() const noexcept { return NameList(m_bytes + kListOffset, NameList::kFullCapacity); }

    // Gives the block the default list of its index and its header.
    void setup(qint32 blockIndex) noexcept;

private:
    unsigned char *m_bytes;
};

static_assert(InstanceBlock::kListOffset + NameList::sizeFor(NameList::kFullCapacity) + 3 == InstanceBlock::kSize);

} // namespace kx

#endif // KXINSTANCEBLOCK_H
