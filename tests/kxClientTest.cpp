// Records the SDK builds inside the server's memory, checked byte by byte at odd addresses. Expected
// images are written byte by byte (little-endian), independently of the SDK's accessors.
#include "kxClient.h"
#include "kxJobOptionDefinitions.h"
#include "kxKeywordConstants.h"
#include "kxLetterConstants.h"
#include "kxLineBreakConstants.h"
#include "kxMarkerConstants.h"
#include "kxRecordSetups.h"
#include "kxSharedNameSlots.h"
#include "kxStringField.h"
#include "kxTableEntry.h"
#include "testFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Names = std::vector<std::string>;

constexpr std::size_t kCovered = 107732, kNameAt = 107738, kEntriesAt = 13364, kEntryCountAt = 13360;

std::size_t listAt(int block) { return 3856 + 1072 * std::size_t(block) + 4; }
std::size_t countAt(int block) { return listAt(block) + 1060; }

using kxtest::putBytes;
using kxtest::putText;

std::uint32_t get(const unsigned char *at, std::size_t offset, int width = 2)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | at[offset + std::size_t(i)];
    return value;
}

// A list of ten slots: the names, then their count.
void putNames(unsigned char *at, std::size_t offset, const Names &names)
{
    std::memset(at + offset, 0, 1060);
    for (std::size_t slot = 0; slot < names.size(); ++slot)
        putText(at, offset + 106 * slot, names[slot]);
    putBytes(at, offset + 1060, std::uint32_t(names.size()), 4);
}

Names namesOf(const unsigned char *list, int slotCount)
{
    Names names(std::size_t(std::max(slotCount, 0)));
    for (std::size_t slot = 0; slot < names.size(); ++slot) {
        for (unsigned i = 0; i < get(list, 106 * slot) && i < 50; ++i)
            names[slot] += static_cast<char>(get(list, 106 * slot + 4 + 2 * i));
    }
    return names;
}

void expectSame(const unsigned char *actual, const unsigned char *expected, std::size_t size)
{
    EXPECT_EQ(std::size_t(std::mismatch(actual, actual + size, expected).first - actual), size)
        << "the size if no byte differs, else the first that does";
}

// A record one byte past an aligned address, so that no field of it is naturally aligned.
struct OddRecord
{
    explicit OddRecord(unsigned char fill = 0) : storage(_kxClient::kRecordSize + 16, fill) {}
    Bytes storage;
    unsigned char *bytes = storage.data() + 1;
    _kxClient *client = _kxClient::constructAt(bytes);
};

// The rows of a table in golden/, split at spaces.
QList<QByteArrayList> goldenRows(const char *name)
{
    QList<QByteArrayList> rows;
    for (const QByteArray &line : kxtest::goldenLines(name))
        rows.append(line.trimmed().split(' '));
    return rows;
}


// The name written just before construction in the same function: a compiler may drop stores that
// construction makes dead. This file is built optimised for that reason.
Q_NEVER_INLINE void constructOverNamedRecord(unsigned char *record, const char *name)
{
    kx::writeAt(record, kNameAt, kx::Client::NameField(name));
    new (record) _kxClient;
}

} // namespace

TEST(ClientRecord, ConstructionAndClearGiveTheClearedImageAndKeepTheServersBytes)
{
    const Bytes cleared = kxtest::goldenImage("clearedClient.txt", kCovered);
    expectSame(std::make_unique<_kxClient>()->bytes(), cleared.data(), kCovered);
    OddRecord record(0x5A);
    expectSame(record.bytes, cleared.data(), kCovered);
    std::memset(record.bytes, 0x5A, kCovered);
    record.client->clear();
    expectSame(record.bytes, cleared.data(), kCovered);
    EXPECT_EQ(std::count(record.bytes + kCovered, record.bytes + _kxClient::kRecordSize, 0x5A),
              _kxClient::kRecordSize - kCovered);

    Bytes storage(_kxClient::kRecordSize + 1, 0x11);
    constructOverNamedRecord(storage.data() + 1, "render01");
    expectSame(storage.data() + 1, cleared.data(), kCovered);
    EXPECT_EQ(kx::stringField<kx::Client::NameField>(storage.data() + 1, kNameAt).load().toQString(), "render01");
    EXPECT_EQ(storage[1 + kCovered], 0x11);
    EXPECT_EQ(sizeof(_kxClient), kCovered);
}

