#include "kxClient.h"
#include "kxClientImage.h"
#include "kxStringField.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <vector>

using namespace kxtest;

namespace {

constexpr std::size_t kCovered = 107732;
constexpr std::size_t kNameAt = 107738;
constexpr std::size_t kBlocksAt = 3856;
constexpr std::size_t kBlockSize = 1072;
constexpr std::size_t kEntriesAt = 13364;
constexpr std::size_t kEntrySize = 260;
constexpr std::size_t kEntryCountAt = 13360;

// A record placed one byte past an aligned address, so that no field of it
// is naturally aligned.
struct OddRecord
{
    OddRecord() : storage(_kxClient::kRecordSize + 16, 0)
    {
        bytes = storage.data() + 1;
        client = _kxClient::constructAt(bytes);
    }
    std::vector<unsigned char> storage;
    unsigned char *bytes;
    _kxClient *client;
};

std::size_t blockAt(int index)
{
    return kBlocksAt + kBlockSize * std::size_t(index);
}

std::size_t blockNameAt(int block, int slot)
{
    return blockAt(block) + 4 + 106 * std::size_t(slot);
}

std::size_t blockCountAt(int block)
{
    return blockAt(block) + 4 + 1060;
}

std::size_t blockCaseAt(int block)
{
    return blockAt(block) + 4 + 1064;
}

Bytes expectedClearedImage()
{
    Bytes image(kCovered, 0);
    unsigned char *at = image.data();
    put32(at, 0, 0xFFFFFFFFu);
    put16(at, 4, 2);

    const std::vector<std::vector<std::string>> blockNames = {
        {"3d", "execute", "comp", "archive"},
        {"comp", "archive"}, {"comp", "archive"}, {"comp", "archive"},
        {"gpuonly"}, {"gpuonly"}, {"gpuonly"}, {"gpuonly"}};
    for (int block = 0; block < 8; ++block) {
        put16(at, blockAt(block), 0xFFFF);
        put8(at, blockAt(block) + 2, 1);
        const auto &names = blockNames[std::size_t(block)];
        for (std::size_t slot = 0; slot < names.size(); ++slot)
            putWideName(at, blockNameAt(block, int(slot)), names[slot]);
        put32(at, blockCountAt(block), std::uint32_t(names.size()));
    }

    put8(at, 12432, 1);
    for (std::size_t offset = 12439; offset <= 12446; ++offset)
        put8(at, offset, 1);
    for (std::size_t offset : {12449, 12453, 12455})
        put8(at, offset, 1);
    put16(at, 12465, 1);

    for (std::size_t offset = 12478; offset <= 12556; offset += 2)
        put16(at, offset, 1);
    const std::vector<std::pair<std::size_t, unsigned>> words = {
        {12478, 45}, {12480, 0}, {12484, 75}, {12486, 300}, {12488, 25}, {12490, 45},
        {12492, 3}, {12494, 140}, {12496, 25}, {12506, 0}, {12508, 0}, {12510, 6},
        {12512, 9}, {12514, 17}, {12522, 0}, {12524, 20}, {12526, 10}, {12544, 15}};
    for (const auto &[offset, value] : words)
        put16(at, offset, value);
    for (std::size_t offset = 12528; offset <= 12542; offset += 2)
        put16(at, offset, 0);
    put32(at, 12868, 34);
    put32(at, 12872, 29);

    // State block after validation.
    put32(at, 12876, 1);
    put16(at, 12884, 1);
    put16(at, 12886, 1);
    put8(at, 12893, 255);
    put8(at, 12894, 1);
    return image;
}

void expectImage(const unsigned char *actual, const Bytes &expected)
{
    const long difference = firstDifference(actual, expected.data(), expected.size());
    EXPECT_EQ(difference, -1) << "byte " << difference << " is " << int(actual[difference])
                              << ", expected " << int(expected[std::size_t(difference)]);
}

} // namespace

