// A string field: a _kxString<N> or _kxString8_allSize<N> at a byte offset of a
// record, or a local string seen as its bytes. The only way to read or write
// a string's length and units. Every read takes a stored length above the
// capacity as the capacity; every write touches only the bytes the operation
// defines, so the rest of the field keeps what it held.
//
//   auto name = kx::stringField<kx::Client::NameField>(client, kx::Client::kNameOffset);
//   if (name.load().isEqual(wanted)) ...
//   kx::stringField<kx::PluginInfo::NameField>(info, kx::PluginInfo::kNameOffset).store("kxMessage");
//   kx::MessageBox box;  kx::stringOf(box).assign(text);
#ifndef KXSTRINGFIELD_H
#define KXSTRINGFIELD_H

#include "detail/kxRecordBytes.h"
#include "kxSharedLayout.h"

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
    static constexpr bool kWide = sizeof(typename Layout::Unit) == 2;

public:
    using Unit = typename Layout::Unit;

    StringField(Byte *record, std::size_t offset) noexcept : m_field(record + offset) {}

    static constexpr int capacity() noexcept { return Layout::kCapacity; }
    quint16 storedLength() const noexcept { return readAt<quint16>(m_field, Layout::kLength); }
    int length() const noexcept { return std::min<int>(storedLength(), capacity()); }
    bool isEmpty() const noexcept { return length() == 0; }
    Unit unit(int index) const noexcept { return readAt<Unit>(m_field, unitOffset(index)); }

    // A local copy whose length is clamped and terminator restored.
    KxString load() const noexcept
    {
        KxString value;
        std::memcpy(static_cast<void *>(&value), m_field, Layout::kSize);
        StringField<KxString, unsigned char> copy(reinterpret_cast<unsigned char *>(&value), 0);
        copy.setLength(length());
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

    // The length (clamped to 0..capacity) and the terminator behind it.
    void setLength(int length) noexcept
    {
        const int clamped = std::clamp(length, 0, capacity());
        writeAt<quint16>(m_field, Layout::kLength, quint16(clamped));
        writeAt<Unit>(m_field, unitOffset(clamped), 0);
    }

    // The length as stored in value, its text and the terminator behind it.
    void store(const KxString &value) noexcept
    {
        const StringField<KxString, const unsigned char> source(reinterpret_cast<const unsigned char *>(&value), 0);
        writeAt<quint16>(m_field, Layout::kLength, source.storedLength());
        std::memcpy(m_field + Layout::kText, source.m_field + Layout::kText,
                    sizeof(Unit) * (std::size_t(source.length()) + 1));
    }
    // The length as stored in value and all capacity + 1 units, the ones behind
    // the terminator too; the reserved field keeps its bytes.
    void storeAllUnits(const KxString &value) noexcept
    {
        const auto *source = reinterpret_cast<const unsigned char *>(&value);
        std::memcpy(m_field + Layout::kLength, source + Layout::kLength, sizeof(quint16));
        std::memcpy(m_field + Layout::kText, source + Layout::kText, Layout::kSize - Layout::kText);
    }
    // Every byte of the field as the local copy holds them, reserved field and
    // the units behind the terminator too.
    void storeWhole(const KxString &value) noexcept { std::memcpy(m_field, static_cast<const void *>(&value), Layout::kSize); }
    // 8-bit text, one unit a byte, as far as it fits.
    void store(const char *latin1) noexcept
    {
        int n = 0;
        for (; latin1 && latin1[n] && n < capacity(); ++n)
            setUnit(n, Unit(static_cast<unsigned char>(latin1[n])));
        setLength(n);
    }
    // The leading units that fit (Latin-1 for an 8-bit field, "?" outside it).
    void assign(const QString &value) noexcept
    {
        const int n = int(std::min<qsizetype>(value.size(), capacity()));
        const QChar *units = value.constData();
        if constexpr (kWide) {
            std::memcpy(m_field + Layout::kText, units, sizeof(char16_t) * std::size_t(n));
        } else {
            for (int i = 0; i < n; ++i)
                setUnit(i, units[i].unicode() < 256 ? char(units[i].unicode()) : '?');
        }
        setLength(n);
    }

    // One unit of the text, and nothing else of the field.
    void setUnit(int index, Unit unit) noexcept { writeAt<Unit>(m_field, unitOffset(index), unit); }

private:
    template <typename, typename>
    friend class StringField;

    static std::size_t unitOffset(int index) noexcept { return Layout::kText + sizeof(Unit) * std::size_t(index); }

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

// A local string seen as its bytes.
template <typename KxString>
StringField<KxString, unsigned char> stringOf(KxString &value) noexcept
{
    return {reinterpret_cast<unsigned char *>(&value), 0};
}

template <typename KxString>
StringField<KxString, const unsigned char> stringOf(const KxString &value) noexcept
{
    return {reinterpret_cast<const unsigned char *>(&value), 0};
}

} // namespace kx

#endif // KXSTRINGFIELD_H