// Called on its own over names a server left: each of the four top lists turns case-insensitive.
TEST(ClientRecord, SetDefaultsLowersEveryTopList)
{
    for (const auto &[list, names] : {std::pair<std::size_t, int>{8, 10}, {1076, 10}, {2144, 10}, {3212, 6}}) {
        OddRecord record;
        putText(record.bytes, list, "GPUonly");
        putText(record.bytes, list + 106 * std::size_t(names - 1), "X");
        record.bytes[list + 106 * std::size_t(names) + 4] = 1;
        record.client->setDefaults();
        Names expected(static_cast<std::size_t>(names));
        expected.front() = "gpuonly";
        expected.back() = "x";
        EXPECT_EQ(namesOf(record.bytes + list, names), expected) << list;
        EXPECT_EQ(record.bytes[list + 106 * std::size_t(names) + 4], 0) << list;
    }
}

TEST(ClientValidate, ReplacesOutOfRangeValues)
{
    for (const QByteArrayList &row : goldenRows("clientValidate.txt")) {
        const std::size_t offset = row.at(0).toULong();
        const int signedWidth = row.at(1).toInt();
        const std::int64_t stored = row.at(2).toLongLong(), expected = row.at(3).toLongLong();
        OddRecord record;
        const int width = std::abs(signedWidth);
        putBytes(record.bytes, offset, std::uint32_t(stored), width);
        record.client->validate();
        std::int64_t actual = get(record.bytes, offset, width); // long is 32 bits on Windows
        if (signedWidth < 0 && actual >= std::int64_t{1} << (8 * width - 1))
            actual -= std::int64_t{1} << (8 * width);
        EXPECT_EQ(actual, expected) << offset << " at " << stored;
    }
    OddRecord record;
    for (const auto &[stored, expected] : {std::pair{-2.5f, 0.0f}, {0.0f, 0.0f}, {0.5f, 0.5f}, {3.5f, 3.5f}}) {
        kx::writeAt(record.bytes, 12880, stored);
        record.client->validate();
        EXPECT_EQ(kx::readAt<float>(record.bytes, 12880), expected);
    }
}

TEST(ClientValidate, ResetSwitchAndRepeatedValidation)
{
    for (const int resetSwitch : {0, 1}) {
        OddRecord record;
        unsigned char *at = record.bytes;
        at[12980] = static_cast<unsigned char>(resetSwitch);
        putText(at, 13240, "abc");
        at[12434] = 5;
        const Bytes before(at, at + kCovered);
        for (int i = 0; i < 3; ++i)
            record.client->validate();
        if (resetSwitch == 0) {
            expectSame(at, before.data(), kCovered); // nothing to mend: validation changes nothing, however often
            continue;
        }
        EXPECT_EQ(at[12894], 0);
        EXPECT_EQ(get(at, 13240), 0u);
        EXPECT_EQ(get(at, 13244), 0u);
        EXPECT_EQ(get(at, 13246), unsigned('b')); // only the terminator moves
        EXPECT_EQ(at[12434], 0);
        EXPECT_EQ(at[12436] + at[12437] + at[12980], 3);
    }
}

TEST(ClientValidate, ExecuteIsAddedOnlyWhenNoBlockInUseHasIt)
{
    const Names ten = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    // Blocks in use, block 0 case-sensitive, the lists of blocks 0.., block 0's list expected.
    using Case = std::tuple<const char *, unsigned char, unsigned char, std::vector<Names>, Names>;
    for (const auto &[what, blocksInUse, caseSensitive, lists, expected] : {
        Case{"empty block 0", 1, 0, {{}}, {"execute"}},
        {"case-sensitive block 0", 1, 1, {{"3d"}}, {"3d", "Execute"}},
        {"star in block 1 in use", 2, 0, {{"3d"}, {"*"}}, {"3d"}},
        {"star in block 1 unused", 1, 0, {{"3d"}, {"*"}}, {"3d", "execute"}},
        {"EXECUTE in block 2", 3, 0, {{"3d"}, {"comp"}, {"x", "y", "EXECUTE"}}, {"3d"}},
        {"star in block 0", 1, 0, {{"*"}}, {"*"}}, {"full block 0", 1, 0, {ten}, ten},
        {"names beyond the count count", 1, 0, {}, {}}}) {
        OddRecord record;
        unsigned char *at = record.bytes;
        at[12432] = blocksInUse;
        putBytes(at, countAt(0), 0, 4); // "execute" stays in slot 1, beyond the count
        for (std::size_t block = 0; block < lists.size(); ++block)
            putNames(at, listAt(int(block)), lists[block]);
        at[countAt(0) + 4] = caseSensitive;
        record.client->validate();
        EXPECT_EQ(namesOf(at + listAt(0), int(get(at, countAt(0), 4))), expected) << what;
    }
}

