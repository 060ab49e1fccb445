#include "jobIDText.h"

#include <gtest/gtest.h>

namespace {

kx::JobId makeId(quint8 letterByte, quint32 number, quint8 filler = 0)
{
    kx::JobId id{};
    id.fill(filler);
    id[0] = letterByte;
    for (int i = 0; i < 4; ++i)
        id[std::size_t(3 + i)] = static_cast<unsigned char>(number >> (8 * i));
    return id;
}

struct JobIdCase
{
    quint8 letterByte;
    quint32 number;
    const char *text;
};

class JobIDTextTable : public ::testing::TestWithParam<JobIdCase>
{
};

TEST_P(JobIDTextTable, GivesTheKnownText)
{
    const JobIdCase &c = GetParam();
    EXPECT_EQ(kx::jobIDText(makeId(c.letterByte, c.number)), QString::fromLatin1(c.text));
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, JobIDTextTable,
                         ::testing::Values(JobIdCase{0, 0, "{AAA }"},
                                           JobIdCase{1, 0, "{AAAa}"},
                                           JobIdCase{24, 0, "{AAAz}"},
                                           JobIdCase{25, 0, "{AAAba}"},
                                           JobIdCase{26, 0, "{AAAbb}"},
                                           JobIdCase{255, 0, "{AAAlq}"},
                                           JobIdCase{1, 9999, "{AAAa}"},
                                           JobIdCase{1, 10000, "{AABa}"},
                                           JobIdCase{1, 123456789, "{KT9a}"},
                                           JobIdCase{1, 466560000, "{AAAa}"},
                                           JobIdCase{1, 4294967295u, "{HPRa}"},
                                           // Each of the three upper digits at its last letter.
                                           JobIdCase{1, 35 * 10000, "{AA-a}"},
                                           JobIdCase{1, 35 * 36 * 10000, "{A-Aa}"},
                                           JobIdCase{1, 35u * 1296u * 10000u, "{-AAa}"}));

TEST(JobIDText, UnusedBytesNeverChangeTheText)
{
    const QString expected = kx::jobIDText(makeId(1, 123456789));
    for (int filler : {0x00, 0x5A, 0xFF}) {
        kx::JobId id = makeId(1, 123456789);
        id[1] = id[2] = id[7] = static_cast<unsigned char>(filler);
        EXPECT_EQ(kx::jobIDText(id), expected) << "filler " << filler;
    }
}

TEST(JobIDText, LengthFollowsTheLetterPart)
{
    for (int c = 0; c < 256; ++c) {
        const QString text = kx::jobIDText(makeId(quint8(c), 0));
        const int expectedLength = (c >= 1 && c <= 24) || c == 0 ? 6 : 7;
        EXPECT_EQ(text.size(), expectedLength) << c;
        EXPECT_FALSE(text.contains(QLatin1Char('i')) || text.contains(QLatin1Char('m'))) << c;
    }
}

TEST(JobIDText, ReadsTheIdOfAJobRecordAtItsOffset)
{
    std::vector<unsigned char> job(4000, 0);
    const kx::JobId id = makeId(1, 123456789);
    std::copy(id.begin(), id.end(), job.begin() + 3460);
    EXPECT_EQ(kx::jobIDTextOfJob(reinterpret_cast<const _kxJob *>(job.data())), QStringLiteral("{KT9a}"));
}

} // namespace
