#include "kxClient.h"
#include "kxClientImage.h"
#include "kxInstanceBlock.h"
#include "kxNameList.h"
#include "kxSlotEntry.h"
#include "kxTableEntry.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace kxtest;

namespace {

std::vector<std::string> namesOf(const unsigned char *list, int slotCount)
{
    std::vector<std::string> names;
    for (int slot = 0; slot < slotCount; ++slot)
        names.push_back(wideNameAt(list, 106 * std::size_t(slot)));
    return names;
}

} // namespace

// ---- NameList::addName

struct AddNameCase
{
    const char *what;
    int capacity;
    std::int32_t storedCount;
    unsigned caseSensitive;
    const char *name;
    bool added;
    std::string stored;
};

void PrintTo(const AddNameCase &c, std::ostream *out)
{
    *out << c.what;
}

class NameListAddName : public testing::TestWithParam<AddNameCase>
{
};

TEST_P(NameListAddName, AppendsWithinTheListsCapacity)
{
    const AddNameCase &c = GetParam();
    // The list sits at an odd address with guard bytes behind it.
    const std::size_t size = kx::NameList::sizeFor(c.capacity);
    std::vector<unsigned char> storage(1 + size + 2200, 0xEE);
    unsigned char *bytes = storage.data() + 1;
    std::memset(bytes, 0, size);
    put32(bytes, 106 * std::size_t(c.capacity), std::uint32_t(c.storedCount));
    put8(bytes, 106 * std::size_t(c.capacity) + 4, c.caseSensitive);
    const std::vector<unsigned char> before = storage;

    kx::NameList list(bytes, c.capacity);
    list.addName(c.name);

    if (!c.added) {
        EXPECT_EQ(storage, before) << c.what;
        return;
    }
    EXPECT_EQ(list.count(), c.storedCount + 1) << c.what;
    EXPECT_EQ(wideNameAt(bytes, 106 * std::size_t(c.storedCount)), c.stored) << c.what;
    EXPECT_TRUE(std::equal(storage.begin() + 1 + std::ptrdiff_t(size), storage.end(),
                           before.begin() + 1 + std::ptrdiff_t(size)))
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NameListAddName,
    testing::Values(
        AddNameCase{"lowered", 10, 0, 0, "GPUonly", true, "gpuonly"},
        AddNameCase{"case kept", 10, 3, 1, "GPUonly", true, "GPUonly"},
        AddNameCase{"Latin-1 lowered", 10, 0, 0, "\xC4Z", true, "\xE4z"},
        AddNameCase{"last of ten", 10, 9, 0, "x", true, "x"},
        AddNameCase{"last of six", 6, 5, 0, "x", true, "x"},
        AddNameCase{"empty name", 10, 0, 0, "", false, ""},
        AddNameCase{"ten of ten", 10, 10, 0, "x", false, ""},
        AddNameCase{"six of six", 6, 6, 0, "x", false, ""},
        AddNameCase{"count past capacity", 10, 11, 0, "x", false, ""},
        AddNameCase{"negative count", 10, -1, 0, "x", false, ""},
        AddNameCase{"very negative count", 6, -2000000000, 0, "x", false, ""}));

