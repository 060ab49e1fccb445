// _kxClient: the server's record of one render client, byte-packed.
// The plug-in reads the name and appends to the message box; the SDK's
// client routines construct, clear and validate bytes 0 .. 107731.
//
// Byte-packed means no field is aligned: every offset below counts bytes
// from the record's first byte, and fields are reached with kx::readAt/writeAt.
#ifndef KXCLIENTRECORD_H
#define KXCLIENTRECORD_H

#include "kxSharedLayout.h"

#include <cstddef>

namespace kx::Client {

constexpr std::size_t kMessageBoxOffset = 69848;     // MessageBoxField
constexpr std::size_t kInitialisedSize = 107732;     // bytes covered by construction and clear
constexpr std::size_t kNameOffset = 107738;          // NameField
constexpr std::size_t kRecordSize = 107792;

using MessageBoxField = _kxString<2500>;
using NameField = _kxString8_allSize<50>;

static_assert(sizeof(MessageBoxField) == 5006);
static_assert(kMessageBoxOffset + sizeof(MessageBoxField) <= kInitialisedSize);
static_assert(kNameOffset >= kInitialisedSize);
static_assert(kNameOffset + sizeof(NameField) == kRecordSize);

// Top-level map.
constexpr std::size_t kHeaderOffset = 0;             // 4 bytes, FF FF FF FF once cleared
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kSettingsOffset = 4;
constexpr std::size_t kSettingsSize = 12872;
constexpr std::size_t kStateOffset = 12876;
constexpr std::size_t kStateSize = 484;
constexpr std::size_t kEntryCountOffset = 13360;     // i16
constexpr std::size_t kEntryTableOffset = 13364;
constexpr int kEntryCapacity = 100;
constexpr std::size_t kSlotTableOffset = 39364;
constexpr int kSlotCount = 15;
constexpr std::size_t kHistoryOffset = 74856;
constexpr std::size_t kHistorySize = 32876;

static_assert(kHeaderOffset + kHeaderSize == kSettingsOffset);
static_assert(kSettingsOffset + kSettingsSize == kStateOffset);
static_assert(kStateOffset + kStateSize == kEntryCountOffset);
static_assert(kEntryCountOffset + 2 + 2 == kEntryTableOffset);
static_assert(kMessageBoxOffset + sizeof(MessageBoxField) + 2 == kHistoryOffset);
static_assert(kHistoryOffset + kHistorySize == kInitialisedSize);

// Settings block (record offsets).
namespace Settings {
constexpr std::size_t kVersion = 4;                  // u16, 2
constexpr std::size_t kByteWithin0To5 = 6;           // i8, 0 .. 5
constexpr std::size_t kTopListOffsets[4] = {8, 1076, 2144, 3212};
constexpr int kTopListCapacities[4] = {10, 10, 10, 6};
constexpr std::size_t kInstanceBlocksOffset = 3856;
constexpr int kInstanceBlockCount = 8;
constexpr std::size_t kInstanceCount = 12432;        // u8, 1 .. 8
constexpr std::size_t kByteZeroOnReset = 12434;      // u8, 0 on reset
constexpr std::size_t kBytesOneOnReset[2] = {12436, 12437}; // u8, 1 on reset
constexpr std::size_t kOneBytesFirst = 12439;        // 8 bytes, 1 each
constexpr int kOneBytesCount = 8;
constexpr std::size_t kOneBytes[3] = {12449, 12453, 12455};
constexpr std::size_t kOneWord = 12465;              // u16, 1
constexpr std::size_t kWordsOffset = 12478;          // 40 x i16
constexpr int kWordCount = 40;
constexpr std::size_t kLatin1Text50 = 12578;         // _kxString8_allSize<50>
constexpr std::size_t kLatin1Text25 = 12632;         // _kxString8_allSize<25>
constexpr std::size_t kLatin1Text100First = 12660;   // _kxString8_allSize<100>
constexpr std::size_t kLatin1Text100Second = 12764;  // _kxString8_allSize<100>
constexpr std::size_t kInt32Default34 = 12868;       // i32, 34
constexpr std::size_t kInt32Default29 = 12872;       // i32, 29

// Words that validation keeps in range, named by index in the 40 words and range.
constexpr std::size_t kWord0AtLeast15 = 12478;
constexpr std::size_t kWord2AlwaysOne = 12482;
constexpr std::size_t kWord3Within15To95 = 12484;    // 15 .. 95
constexpr std::size_t kWord4Within100To1000 = 12486; // 100 .. 1000
constexpr std::size_t kWord5AtLeast5 = 12488;
constexpr std::size_t kWord6AtLeast15 = 12490;
constexpr std::size_t kWord7AtLeast1 = 12492;        // below 1 becomes 2
constexpr std::size_t kWord8Within20To600 = 12494;   // 20 .. 600
constexpr std::size_t kWord9Within0To300 = 12496;    // 0 .. 300

static_assert(kTopListOffsets[3] + 6 * sizeof(_kxString<50>) + 4 + 1 <= kInstanceBlocksOffset);
static_assert(kInstanceBlocksOffset + kInstanceBlockCount * 1072 == kInstanceCount);
static_assert(kWordsOffset + 2 * kWordCount == 12558);
static_assert(kWord0AtLeast15 == kWordsOffset);
static_assert(kWord2AlwaysOne == kWordsOffset + 2 * 2);
static_assert(kWord3Within15To95 == kWordsOffset + 2 * 3);
static_assert(kWord4Within100To1000 == kWordsOffset + 2 * 4);
static_assert(kWord5AtLeast5 == kWordsOffset + 2 * 5);
static_assert(kWord6AtLeast15 == kWordsOffset + 2 * 6);
static_assert(kWord7AtLeast1 == kWordsOffset + 2 * 7);
static_assert(kWord8Within20To600 == kWordsOffset + 2 * 8);
static_assert(kWord9Within0To300 == kWordsOffset + 2 * 9);
static_assert(kLatin1Text50 + sizeof(_kxString8_allSize<50>) == kLatin1Text25);
static_assert(kLatin1Text25 + sizeof(_kxString8_allSize<25>) == kLatin1Text100First);
static_assert(kLatin1Text100First + sizeof(_kxString8_allSize<100>) == kLatin1Text100Second);
static_assert(kLatin1Text100Second + sizeof(_kxString8_allSize<100>) == kInt32Default34);
static_assert(kInt32Default29 + 4 == kStateOffset);
} // namespace Settings

// State block (record offsets).
namespace State {
constexpr std::size_t kInt32AtLeast1 = 12876;        // i32, at least 1
constexpr std::size_t kFloatNotNegative = 12880;     // float, not negative
constexpr std::size_t kWordAtLeast1First = 12884;    // u16, at least 1
constexpr std::size_t kWordAtLeast1Second = 12886;   // u16, at least 1
constexpr std::size_t kMarkerByte = 12893;           // u8, 255
constexpr std::size_t kByteOneZeroOnReset = 12894;   // u8, 1; 0 on reset
constexpr std::size_t kResetSwitch = 12980;          // u8
constexpr std::size_t kText100 = 12982;              // _kxString<100>
constexpr std::size_t kText10First = 13188;          // _kxString<10>
constexpr std::size_t kText10Second = 13214;         // _kxString<10>
constexpr std::size_t kText25ClearedOnReset = 13240; // _kxString<25>, cleared on reset
constexpr std::size_t kText25 = 13296;               // _kxString<25>

static_assert(kText100 + sizeof(_kxString<100>) == kText10First);
static_assert(kText10First + sizeof(_kxString<10>) == kText10Second);
static_assert(kText10Second + sizeof(_kxString<10>) == kText25ClearedOnReset);
static_assert(kText25ClearedOnReset + sizeof(_kxString<25>) == kText25);
static_assert(kText25 + sizeof(_kxString<25>) <= kStateOffset + kStateSize);
} // namespace State

// History block (record offsets).
namespace History {
constexpr std::size_t kTimes[2] = {74856, 74864};    // _kxTime
constexpr std::size_t kTimeTable = 82876;            // 1000 x _kxTime
constexpr int kTimeTableCount = 1000;
constexpr std::size_t kMarkArea = 94876;             // 64 bytes
constexpr std::size_t kQuadTimes = 94940;            // 4 x _kxTime
constexpr std::size_t kStampedValues = 94972;        // 20 x { i32; _kxTime }
constexpr int kStampedValueCount = 20;
constexpr std::size_t kStampedValueSize = 12;
constexpr std::size_t kLatin1Text50 = 95212;         // _kxString8_allSize<50>
constexpr std::size_t kLatin1Text10 = 95266;         // _kxString8_allSize<10>
constexpr std::size_t kArea = 95280;                 // 440 bytes
constexpr std::size_t kAreaSize = 440;
// Trailing areas, each zeroed on its own after the rest of the block.
constexpr std::size_t kTrailing[7][2] = {
    {95720, 10}, {95730, 1000}, {96730, 1000}, {97730, 2000}, {99730, 2}, {99732, 4000}, {103732, 4000}};

static_assert(kTimes[1] + sizeof(_kxTime) <= kTimeTable);
static_assert(kTimeTable + kTimeTableCount * sizeof(_kxTime) <= kMarkArea);
static_assert(kMarkArea + 64 == kQuadTimes);
static_assert(kQuadTimes + 4 * sizeof(_kxTime) == kStampedValues);
static_assert(kStampedValueSize == 4 + sizeof(_kxTime));
static_assert(kStampedValues + kStampedValueCount * kStampedValueSize == kLatin1Text50);
static_assert(kLatin1Text50 + sizeof(_kxString8_allSize<50>) == kLatin1Text10);
static_assert(kLatin1Text10 + sizeof(_kxString8_allSize<10>) == kArea);
static_assert(kArea + kAreaSize == kTrailing[0][0]);
static_assert(kTrailing[6][0] + kTrailing[6][1] == kInitialisedSize);

constexpr bool trailingAreasFollowEachOther()
{
    for (int i = 1; i < 7; ++i) {
        if (kTrailing[i - 1][0] + kTrailing[i - 1][1] != kTrailing[i][0])
            return false;
    }
    return true;
}
static_assert(trailingAreasFollowEachOther());
} // namespace History

} // namespace kx::Client

#endif // KXCLIENTRECORD_H