TEST(ClientValidate, EntriesWithAnEmptyFirstOrThirdTextAreDropped)
{
    using Entries = std::vector<std::pair<std::string, std::string>>; // first and third texts
    Entries full, gap;
    Names fullFirsts;
    for (int i = 0; i < 100; ++i) {
        fullFirsts.push_back("e" + std::to_string(i));
        full.emplace_back(fullFirsts.back(), "t");
        gap.emplace_back(fullFirsts.back(), i == 50 ? "" : "t");
    }
    Names gapFirsts = fullFirsts;
    gapFirsts.erase(gapFirsts.begin() + 50);
    // Entries, count stored, first texts expected, count expected: changed only when an entry was dropped.
    using Case = std::tuple<const char *, Entries, int, Names, int>;
    for (const auto &[what, entries, storedCount, expected, expectedCount] : {
        Case{"second first text empty", {{"a", "x"}, {"", "x"}, {"c", "x"}}, 3, {"a", "c"}, 2},
        {"first third text empty", {{"a", ""}, {"b", "x"}, {"c", "x"}}, 3, {"b", "c"}, 2},
        {"last empty", {{"a", "x"}, {"b", "x"}, {"", ""}}, 3, {"a", "b"}, 2},
        {"all valid", {{"a", "x"}, {"b", "x"}}, 2, {"a", "b"}, 2},
        {"all empty", {{"", "x"}, {"b", ""}, {"", ""}}, 3, {}, 0},
        {"count covers only a part", {{"a", "x"}, {"", "x"}, {"c", "x"}}, 1, {"a"}, 1},
        {"empty entries behind valid ones", {{"a", "x"}, {"b", "x"}}, 5, {"a", "b"}, 2},
        {"zero count", {{"a", "x"}}, 0, {}, 0}, {"negative count stays as stored", {{"a", "x"}}, -7, {}, -7},
        {"count above the table, nothing dropped", full, 30000, fullFirsts, 30000},
        {"count 101, nothing dropped", full, 101, fullFirsts, 101},
        {"count above the table, one dropped", gap, 30000, gapFirsts, 99}}) {
        SCOPED_TRACE(what);
        OddRecord record;
        unsigned char *at = record.bytes;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            unsigned char *entry = at + kEntriesAt + 260 * i;
            putBytes(entry, 0, unsigned(entries[i].first.size()));
            std::memcpy(entry + 2, entries[i].first.data(), entries[i].first.size());
            putBytes(entry, 208, unsigned(entries[i].second.size()));
            std::memcpy(entry + 210, entries[i].second.data(), entries[i].second.size());
            putBytes(entry, 256, std::uint32_t(1000 + i), 4);
        }
        putBytes(at, kEntryCountAt, unsigned(storedCount) & 0xFFFF);
        const Bytes before(at, at + _kxClient::kRecordSize);
        record.client->validate();

        const int count = std::int16_t(get(at, kEntryCountAt));
        ASSERT_EQ(count, expectedCount);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const unsigned char *entry = at + kEntriesAt + 260 * i;
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(entry + 2), get(entry, 0)), expected[i]);
        }
        // The entry left behind at the end keeps its bytes; nothing outside the table and its count moves.
        const std::size_t last = kEntriesAt + 260 * (entries.size() - 1);
        if (count >= 0 && count < int(entries.size()))
            expectSame(at + last, before.data() + last, 260);
        expectSame(at + 39364, before.data() + 39364, _kxClient::kRecordSize - 39364);
    }
}

