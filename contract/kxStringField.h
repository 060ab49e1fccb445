// A string field of a record: a _kxString<N> or _kxString8_allSize<N> at a
// byte offset. The only way to read or write one. Every read takes a stored
// length above the capacity as the capacity; every write touches only the
// bytes the operation defines, so the rest of the field keeps what it held.
//
//   auto name = kx::stringField<kx::Client::NameField>(client, kx::Client::kNameOffset);
//   if (name.load().isEqual(wanted)) ...
//   kx::stringField<kx::PluginInfo::NameField>(info, kx::PluginInfo::kNameOffset).store("kxMessage");
#ifndef KXSTRINGFIELD_H
#define KXSTRINGFIELD_H

#include "detail/kxRecordBytes.h"
#include "kxShared.h"

#include <QtCore/QString>
#include <QtCore/QVarLengthArray>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace kx {

// Byte is const unsigned char for a view that only reads; see stringField().
template <typename KxString, typename Byte>
class StringField
{
    using Layout = detail::StringLayout<KxString>;
    using Unit = typename Layout::Unit;
    static constexpr bool kWide = sizeof(Unit) == 2;

public:
    StringField(Byte *record, std::size_t offset) noexcept : m_field(record + offset) {}

    static constexpr int capacity() noexcept { return KxString::capacity(); }
    quint16 storedLength() const noexcept { return readAt<quint16>(m_field, Layout::kLength); }
    int length() const noexcept { return std::min<int>(storedLength(), capacity()); }
    bool isEmpty() const noexcept { return length() == 0; }

    // A local copy whose length is clamped and terminator restored.
    KxString load() const noexcept
    {
        KxString value = readAt<KxString>(m_field, 0);
        value.setLength(value.length());
        return value;
    }

    QString text() const { return text(capacity()); }
    // The stored count of units, read whole up to maxUnits: the room the
    // caller knows, which for a text of the server's capacity may be more
    // than this type's. As QString::fromUtf16 reads it: a leading byte-order
    // mark is dropped, a swapped one swaps the rest.
    QString text(int maxUnits) const
    {
        const int count = std::max(0, std::min<int>(storedLength(), maxUnits));
        if constexpr (kWide) {
            // An aligned copy: the record may sit at any address.
            QVarLengthArray<char16_t, 256> units(count);
            std::memcpy(units.data(), m_field + Layout::kText, sizeof(char16_t) * std::size_t(count));
            return QString::fromUtf16(units.constData(), count);
        } else {
            return QString::fromLatin1(reinterpret_cast<const char *>(m_field + Layout::kText), count);
        }
    }

    // Same length and the same units, compared in place.
    bool holds(const QString &value) const noexcept
    {
        static_assert(kWide);
        const int n = length();
        return n == int(value.size())
               && std::memcmp(m_field + Layout::kText, value.constData(), sizeof(char16_t) * std::size_t(n)) == 0;
    }

    // Length 0 and the terminator in the first unit.
    void clear() noexcept
    {
        writeAt<quint16>(m_field, Layout::kLength, 0);
        writeAt<Unit>(m_field, Layout::kText, 0);
    }

    // Default construction inside a record: clear, and for _kxString the reserved field 0.
    void construct() noexcept
    {
        clear();
        if constexpr (kWide)
            writeAt<quint16>(m_field, Layout::kReserved, 0);
    }

    // The length as stored in value, its text and the terminator behind it.
    void store(const KxString &value) noexcept
    {
        writeAt<quint16>(m_field, Layout::kLength, value.storedLength());
        std::memcpy(m_field + Layout::kText, value.constData(), sizeof(Unit) * (std::size_t(value.length()) + 1));
    }
    // Every byte of the field as the local copy holds them, reserved field and
    // the units behind the terminator too.
    void storeWhole(const KxString &value) noexcept { writeAt(m_field, 0, value); }
    // 8-bit text, one unit a character, as far as it fits.
    void store(const char *latin1) noexcept { store(KxString(latin1)); }
    // The leading units that fit (Latin-1 for an 8-bit field, "?" outside it).
    void assign(const QString &value) noexcept
    {
        KxString local;
        local.assign(value);
        store(local);
    }

    // One unit of the text, and nothing else of the field.
    void setUnit(int index, Unit unit) noexcept
    {
        writeAt<Unit>(m_field, Layout::kText + sizeof(Unit) * std::size_t(index), unit);
    }

private:
    Byte *m_field;
};

template <typename KxString>
StringField<KxString, unsigned char> stringField(void *record, std::size_t offset) noexcept
{
    return {static_cast<unsigned char *>(record), offset};
}

template <typename KxString>
StringField<KxString, const unsigned char> stringField(const void *record, std::size_t offset) noexcept
{
    return {static_cast<const unsigned char *>(record), offset};
}

} // namespace kx

#endif // KXSTRINGFIELD_H
