#include "kxInstanceBlock.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"

#include <cstring>

namespace kx {

void InstanceBlock::setup(qint32 blockIndex) noexcept
{
    // Every name, the count and the case switch (0) of the default list: the
    // lower-casing a set-up starts with would leave none of the old names.
    const NameListImage defaults = defaultInstanceList(blockIndex);
    std::memcpy(m_bytes + kListOffset, defaults.bytes(), NameList::sizeFor(NameList::kFullCapacity));
    writeAt(m_bytes, kSetUpByteOffset, kSetUpByte);
    writeAt(m_bytes, kHeaderWordOffset, kSetUpHeaderWord);
}

} // namespace kx