// An entry set up on its own: a five-character code padded with "0", the texts and the word emptied.
TEST(TableEntry, CodeIsFiveCharactersAndAResetEntryIsEmpty)
{
    for (const auto &[text, code] : {std::pair{"AB", "AB000"}, {"ABCDEFG", "ABCDE"}, {"", "00000"}}) {
        Bytes entry(260, 0xEE);
        kx::TableEntry(entry.data()).setCode(QString::fromLatin1(text));
        EXPECT_EQ(get(entry.data(), 236), 5u) << text;
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&entry[238]), 6), std::string(code) + '\0');
        EXPECT_EQ(entry[244], 0xEE) << "nothing written behind the zero";
    }
    Bytes entry(260, 0xEE);
    kx::TableEntry(entry.data()).resetEntry();
    for (const std::size_t text : {0, 154, 208})
        EXPECT_EQ(get(entry.data(), text, 3), 0u) << text;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&entry[236]), 8), std::string("\5\0" "00000", 7) + '\0');
    EXPECT_EQ(get(entry.data(), 254, 4), 0xFFFF0000u);
    EXPECT_EQ(get(entry.data(), 258), 0xFFFFu);
}

// A slot of the record's table reset on its own: its two markers, every other byte of its 2032 zero.
TEST(SlotEntry, ResetSlotWritesOnlyItsOwnBytes)
{
    OddRecord record;
    constexpr std::size_t kSlot = 39364 + 14 * 2032; // the last of fifteen
    std::memset(record.bytes + kSlot - 8, 0xEE, 2032 + 16);
    Bytes expected(record.bytes, record.bytes + _kxClient::kRecordSize);
    std::memset(expected.data() + kSlot, 0, 2032);
    putBytes(expected.data(), kSlot, 2820);
    putBytes(expected.data(), kSlot + 4, 0xFFF9FFF9u, 4);
    record.client->slot(14).resetSlot();
    expectSame(record.bytes, expected.data(), _kxClient::kRecordSize);
}

TEST(NameList, AddNameAppendsWithinTheCapacity)
{
    // Capacity, count stored, case-sensitive, name added, name stored (nullptr: nothing may change).
    using Case = std::tuple<const char *, int, std::int32_t, unsigned char, const char *, const char *>;
    for (const auto &[what, capacity, storedCount, caseSensitive, name, stored] : {
        Case{"lowered", 10, 0, 0, "GPUonly", "gpuonly"}, {"case kept", 10, 3, 1, "GPUonly", "GPUonly"},
        {"Latin-1 lowered", 10, 0, 0, "\xC4Z", "\xE4z"}, {"last of ten", 10, 9, 0, "x", "x"},
        {"last of six", 6, 5, 0, "x", "x"},          {"empty name", 10, 0, 0, "", nullptr},
        {"ten of ten", 10, 10, 0, "x", nullptr},      {"six of six", 6, 6, 0, "x", nullptr},
        {"count past capacity", 10, 11, 0, "x", nullptr}, {"negative count", 10, -1, 0, "x", nullptr},
        {"very negative count", 6, -2000000000, 0, "x", nullptr}}) {
        SCOPED_TRACE(what);
        const std::size_t size = kx::NameList::sizeFor(capacity), countOffset = 106 * std::size_t(capacity);
        Bytes storage(1 + size + 2200, 0xEE); // guard bytes behind the list
        unsigned char *bytes = storage.data() + 1;
        std::memset(bytes, 0, size);
        putBytes(bytes, countOffset, std::uint32_t(storedCount), 4);
        bytes[countOffset + 4] = caseSensitive;
        Bytes expected = storage;
        if (stored) {
            putText(expected.data() + 1, 106 * std::size_t(storedCount), stored);
            putBytes(expected.data() + 1, countOffset, std::uint32_t(storedCount + 1), 4);
        }
        kx::NameList(bytes, capacity).addName(name);
        expectSame(storage.data(), expected.data(), storage.size());
    }
    _kxClient client; // the fourth list of the settings block holds six names
    for (const char *name : {"a", "b", "c", "d", "e", "f", "g"})
        client.topList(3).addName(name);
    EXPECT_EQ(get(client.bytes(), 3212 + 636, 4), 6u);
    EXPECT_EQ(namesOf(client.bytes() + 3212, 6), (Names{"a", "b", "c", "d", "e", "f"}));
}

