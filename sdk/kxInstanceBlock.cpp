#include "kxInstanceBlock.h"

#include "kxStringField.h"

namespace kx {

quint16 InstanceBlock::headerWord() const noexcept
{
    return readAt<quint16>(m_bytes, kHeaderWordOffset);
}

quint8 InstanceBlock::setUpByte() const noexcept
{
    return readAt<quint8>(m_bytes, kSetUpByteOffset);
}

void InstanceBlock::setup(qint32 blockIndex) noexcept
{
    NameList own = list();
    own.makeCaseInsensitive();

    NameListImage defaults = defaultInstanceList(blockIndex);
    const NameList source = defaults.list();
    for (int slot = 0; slot < NameList::kFullCapacity; ++slot)
        own.setName(slot, source.name(slot));
    own.setCount(source.count()); // the case switch stays 0

    writeAt(m_bytes, kSetUpByteOffset, kSetUpByte);
    writeAt(m_bytes, kHeaderWordOffset, kSetUpHeaderWord);
}

} // namespace kx
