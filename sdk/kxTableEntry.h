// TableEntry: one of the 100 entries of a client's entry table. 260 bytes,
// byte-packed: three texts, a five-character code, a word and a value.
#ifndef KXTABLEENTRY_H
#define KXTABLEENTRY_H

#include "kxSharedLayout.h"

#include <QtCore/QString>

#include <cstddef>

namespace kx {

class TableEntry
{
public:
    using FirstText = _kxString8_allSize<150>;
    using SecondText = _kxString8_allSize<50>;
    using ThirdText = _kxString8_allSize<25>;
    using Code = _kxString8_allSize<15>;

    static constexpr std::size_t kFirstTextOffset = 0;
    static constexpr std::size_t kSecondTextOffset = 154;
    static constexpr std::size_t kThirdTextOffset = 208;
    static constexpr std::size_t kCodeOffset = 236;
    static constexpr std::size_t kWordOffset = 254;  // u16
    static constexpr std::size_t kValueOffset = 256; // i32, -1 when reset
    static constexpr std::size_t kSize = 260;

    static constexpr int kCodeLength = 5;
    static constexpr char kCodePadding = '0';

    explicit TableEntry(unsigned char *bytes) noexcept : m_bytes(bytes) {}

    FirstText firstText() const noexcept;
    ThirdText thirdText() const noexcept;

    // The first five UTF-16 units of text as Latin-1 ("?" outside it),
    // padded on the right with "0" to five characters.
    void setCode(const QString &text) noexcept;
    void resetEntry() noexcept;
    // Every field of the other entry; the entries may be the same.
    void copyFrom(const TableEntry &other) noexcept;

private:
    unsigned char *m_bytes;
};

static_assert(TableEntry::kFirstTextOffset + sizeof(TableEntry::FirstText) == TableEntry::kSecondTextOffset);
static_assert(TableEntry::kSecondTextOffset + sizeof(TableEntry::SecondText) == TableEntry::kThirdTextOffset);
static_assert(TableEntry::kThirdTextOffset + sizeof(TableEntry::ThirdText) == TableEntry::kCodeOffset);
static_assert(TableEntry::kCodeOffset + sizeof(TableEntry::Code) == TableEntry::kWordOffset);
static_assert(TableEntry::kWordOffset + 2 == TableEntry::kValueOffset);
static_assert(TableEntry::kValueOffset + 4 == TableEntry::kSize);
static_assert(TableEntry::kCodeLength <= detail::StringLayout<TableEntry::Code>::kCapacity);

} // namespace kx

#endif // KXTABLEENTRY_H
