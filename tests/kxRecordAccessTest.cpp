// Stored lengths are the server's and may be anything: reading a string field
// never goes past the field, whatever length it claims. Each field is placed
// so that it ends where an inaccessible page begins.
#include "kxStringField.h"
#include "kxShared.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <sys/mman.h>
#  include <unistd.h>
#endif

namespace {

constexpr int kCapacity = 50;
using Field = _kxString<kCapacity>;

// A field whose last byte is followed by an inaccessible page.
class FieldAtPageEnd
{
public:
#if defined(_WIN32)
    FieldAtPageEnd()
        : m_pageSize(4096)
    {
        void *pages = VirtualAlloc(nullptr, 2 * m_pageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        m_pages = static_cast<unsigned char *>(pages);
        DWORD old = 0;
        if (m_pages)
            VirtualProtect(m_pages + m_pageSize, m_pageSize, PAGE_NOACCESS, &old);
    }
    ~FieldAtPageEnd()
    {
        if (m_pages)
            VirtualFree(m_pages, 0, MEM_RELEASE);
    }
#else
    FieldAtPageEnd()
        : m_pageSize(std::size_t(sysconf(_SC_PAGESIZE)))
    {
        void *pages = mmap(nullptr, 2 * m_pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_pages = pages == MAP_FAILED ? nullptr : static_cast<unsigned char *>(pages);
        if (m_pages)
            mprotect(m_pages + m_pageSize, m_pageSize, PROT_NONE);
    }
    ~FieldAtPageEnd()
    {
        if (m_pages)
            munmap(m_pages, 2 * m_pageSize);
    }
#endif
    unsigned char *field() const { return m_pages ? m_pages + m_pageSize - sizeof(Field) : nullptr; }

private:
    std::size_t m_pageSize;
    unsigned char *m_pages;
};

struct StoredLength
{
    quint16 stored;
    int expected;
};
const StoredLength kStoredLengths[] = {
    {0, 0}, {1, 1}, {kCapacity - 1, kCapacity - 1}, {kCapacity, kCapacity},
    {kCapacity + 1, kCapacity}, {kCapacity + 2, kCapacity}, {0x7FFF, kCapacity}, {0xFFFF, kCapacity},
};

TEST(KxRecordAccessTest, StoredLengthIsClampedToTheField)
{
    FieldAtPageEnd page;
    unsigned char *field = page.field();
    ASSERT_NE(field, nullptr);
    for (const StoredLength &length : kStoredLengths) {
        SCOPED_TRACE(length.stored);
        // Text 'A'... with no terminator anywhere, the length at offset 0.
        std::memset(field, 0, sizeof(Field));
        for (int i = 0; i < kCapacity + 1; ++i)
            kx::writeAt<char16_t>(field, 4 + 2 * std::size_t(i), u'A');
        kx::writeAt<quint16>(field, 0, length.stored);

        const QString text = kx::stringField<_kxString<kCapacity>>(field, 0).text();
        EXPECT_EQ(text.size(), length.expected);
        EXPECT_EQ(text, QString(length.expected, QLatin1Char('A')));

        const Field copy = kx::stringField<Field>(field, 0).load();
        EXPECT_EQ(copy.length(), length.expected);
        EXPECT_EQ(copy.storedLength(), length.expected);
        // The copy is terminated behind its clamped length.
        EXPECT_EQ(kx::readAt<char16_t>(&copy, 4 + 2 * std::size_t(length.expected)), u'\0');
    }
}

// Zero characters inside a text are characters like any other: the stored
// length decides where a text ends, not the first zero unit.
TEST(KxRecordAccessTest, ZeroUnitsInsideTheTextAreKept)
{
    FieldAtPageEnd page;
    unsigned char *field = page.field();
    ASSERT_NE(field, nullptr);
    std::memset(field, 0, sizeof(Field));
    const char16_t units[] = {u'a', u'\0', u'b', 0x20AC, 0xD83D, 0xDE00, u'\0'};
    for (std::size_t i = 0; i < std::size(units); ++i)
        kx::writeAt<char16_t>(field, 4 + 2 * i, units[i]);
    kx::writeAt<quint16>(field, 0, quint16(std::size(units)));
    const QString text = kx::stringField<_kxString<kCapacity>>(field, 0).text();
    EXPECT_EQ(text, QString::fromUtf16(units, int(std::size(units))));
}

// A text is read as QString::fromUtf16 reads the stored count: a leading
// byte-order mark is dropped, a swapped one swaps every unit behind it, and
// a mark further in is a character. The field sits at an odd address.
TEST(KxRecordAccessTest, TextIsReadAsUtf16WithItsByteOrderMark)
{
    const struct {
        const char *what;
        std::vector<char16_t> units;
        QString expected;
    } cases[] = {
        {"leading mark", {0xFEFF, u'a', u'b'}, QStringLiteral("ab")},
        {"leading swapped mark", {0xFFFE, 0x6100, 0x6200}, QStringLiteral("ab")},
        {"only a mark", {0xFEFF}, QString()},
        {"two marks", {0xFEFF, 0xFEFF, u'a'}, QString(QChar(0xFEFF)) + QLatin1Char('a')},
        {"mark further in", {u'a', 0xFEFF}, QLatin1Char('a') + QString(QChar(0xFEFF))},
        {"swapped mark further in", {u'a', 0xFFFE}, QLatin1Char('a') + QString(QChar(0xFFFE))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> storage(1 + sizeof(Field), 0);
        unsigned char *field = storage.data() + 1;
        kx::writeAt<quint16>(field, 0, quint16(c.units.size()));
        for (std::size_t i = 0; i < c.units.size(); ++i)
            kx::writeAt<char16_t>(field, 4 + 2 * i, c.units[i]);
        EXPECT_EQ(kx::stringField<_kxString<kCapacity>>(field, 0).text(), c.expected);
    }
}

// The bound a caller gives is the most that is read, whatever the count.
TEST(KxRecordAccessTest, ReadTextStopsAtTheGivenRoom)
{
    FieldAtPageEnd page;
    unsigned char *field = page.field();
    ASSERT_NE(field, nullptr);
    for (int i = 0; i < kCapacity + 1; ++i)
        kx::writeAt<char16_t>(field, 4 + 2 * std::size_t(i), u'A');
    kx::writeAt<quint16>(field, 0, 0xFFFF);
    EXPECT_EQ(kx::stringField<_kxString<kCapacity>>(field, 0).text(kCapacity + 1), QString(kCapacity + 1, QLatin1Char('A')));
    EXPECT_EQ(kx::stringField<_kxString<kCapacity>>(field, 0).text(3), QStringLiteral("AAA"));
    EXPECT_EQ(kx::stringField<_kxString<kCapacity>>(field, 0).text(0), QString());
}

} // namespace
