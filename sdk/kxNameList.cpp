#include "kxNameList.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"

#include <utility>

namespace kx {

namespace {
constexpr const char *kBlockZeroNames[] = {"3D", "Execute", "Comp", "Archive"};
constexpr const char *kSharedBlockNames[] = {"Comp", "Archive"}; // blocks 1 to 3
constexpr const char *kOtherBlockNames[] = {"GPUonly"};

std::size_t nameOffset(int slot) noexcept
{
    return NameList::kNamesOffset + std::size_t(slot) * sizeof(NameList::Name);
}
} // namespace

qint32 NameList::count() const noexcept
{
    return readAt<qint32>(m_bytes, countOffset(m_capacity));
}

void NameList::setCount(qint32 count) noexcept
{
    writeAt(m_bytes, countOffset(m_capacity), count);
}

quint8 NameList::caseSensitive() const noexcept
{
    return readAt<quint8>(m_bytes, caseSensitiveOffset(m_capacity));
}

void NameList::setCaseSensitive(quint8 value) noexcept
{
    writeAt(m_bytes, caseSensitiveOffset(m_capacity), value);
}

NameList::Name NameList::name(int slot) const noexcept
{
    return stringField<Name>(m_bytes, nameOffset(slot)).load();
}

void NameList::setName(int slot, const Name &name) noexcept
{
    writeAt(m_bytes, nameOffset(slot), name);
}

bool NameList::hasName(const Name &wanted) const noexcept
{
    for (int slot = 0; slot < m_capacity; ++slot) {
        if (name(slot).isEqual(wanted))
            return true;
    }
    return false;
}

void NameList::addName(const char *latin1) noexcept
{
    Name added(latin1);
    const qint32 used = count();
    if (added.isEmpty() || used < 0 || used >= m_capacity)
        return;
    if (caseSensitive() == 0)
        added.makeLower();
    setName(used, added);
    setCount(used + 1);
}

void NameList::makeCaseInsensitive() noexcept
{
    setCaseSensitive(0);
    // Only the units makeLower changed go back: the length, the terminator and
    // the rest of each slot keep their bytes.
    for (int slot = 0; slot < m_capacity; ++slot) {
        const auto stored = stringField<Name>(m_bytes, nameOffset(slot));
        Name lowered = stored.load();
        lowered.makeLower();
        const auto units = stringOf(std::as_const(lowered));
        for (int i = 0; i < stored.length(); ++i) {
            if (units.unit(i) != stored.unit(i))
                stringField<Name>(m_bytes, nameOffset(slot)).setUnit(i, units.unit(i));
        }
    }
}

NameListImage defaultInstanceList(qint32 blockIndex) noexcept
{
    NameListImage image;
    NameList list = image.list();
    auto addAll = [&list](const auto &names) {
        for (const char *name : names)
            list.addName(name);
    };
    if (blockIndex == 0)
        addAll(kBlockZeroNames);
    else if (blockIndex >= 1 && blockIndex <= 3)
        addAll(kSharedBlockNames);
    else
        addAll(kOtherBlockNames);
    return image;
}

} // namespace kx