TEST(ClientRecord, ConstructionGivesTheClearedImage)
{
    auto client = std::make_unique<_kxClient>();
    expectImage(client->bytes(), expectedClearedImage());
}

TEST(ClientRecord, ClearRestoresTheImageAndKeepsTheName)
{
    OddRecord record;
    std::memset(record.bytes, 0x5A, _kxClient::kRecordSize);
    record.client->clear();
    expectImage(record.bytes, expectedClearedImage());
    for (std::size_t i = kCovered; i < _kxClient::kRecordSize; ++i)
        ASSERT_EQ(record.bytes[i], 0x5A) << i;
}

TEST(ClientRecord, ConstructionAtAnOddAddressKeepsTheBytesBehind)
{
    std::vector<unsigned char> storage(_kxClient::kRecordSize + 3, 0x11);
    unsigned char *bytes = storage.data() + 3;
    putWideName(bytes, 0, "x"); // overwritten by construction
    bytes[kNameAt] = 7;
    _kxClient::constructAt(bytes);
    expectImage(bytes, expectedClearedImage());
    EXPECT_EQ(bytes[kNameAt], 7);
    EXPECT_EQ(bytes[_kxClient::kRecordSize - 1], 0x11);
}

// Construction as C++ runs it, the name written just before in the same
// function: a compiler may drop stores to an object's storage that its
// construction makes dead. This file is built optimised for that reason.
Q_NEVER_INLINE _kxClient *constructOverNamedRecord(unsigned char *record, const char *name)
{
    kx::writeAt(record, kNameAt, kx::Client::NameField(name));
    return new (record) _kxClient;
}

TEST(ClientRecord, ConstructionInPlaceKeepsTheName)
{
    std::vector<unsigned char> storage(_kxClient::kRecordSize + 1, 0x11);
    unsigned char *bytes = storage.data() + 1;
    constructOverNamedRecord(bytes, "render01");
    expectImage(bytes, expectedClearedImage());
    EXPECT_EQ(kx::stringField<kx::Client::NameField>(bytes, kNameAt).load().toQString(), QStringLiteral("render01"));
    // The gap between the constructed bytes and the name is the server's too.
    for (std::size_t i = kCovered; i < kNameAt; ++i)
        EXPECT_EQ(bytes[i], 0x11) << i;
}

TEST(ClientRecord, ObjectCoversOnlyTheBytesItConstructs)
{
    EXPECT_EQ(sizeof(_kxClient), kCovered);
    EXPECT_LE(sizeof(_kxClient), kNameAt);
}

struct ValidateCase
{
    const char *what;
    std::size_t offset;
    int width; // 1, 2 or 4 bytes
    bool isSigned;
    long stored;
    long expected;
};

void PrintTo(const ValidateCase &c, std::ostream *out)
{
    *out << c.what;
}

class ClientValidate : public testing::TestWithParam<ValidateCase>
{
};

