#include "jobIDText.h"
#include "kxJobIdTextParser.h"

#include <gtest/gtest.h>

namespace {
struct ParsedId
{
    const char *text;
    int letterByte;
    quint32 number;
};

// The smallest number that shows the three upper characters is their value times 10000.
const ParsedId kParsedIds[] = {
    {"{AAA }", 0, 0},          {"{AAAa}", 1, 0},           {"{AAAz}", 24, 0},
    {"{AAAba}", 25, 0},        {"{AAAlq}", 255, 0},        {"{AABa}", 1, 10000},
    {"{KT9a}", 1, 123450000},  {"{---a}", 1, 466550000},   {"{HPRa}", 1, 95920000},
};

TEST(JobIdTextParser, GivesTheSmallestValueShowingTheText)
{
    for (const ParsedId &expected : kParsedIds) {
        SCOPED_TRACE(expected.text);
        kx::JobId id{};
        ASSERT_TRUE(kx::host::parseJobIdText(QString::fromLatin1(expected.text), &id));
        EXPECT_EQ(id[0], expected.letterByte);
        const quint32 number = quint32(id[3]) | quint32(id[4]) << 8 | quint32(id[5]) << 16 | quint32(id[6]) << 24;
        EXPECT_EQ(number, expected.number);
        EXPECT_EQ(id[1] | id[2] | id[7], 0);
        EXPECT_EQ(kx::jobIDText(id), QString::fromLatin1(expected.text));
    }
}

TEST(JobIdTextParser, RefusesTextsNoValueShows)
{
    const char *const refused[] = {
        "{KT9a",   "KT9a}",  "{KT9}",   "{KT9ab c}", "{IT9a}",  "{K09a}", "{KT9m}",
        "{KT9aa}", // a two-letter part never starts with a: after z comes ba
        "{KT9lr}", // letter byte 256
        "{KT9zz}", "{kt9a}", "",        "{KT9A}",
    };
    for (const char *text : refused) {
        SCOPED_TRACE(text);
        kx::JobId id{};
        EXPECT_FALSE(kx::host::parseJobIdText(QString::fromLatin1(text), &id));
    }
}

TEST(JobIdTextParser, EveryLetterByteRoundTrips)
{
    for (int c = 0; c < 256; ++c) {
        kx::JobId id{};
        id[0] = static_cast<unsigned char>(c);
        kx::JobId parsed{};
        ASSERT_TRUE(kx::host::parseJobIdText(kx::jobIDText(id), &parsed)) << c;
        EXPECT_EQ(parsed[0], c);
    }
}
} // namespace
