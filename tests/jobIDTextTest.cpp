// The job ID's text, and kxhost's reading of it back.
#include "jobIDText.h"
#include "kxJobIdTextParser.h"

#include <gtest/gtest.h>

namespace {

kx::JobId makeId(int letterByte, quint32 number, quint8 filler = 0)
{
    kx::JobId id{};
    id.fill(filler);
    id[0] = quint8(letterByte);
    for (int i = 0; i < 4; ++i)
        id[std::size_t(3 + i)] = quint8(number >> (8 * i));
    return id;
}

// The number's four bytes, little-endian behind the letter byte and two unused ones; both ways, also
// at compile time, where reading or shifting past them would not compile.
constexpr bool sameBytes(const kx::JobId &a, const kx::JobId &b)
{
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}
constexpr kx::JobId kNumbered = kx::makeJobId(7, 0x89ABCDEFu);
static_assert(sameBytes(kNumbered, kx::JobId{7, 0, 0, 0xEF, 0xCD, 0xAB, 0x89, 0}));
static_assert(kx::jobIdNumber(kNumbered) == 0x89ABCDEFu);
static_assert(kx::jobIdNumber(kx::JobId{0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 0xFF}) == 0x04030201u);

// Each row: the ID, its text, and the smallest number kxhost reads from the text.
TEST(JobIDText, KnownTextsBothWays)
{
    const struct {
        int letterByte;
        quint32 number;
        const char *text;
        quint32 parsed;
    } cases[] = {
        {0, 0, "{AAA }", 0},           {1, 0, "{AAAa}", 0},           {24, 0, "{AAAz}", 0},
        {25, 0, "{AAAba}", 0},         {26, 0, "{AAAbb}", 0},         {255, 0, "{AAAlq}", 0},
        {1, 9999, "{AAAa}", 0},        {1, 10000, "{AABa}", 10000},   {1, 123456789, "{KT9a}", 123450000},
        {1, 466560000, "{AAAa}", 0},   {1, 4294967295u, "{HPRa}", 95920000},
        {1, 35 * 10000, "{AA-a}", 350000}, {1, 35 * 36 * 10000, "{A-Aa}", 12600000},
        {1, 35u * 1296u * 10000u, "{-AAa}", 453600000}, {1, 466550000, "{---a}", 466550000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        for (const quint8 filler : {quint8(0), quint8(0x5A), quint8(0xFF)}) // unused bytes never change the text
            EXPECT_EQ(kx::jobIDText(makeId(c.letterByte, c.number, filler)), QString::fromLatin1(c.text));
        kx::JobId parsed{};
        ASSERT_TRUE(kx::host::parseJobIdText(QString::fromLatin1(c.text), &parsed));
        EXPECT_EQ(parsed, makeId(c.letterByte, c.parsed));
    }
}

TEST(JobIDText, EveryLetterByteRoundTrips)
{
    for (int c = 0; c < 256; ++c) {
        const QString text = kx::jobIDText(makeId(c, 0));
        EXPECT_EQ(text.size(), c <= 24 ? 6 : 7) << c;
        EXPECT_FALSE(text.contains(QLatin1Char('i')) || text.contains(QLatin1Char('m'))) << c;
        kx::JobId parsed{};
        ASSERT_TRUE(kx::host::parseJobIdText(text, &parsed)) << c;
        EXPECT_EQ(parsed, makeId(c, 0));
    }
    for (const char *text : {"{KT9a", "KT9a}", "{KT9}", "{KT9ab c}", "{IT9a}", "{K09a}", "{KT9m}", "{KT9aa}",
                             "{KT9lr}", "{KT9zz}", "{kt9a}", "", "{KT9A}"}) {
        kx::JobId parsed{};
        EXPECT_FALSE(kx::host::parseJobIdText(QString::fromLatin1(text), &parsed)) << text;
    }
}

} // namespace