TEST(NameList, FourthSettingsListHoldsSixNames)
{
    _kxClient client;
    const std::vector<unsigned char> before(client.bytes(), client.bytes() + _kxClient::kSize);
    kx::NameList list = client.topList(3);
    ASSERT_EQ(list.capacity(), 6);
    for (const char *name : {"a", "b", "c", "d", "e", "f", "g", "h"})
        list.addName(name);
    EXPECT_EQ(list.count(), 6);
    EXPECT_EQ(namesOf(list.bytes(), 6), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
    // Everything from the list's count field on is as before, apart from the count.
    for (std::size_t i = 3212 + 636 + 4; i < _kxClient::kSize; ++i)
        ASSERT_EQ(client.bytes()[i], before[i]) << i;
}

TEST(NameList, MakeCaseInsensitiveLowersEverySlot)
{
    kx::NameListImage image;
    unsigned char *bytes = image.list().bytes();
    putWideName(bytes, 0, "ABC");
    putWideName(bytes, 106 * 9, "UnUsed"); // beyond the count
    put32(bytes, 1060, 1);
    put8(bytes, 1064, 1);
    image.list().makeCaseInsensitive();
    EXPECT_EQ(wideNameAt(bytes, 0), "abc");
    EXPECT_EQ(wideNameAt(bytes, 106 * 9), "unused");
    EXPECT_EQ(bytes[1064], 0);
    EXPECT_EQ(get32(bytes, 1060), 1u);
}

TEST(NameList, MakeCaseInsensitiveWritesOnlyTheLettersItLowers)
{
    // Slots full of 'Z' units behind their names, no terminators, and a
    // reserved field that is not 0: only lowered letters may change.
    const std::size_t size = kx::NameList::sizeFor(kx::NameList::kFullCapacity);
    std::vector<unsigned char> storage(1 + size, 0);
    unsigned char *bytes = storage.data() + 1;
    for (int slot = 0; slot < 10; ++slot) {
        const std::size_t at = 106 * std::size_t(slot);
        put16(bytes, at + 2, 0xBEEF);
        for (std::size_t unit = 0; unit < 51; ++unit)
            put16(bytes, at + 4 + 2 * unit, 'Z');
    }
    putWideName(bytes, 0, "Ab1C");   // units 4 to 50 stay 'Z'
    put16(bytes, 106 * 1, 0);        // empty slot: nothing lowered
    put16(bytes, 106 * 2, 70);       // corrupt length: 50 units lowered, stays 70
    putWideName(bytes, 106 * 3, "ab"); // nothing to lower
    put32(bytes, 1060, 4);
    put8(bytes, 1064, 1);

    std::vector<unsigned char> expected = storage;
    unsigned char *want = expected.data() + 1;
    put16(want, 4, 'a');
    put16(want, 10, 'c');
    for (std::size_t unit = 0; unit < 50; ++unit)
        put16(want, 106 * 2 + 4 + 2 * unit, 'z');
    put8(want, 1064, 0);

    kx::NameList(bytes, kx::NameList::kFullCapacity).makeCaseInsensitive();
    const long at = firstDifference(storage.data(), expected.data(), storage.size());
    EXPECT_EQ(at, -1) << "first changed byte " << at - 1 << " of the list";
}

TEST(NameList, DefaultInstanceLists)
{
    const std::vector<std::pair<std::int32_t, std::vector<std::string>>> cases = {
        {0, {"3d", "execute", "comp", "archive"}}, {1, {"comp", "archive"}}, {3, {"comp", "archive"}},
        {4, {"gpuonly"}}, {7, {"gpuonly"}}, {100, {"gpuonly"}}, {-1, {"gpuonly"}}};
    for (const auto &[index, names] : cases) {
        kx::NameListImage image = kx::defaultInstanceList(index);
        const unsigned char *bytes = image.bytes();
        EXPECT_EQ(get32(bytes, 1060), names.size()) << index;
        EXPECT_EQ(bytes[1064], 0) << index;
        std::vector<std::string> expected = names;
        expected.resize(10);
        EXPECT_EQ(namesOf(bytes, 10), expected) << index;
    }
}

TEST(InstanceBlock, SetupReplacesEveryNameAndTheHeader)
{
    std::vector<unsigned char> storage(1 + kx::InstanceBlock::kSize, 0);
    unsigned char *bytes = storage.data() + 1;
    putWideName(bytes, 4 + 106 * 5, "Stale");
    put32(bytes, 4 + 1060, 6);
    put8(bytes, 4 + 1064, 1);
    kx::InstanceBlock(bytes).setup(2);
    EXPECT_EQ(get16(bytes, 0), 0xFFFFu);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(namesOf(bytes + 4, 10),
              (std::vector<std::string>{"comp", "archive", "", "", "", "", "", "", "", ""}));
    EXPECT_EQ(get32(bytes, 4 + 1060), 2u);
    EXPECT_EQ(bytes[4 + 1064], 0);
}

// ---- TableEntry

struct SetCodeCase
{
    QString text;
    std::string code;
};

void PrintTo(const SetCodeCase &c, std::ostream *out)
{
    *out << '"' << c.text.toStdString() << '"';
}

class TableEntrySetCode : public testing::TestWithParam<SetCodeCase>
{
};

TEST_P(TableEntrySetCode, KeepsFiveCharactersPaddedWithZeros)
{
    const SetCodeCase &c = GetParam();
    std::vector<unsigned char> storage(1 + kx::TableEntry::kSize, 0xAA);
    unsigned char *bytes = storage.data() + 1;
    kx::TableEntry(bytes).setCode(c.text);
    EXPECT_EQ(get16(bytes, 236), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes + 238), 5), c.code);
    EXPECT_EQ(bytes[243], 0);
    for (std::size_t i = 244; i < 254; ++i)
        EXPECT_EQ(bytes[i], 0xAA) << i;
    EXPECT_EQ(bytes[235], 0xAA);
    EXPECT_EQ(bytes[254], 0xAA);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableEntrySetCode,
    testing::Values(SetCodeCase{QString(), "00000"}, SetCodeCase{QStringLiteral("AB"), "AB000"},
                    SetCodeCase{QStringLiteral("ABCDEFG"), "ABCDE"}, SetCodeCase{QStringLiteral("ABCDE"), "ABCDE"},
                    SetCodeCase{QStringLiteral("ABCD"), "ABCD0"},
                    SetCodeCase{QString::fromUtf16(u"\u20ACx", 2), "?x000"},
                    SetCodeCase{QString::fromUtf16(u"\u00E9", 1), "\xE9" "0000"}));