TEST_P(ClientValidate, ReplacesOutOfRangeValues)
{
    const ValidateCase &c = GetParam();
    OddRecord record;
    unsigned char *at = record.bytes;
    switch (c.width) {
    case 1: put8(at, c.offset, unsigned(c.stored) & 0xFF); break;
    case 2: put16(at, c.offset, unsigned(c.stored) & 0xFFFF); break;
    default: put32(at, c.offset, std::uint32_t(c.stored)); break;
    }
    record.client->validate();
    long actual = 0;
    switch (c.width) {
    case 1: actual = c.isSigned ? long(static_cast<signed char>(at[c.offset])) : long(at[c.offset]); break;
    case 2: actual = c.isSigned ? long(getSigned16(at, c.offset)) : long(get16(at, c.offset)); break;
    default: actual = c.isSigned ? long(std::int32_t(get32(at, c.offset))) : long(get32(at, c.offset)); break;
    }
    EXPECT_EQ(actual, c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ClientValidate,
    testing::Values(
        ValidateCase{"12492 at 0", 12492, 2, true, 0, 2}, ValidateCase{"12492 at -5", 12492, 2, true, -5, 2},
        ValidateCase{"12492 at 1", 12492, 2, true, 1, 1},
        ValidateCase{"12478 at 10", 12478, 2, true, 10, 15}, ValidateCase{"12478 at 15", 12478, 2, true, 15, 15},
        ValidateCase{"12478 at 16", 12478, 2, true, 16, 16},
        ValidateCase{"12486 at 50", 12486, 2, true, 50, 100}, ValidateCase{"12486 at 1000", 12486, 2, true, 1000, 1000},
        ValidateCase{"12486 at 5000", 12486, 2, true, 5000, 1000}, ValidateCase{"12486 at -3", 12486, 2, true, -3, 100},
        ValidateCase{"12494 at 0", 12494, 2, true, 0, 20}, ValidateCase{"12494 at 601", 12494, 2, true, 601, 600},
        ValidateCase{"12494 at 21", 12494, 2, true, 21, 21},
        ValidateCase{"12484 at 96", 12484, 2, true, 96, 95}, ValidateCase{"12484 at 14", 12484, 2, true, 14, 15},
        ValidateCase{"12488 at 4", 12488, 2, true, 4, 5}, ValidateCase{"12490 at 14", 12490, 2, true, 14, 15},
        ValidateCase{"12496 at -1", 12496, 2, true, -1, 0}, ValidateCase{"12496 at 301", 12496, 2, true, 301, 300},
        ValidateCase{"12482 at 7", 12482, 2, true, 7, 1},
        ValidateCase{"instance count 0", 12432, 1, false, 0, 1},
        ValidateCase{"instance count 9", 12432, 1, false, 9, 8},
        ValidateCase{"instance count 200", 12432, 1, false, 200, 8},
        ValidateCase{"instance count 8", 12432, 1, false, 8, 8},
        ValidateCase{"byte 6 at -1", 6, 1, true, -1, 0}, ValidateCase{"byte 6 at 7", 6, 1, true, 7, 5},
        ValidateCase{"byte 6 at 4", 6, 1, true, 4, 4},
        ValidateCase{"12886 at 0", 12886, 2, false, 0, 1}, ValidateCase{"12886 at 65535", 12886, 2, false, 65535, 65535},
        ValidateCase{"12884 at 0", 12884, 2, false, 0, 1},
        ValidateCase{"12876 at 0", 12876, 4, true, 0, 1}, ValidateCase{"12876 at -3", 12876, 4, true, -3, 1},
        ValidateCase{"12876 at 5", 12876, 4, true, 5, 5}));

TEST(ClientValidate, NegativeRatioBecomesZero)
{
    OddRecord record;
    for (const auto &[stored, expected] : std::vector<std::pair<float, float>>{{-2.5f, 0.0f}, {3.5f, 3.5f}}) {
        kx::writeAt(record.bytes, 12880, stored);
        record.client->validate();
        EXPECT_EQ(kx::readAt<float>(record.bytes, 12880), expected);
    }
}

TEST(ClientValidate, ResetSwitch)
{
    for (const unsigned resetSwitch : {0u, 1u}) {
        OddRecord record;
        unsigned char *at = record.bytes;
        put8(at, 12980, resetSwitch);
        putWideName(at, 13240, "abc");
        put8(at, 12434, 5);
        Bytes before(at, at + kCovered);
        record.client->validate();
        if (resetSwitch == 0) {
            expectImage(at, before);
            continue;
        }
        EXPECT_EQ(at[12894], 0);
        EXPECT_EQ(get16(at, 13240), 0u);
        EXPECT_EQ(get16(at, 13244), 0u);
        EXPECT_EQ(get16(at, 13246), unsigned('b')); // only the terminator moves
        EXPECT_EQ(at[12434], 0);
        EXPECT_EQ(at[12436], 1);
        EXPECT_EQ(at[12437], 1);
        EXPECT_EQ(at[12980], 1);
    }
}

TEST(ClientValidate, RepeatedValidationLeavesTheExecuteListAlone)
{
    OddRecord record;
    const Bytes before(record.bytes, record.bytes + kCovered);
    for (int i = 0; i < 12; ++i)
        record.client->validate();
    expectImage(record.bytes, before);
    EXPECT_EQ(get32(record.bytes, blockCountAt(0)), 4u);
}

// ---- the "Execute" rule

struct ExecuteCase
{
    const char *what;
    unsigned instanceCount;
    std::vector<std::vector<std::string>> lists; // raw names of blocks 0.. (count = size)
    unsigned block0CaseSensitive;
    std::vector<std::string> expectedBlock0;
};

void PrintTo(const ExecuteCase &c, std::ostream *out)
{
    *out << c.what;
}

class ClientExecuteRule : public testing::TestWithParam<ExecuteCase>
{
};

TEST_P(ClientExecuteRule, AddsExecuteOnlyWhenNoBlockInUseHasIt)
{
    const ExecuteCase &c = GetParam();
    OddRecord record;
    unsigned char *at = record.bytes;
    put8(at, 12432, c.instanceCount);
    for (std::size_t block = 0; block < c.lists.size(); ++block) {
        std::memset(at + blockNameAt(int(block), 0), 0, 1065);
        const auto &names = c.lists[block];
        for (std::size_t slot = 0; slot < names.size(); ++slot)
            putWideName(at, blockNameAt(int(block), int(slot)), names[slot]);
        put32(at, blockCountAt(int(block)), std::uint32_t(names.size()));
    }
    put8(at, blockCaseAt(0), c.block0CaseSensitive);
    record.client->validate();

    std::vector<std::string> block0;
    for (unsigned slot = 0; slot < get32(at, blockCountAt(0)); ++slot)
        block0.push_back(wideNameAt(at, blockNameAt(0, int(slot))));
    EXPECT_EQ(block0, c.expectedBlock0) << c.what;
}

const std::vector<std::string> kTenOthers = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ClientExecuteRule,
    testing::Values(
        ExecuteCase{"empty block 0", 1, {{}}, 0, {"execute"}},
        ExecuteCase{"case-sensitive block 0", 1, {{"3d"}}, 1, {"3d", "Execute"}},
        ExecuteCase{"star in block 1 in use", 2, {{"3d"}, {"*"}}, 0, {"3d"}},
        ExecuteCase{"star in block 1 unused", 1, {{"3d"}, {"*"}}, 0, {"3d", "execute"}},
        ExecuteCase{"EXECUTE in block 2", 3, {{"3d"}, {"comp"}, {"x", "y", "EXECUTE"}}, 0, {"3d"}},
        ExecuteCase{"star in block 0", 1, {{"*"}}, 0, {"*"}},
        ExecuteCase{"full block 0", 1, {kTenOthers}, 0, kTenOthers}));

