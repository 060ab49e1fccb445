#include "kxTableEntry.h"

#include "kxRecordAccess.h"
#include "kxStringFields.h"

#include <cstring>

namespace kx {

TableEntry::FirstText TableEntry::firstText() const noexcept
{
    return loadString<FirstText>(m_bytes, kFirstTextOffset);
}

TableEntry::ThirdText TableEntry::thirdText() const noexcept
{
    return loadString<ThirdText>(m_bytes, kThirdTextOffset);
}

void TableEntry::setCode(const QString &text) noexcept
{
    Code field;
    field.assign(text.left(kCodeLength));
    for (int length = field.length(); length < kCodeLength; ++length) {
        field.data()[length] = kCodePadding;
        field.setLength(length + 1);
    }
    // Only the length, the characters and the zero behind them are written.
    storeStringTextAt(m_bytes, kCodeOffset, field);
}

void TableEntry::resetEntry() noexcept
{
    setCode(QString());
    clearStringAt<FirstText>(m_bytes, kFirstTextOffset);
    clearStringAt<SecondText>(m_bytes, kSecondTextOffset);
    clearStringAt<ThirdText>(m_bytes, kThirdTextOffset);
    writeAt<quint16>(m_bytes, kWordOffset, 0);
    writeAt<qint32>(m_bytes, kValueOffset, -1);
}

void TableEntry::copyFrom(const TableEntry &other) noexcept
{
    std::memmove(m_bytes, other.m_bytes, kSize);
}

} // namespace kx