TEST(TableEntry, ResetEntryWritesOnlyItsFields)
{
    std::vector<unsigned char> storage(1 + kx::TableEntry::kSize, 0xAA);
    unsigned char *bytes = storage.data() + 1;
    kx::TableEntry(bytes).resetEntry();
    std::vector<unsigned char> expected(kx::TableEntry::kSize, 0xAA);
    for (std::size_t text : {0, 154, 208}) {
        put16(expected.data(), text, 0);
        expected[text + 2] = 0;
    }
    put16(expected.data(), 236, 5);
    std::memcpy(expected.data() + 238, "00000", 6);
    put16(expected.data(), 254, 0);
    put32(expected.data(), 256, 0xFFFFFFFFu);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + kx::TableEntry::kSize), expected);
}

TEST(TableEntry, CopyTakesEveryByte)
{
    std::vector<unsigned char> storage(1 + 2 * kx::TableEntry::kSize);
    for (std::size_t i = 0; i < storage.size(); ++i)
        storage[i] = static_cast<unsigned char>(i * 7);
    unsigned char *source = storage.data() + 1;
    unsigned char *target = source + kx::TableEntry::kSize;
    kx::TableEntry(target).copyFrom(kx::TableEntry(source));
    EXPECT_EQ(std::memcmp(source, target, kx::TableEntry::kSize), 0);
}

TEST(SlotEntry, ResetSlot)
{
    std::vector<unsigned char> storage(1 + kx::SlotEntry::kSize + 1, 0xAA);
    unsigned char *bytes = storage.data() + 1;
    kx::SlotEntry(bytes).resetSlot();
    std::vector<unsigned char> expected(kx::SlotEntry::kSize, 0);
    put16(expected.data(), 0, 2820);
    const unsigned char marker[4] = {0xF9, 0xFF, 0xF9, 0xFF};
    std::memcpy(expected.data() + 4, marker, 4);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + kx::SlotEntry::kSize), expected);
    EXPECT_EQ(storage.back(), 0xAA);
    EXPECT_EQ(storage.front(), 0xAA);
}