TEST(NameList, MakeCaseInsensitiveWritesOnlyTheLettersItLowers)
{
    // Slots full of 'Z' units behind their names, no terminators, and a reserved field that is not 0.
    Bytes storage(1 + kx::NameList::sizeFor(10), 0);
    unsigned char *bytes = storage.data() + 1;
    for (std::size_t slot = 0; slot < 10; ++slot) {
        putBytes(bytes, 106 * slot + 2, 0xBEEF);
        for (std::size_t unit = 0; unit < 51; ++unit)
            putBytes(bytes, 106 * slot + 4 + 2 * unit, 'Z');
    }
    putText(bytes, 0, "Ab1C");     // units 4 to 50 stay 'Z'
    putBytes(bytes, 106 * 2, 70);       // corrupt length: 50 units lowered, stays 70
    putText(bytes, 106 * 3, "ab"); // nothing to lower
    putText(bytes, 106 * 9, "U");  // beyond the count, lowered too
    putBytes(bytes, 1060, 4, 4);
    bytes[1064] = 1;
    Bytes expected = storage;
    unsigned char *want = expected.data() + 1;
    putBytes(want, 4, 'a');
    putBytes(want, 10, 'c');
    for (std::size_t unit = 0; unit < 50; ++unit)
        putBytes(want, 106 * 2 + 4 + 2 * unit, 'z');
    putBytes(want, 106 * 9 + 4, 'u');
    want[1064] = 0;
    kx::NameList(bytes, 10).makeCaseInsensitive();
    expectSame(storage.data(), expected.data(), storage.size());
}

TEST(NameList, HasNameLooksAtEverySlotUsedOrNotAndNothingBehind)
{
    for (const int capacity : {kx::NameList::kFullCapacity, kx::NameList::kShortCapacity}) {
        SCOPED_TRACE(capacity);
        const std::size_t size = kx::NameList::sizeFor(capacity);
        Bytes storage(1 + size + 106, 0);
        unsigned char *bytes = storage.data() + 1;
        for (int slot = 0; slot < capacity; ++slot)
            putText(bytes, 106 * std::size_t(slot), "n" + std::to_string(slot));
        putText(bytes, 106 * std::size_t(capacity - 1), "last");
        putText(bytes, 106 * std::size_t(capacity), "behind"); // where a slot past the list would be
        const kx::NameList list(bytes, capacity);
        EXPECT_TRUE(list.hasName(kx::NameList::Name("n0")));
        EXPECT_TRUE(list.hasName(kx::NameList::Name("last")));
        EXPECT_FALSE(list.hasName(kx::NameList::Name("behind")));
        EXPECT_FALSE(list.hasName(kx::NameList::Name("n9x")));
    }
}

TEST(NameList, DefaultInstanceListsAndBlockSetup)
{
    const std::vector<std::pair<std::int32_t, Names>> cases = {{0, {"3d", "execute", "comp", "archive"}},
        {1, {"comp", "archive"}}, {3, {"comp", "archive"}}, {4, {"gpuonly"}}, {100, {"gpuonly"}}, {-1, {"gpuonly"}}};
    for (const auto &[index, names] : cases) {
        Bytes storage(1 + 1072, 0);
        unsigned char *block = storage.data() + 1;
        putText(block, 4 + 106 * 5, "Stale");
        putBytes(block, 4 + 1060, 6, 4);
        block[4 + 1064] = 1;
        kx::InstanceBlock(block).setup(index);
        Names expected = names;
        expected.resize(10);
        EXPECT_EQ(namesOf(block + 4, 10), expected) << index;
        EXPECT_EQ(get(block, 4 + 1060, 4), names.size()) << index;
        EXPECT_EQ(get(block, 0, 4), 0x1FFFFu) << index; // header word, set-up byte, then 0
        EXPECT_EQ(block[4 + 1064], 0) << index;
    }
}

TEST(RecordSetups, EachWritesOnlyItsFields)
{
    const auto check = [](std::size_t size, void (*setUp)(void *) noexcept, auto paint) {
        Bytes storage(size + 9, 0xAA), expected = storage;
        setUp(storage.data() + 1);
        paint(expected.data() + 1);
        expectSame(storage.data(), expected.data(), storage.size());
    };
    // The sizes a caller must provide, as published.
    EXPECT_EQ(kx::NineteenSlotRecord::kMinimumSize, 6441u);
    EXPECT_EQ(kx::TextRecord::kMinimumSize, 640u);
    check(kx::NineteenSlotRecord::kMinimumSize, kx::NineteenSlotRecord::setUp, [](unsigned char *image) {
        image[6440] = 1;
        for (std::size_t slot = 0; slot < 19 * 328; slot += 328) {
            putBytes(image, slot, 0);
            image[slot + 2] = image[slot + 216] = image[slot + 269] = image[slot + 271] = image[slot + 274] = 0;
            putBytes(image, slot + 208, 65, 4);
            putBytes(image, slot + 212, 1, 4);
            image[slot + 270] = 1;
            putBytes(image, slot + 272, 0);
        }
    });
    check(kx::TextRecord::kMinimumSize, kx::TextRecord::setUp, [](unsigned char *image) {
        std::memset(image + 16, 0, 8); // a word, then a wide text's length, reserved field and first unit
        for (std::size_t text : {432, 536})
            image[text] = image[text + 1] = image[text + 2] = 0;
    });
    check(160, kx::PresetRecord::setUp, [](unsigned char *image) {
        std::memset(image, 0, 160);
        putBytes(image, 0, 517, 4);
        putBytes(image, 4, 0x60002, 4);
        std::memcpy(image + 8, "kxNemo", 7);
        image[74] = 255;
        putBytes(image, 134, 0xFFFF);
        putBytes(image, 144, 1);
    });
}