TEST(ClientExecuteRule, NamesBeyondTheCountCount)
{
    OddRecord record;
    unsigned char *at = record.bytes;
    put32(at, blockCountAt(0), 0); // "execute" stays in slot 1, unused
    record.client->validate();
    EXPECT_EQ(get32(at, blockCountAt(0)), 0u);
}

// ---- entry-table compaction

struct CompactionCase
{
    const char *what;
    std::vector<std::pair<std::string, std::string>> entries; // first and third texts
    int storedCount;
    std::vector<std::string> expectedFirstTexts;
    // The count as stored afterwards: changed only when an entry was dropped.
    int expectedCount;
};

void PrintTo(const CompactionCase &c, std::ostream *out)
{
    *out << c.what;
}

class ClientCompaction : public testing::TestWithParam<CompactionCase>
{
};

void putEntry(unsigned char *at, int index, const std::string &first, const std::string &third, unsigned marker)
{
    unsigned char *entry = at + kEntriesAt + kEntrySize * std::size_t(index);
    put16(entry, 0, unsigned(first.size()));
    std::memcpy(entry + 2, first.data(), first.size());
    put16(entry, 208, unsigned(third.size()));
    std::memcpy(entry + 210, third.data(), third.size());
    put32(entry, 256, marker);
}

std::string firstTextOf(const unsigned char *at, int index)
{
    const unsigned char *entry = at + kEntriesAt + kEntrySize * std::size_t(index);
    return std::string(reinterpret_cast<const char *>(entry + 2), get16(entry, 0));
}

