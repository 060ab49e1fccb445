#include "kxTableEntry.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"

#include <cstring>

namespace kx {

TableEntry::FirstText TableEntry::firstText() const noexcept
{
    return stringField<FirstText>(m_bytes, kFirstTextOffset).load();
}

TableEntry::ThirdText TableEntry::thirdText() const noexcept
{
    return stringField<ThirdText>(m_bytes, kThirdTextOffset).load();
}

void TableEntry::setCode(const QString &text) noexcept
{
    // Only the length, the characters and the zero behind them are written.
    auto code = stringField<Code>(m_bytes, kCodeOffset);
    code.assign(text.left(kCodeLength));
    for (int length = code.length(); length < kCodeLength; ++length) {
        code.setUnit(length, kCodePadding);
        code.setLength(length + 1);
    }
}

void TableEntry::resetEntry() noexcept
{
    setCode(QString());
    stringField<FirstText>(m_bytes, kFirstTextOffset).clear();
    stringField<SecondText>(m_bytes, kSecondTextOffset).clear();
    stringField<ThirdText>(m_bytes, kThirdTextOffset).clear();
    writeAt<quint16>(m_bytes, kWordOffset, 0);
    writeAt<qint32>(m_bytes, kValueOffset, -1);
}

void TableEntry::copyFrom(const TableEntry &other) noexcept
{
    std::memmove(m_bytes, other.m_bytes, kSize);
}

} // namespace kx
