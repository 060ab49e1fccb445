// Stored lengths are the server's and may be anything: reading a string field
// never goes past the field, whatever length it claims. Each field is placed
// so that it ends where an inaccessible page begins.
#include "kxRecordAccess.h"
#include "kxShared.h"

#include <gtest/gtest.h>

#include <cstring>

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

        const QString text = kx::readText<kCapacity>(field, 0);
        EXPECT_EQ(text.size(), length.expected);
        EXPECT_EQ(text, QString(length.expected, QLatin1Char('A')));

        const Field copy = kx::loadString<Field>(field, 0);
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
    const QString text = kx::readText<kCapacity>(field, 0);
    EXPECT_EQ(text, QString::fromUtf16(units, int(std::size(units))));
}

} // namespace