TEST_P(ClientCompaction, DropsEntriesWithAnEmptyFirstOrThirdText)
{
    const CompactionCase &c = GetParam();
    OddRecord record;
    unsigned char *at = record.bytes;
    for (std::size_t i = 0; i < c.entries.size(); ++i)
        putEntry(at, int(i), c.entries[i].first, c.entries[i].second, unsigned(1000 + i));
    put16(at, kEntryCountAt, unsigned(c.storedCount) & 0xFFFF);
    const Bytes before(at, at + _kxClient::kRecordSize);

    record.client->validate();

    const int count = getSigned16(at, kEntryCountAt);
    ASSERT_EQ(count, c.expectedCount) << c.what;
    for (std::size_t i = 0; i < c.expectedFirstTexts.size(); ++i)
        EXPECT_EQ(firstTextOf(at, int(i)), c.expectedFirstTexts[i]) << c.what;
    // Entries past the new count keep whatever they held last.
    if (count >= 0 && count < int(c.entries.size())) {
        const std::size_t last = kEntriesAt + kEntrySize * (c.entries.size() - 1);
        EXPECT_EQ(std::memcmp(at + last, before.data() + last, kEntrySize), 0) << c.what;
    }
    // Nothing outside the entry table and its count moves.
    EXPECT_EQ(std::memcmp(at + 39364, before.data() + 39364, _kxClient::kRecordSize - 39364), 0) << c.what;
}

std::vector<std::pair<std::string, std::string>> fullTable()
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 100; ++i)
        entries.emplace_back("e" + std::to_string(i), "t");
    return entries;
}

// Entry 50 has an empty third text.
std::vector<std::pair<std::string, std::string>> fullTableWithGap()
{
    auto entries = fullTable();
    entries[50].second.clear();
    return entries;
}

// The first texts of a full table, without the one at skipped.
std::vector<std::string> fullTableFirstTexts(int skipped = -1)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 100; ++i) {
        if (i != skipped)
            texts.push_back("e" + std::to_string(i));
    }
    return texts;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClientCompaction,
    testing::Values(
        CompactionCase{"second first text empty", {{"a", "x"}, {"", "x"}, {"c", "x"}}, 3, {"a", "c"}, 2},
        CompactionCase{"first third text empty", {{"a", ""}, {"b", "x"}, {"c", "x"}}, 3, {"b", "c"}, 2},
        CompactionCase{"last empty", {{"a", "x"}, {"b", "x"}, {"", ""}}, 3, {"a", "b"}, 2},
        CompactionCase{"all valid", {{"a", "x"}, {"b", "x"}}, 2, {"a", "b"}, 2},
        CompactionCase{"all empty", {{"", "x"}, {"b", ""}, {"", ""}}, 3, {}, 0},
        CompactionCase{"count covers only a part", {{"a", "x"}, {"", "x"}, {"c", "x"}}, 1, {"a"}, 1},
        CompactionCase{"empty entries behind valid ones", {{"a", "x"}, {"b", "x"}}, 5, {"a", "b"}, 2},
        CompactionCase{"zero count", {{"a", "x"}}, 0, {}, 0},
        CompactionCase{"negative count stays as stored", {{"a", "x"}}, -7, {}, -7},
        CompactionCase{"count above the table, nothing dropped", fullTable(), 30000, fullTableFirstTexts(), 30000},
        CompactionCase{"count 101, nothing dropped", fullTable(), 101, fullTableFirstTexts(), 101},
        CompactionCase{"count above the table, one dropped", fullTableWithGap(), 30000, fullTableFirstTexts(50),
                       99}));