// The rows as the table's owner publishes them, one line each, in
// golden/jobOptionDefinitions.txt; the nine rows behind the named ones are empty.
TEST(SdkTables, JobOptionRowsAreThePublishedOnesAndSharedNamesStartEmpty)
{
    QString rows;
    for (int row = 0; row < kx::kJobOptionDefinitionCount; ++row) {
        const JobOptionDefinition &d = kx::jobOptionDefinitionTable()[row];
        rows += QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
                    .arg(d.group).arg(d.kind).arg(d.flagA).arg(d.flagB).arg(d.defaultValue).arg(d.minValue)
                    .arg(d.maxValue).arg(d.extraWord).arg(d.name.toQString());
        for (const auto &label : d.valueLabels)
            rows += QLatin1Char('|') + label.toQString();
        rows += QLatin1Char('\n');
    }
    const QByteArray golden = kxtest::readFile(QStringLiteral(KX_TEST_GOLDEN_DIR "/jobOptionDefinitions.txt"));
    EXPECT_EQ(rows.toStdString(), golden.toStdString());
    for (int i = 0; i < kx::kSharedNameSlotCount; ++i)
        EXPECT_TRUE(kx::sharedNameSlots()[i].isEmpty());
}

TEST(SdkTables, HeaderConstantsAreThePublishedOnes)
{
    const auto row = [](const char *name, int size, QString text) {
        text.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
        return QByteArray(name) + ' ' + QByteArray::number(size) + ' ' + text.toLatin1();
    };
    const auto stringRow = [&row](const char *name, const auto &s) { return row(name, s.capacity(), s.toQString()); };
    QByteArrayList rows = {
        stringRow("kUpdateMarker", kUpdateMarker),
        stringRow("kNoProjectRootAccessMarker", kNoProjectRootAccessMarker),
        stringRow("kLetterC", kLetterC),
        row("kLineBreak", int(kLineBreak.size()), kLineBreak),
        row("kLineBreakBytes", int(kLineBreakBytes.size()), QString::fromLatin1(kLineBreakBytes)),
        row("kPathSeparator", int(kPathSeparator.size()), kPathSeparator),
        QByteArray("kSharedNameSlotCount ") + QByteArray::number(kx::kSharedNameSlotCount)};
    const std::pair<const char *, const QString &> keywords[] = {
        {"kNoCheckFileName", kNoCheckFileName}, {"kExecOnceFileName", kExecOnceFileName},
        {"kExecEachClientFileName", kExecEachClientFileName}, {"kExecuteKeyword", kExecuteKeyword},
        {"kPythonKeyword", kPythonKeyword}, {"kCommandJobKeyword", kCommandJobKeyword},
        {"kEnvFileKeyword", kEnvFileKeyword}, {"kEnvLineKeyword", kEnvLineKeyword},
        {"kEnvListKeyword", kEnvListKeyword}, {"kSubmitterParameterKeyword", kSubmitterParameterKeyword},
        {"kSubmitClientGroupKeyword", kSubmitClientGroupKeyword},
        {"kNoSceneExistCheckKeyword", kNoSceneExistCheckKeyword}, {"kAddCmdFlagsKeyword", kAddCmdFlagsKeyword},
        {"kIdAlphabetUpper", kIdAlphabetUpper}, {"kIdAlphabetLower", kIdAlphabetLower}};
    for (const auto &[name, text] : keywords)
        rows.append(row(name, int(text.size()), text));
    EXPECT_EQ(rows, kxtest::goldenLines("sdkConstants.txt"));
}
