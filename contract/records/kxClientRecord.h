// _kxClient: the server's record of one render client, byte-packed.
// The plug-in reads the name and appends to the message box; the SDK's
// client routines construct, clear and validate bytes 0 .. 107731.
//
// Byte-packed means no field is aligned: every offset below counts bytes
// from the record's first byte, and fields are reached with kx::readAt/writeAt.
#ifndef KXCLIENTRECORD_H
#define KXCLIENTRECORD_H

#include "kxShared.h"

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
constexpr std::size_t kVersionWord = 4;              // u16, 2
constexpr std::size_t kLimitByte = 6;                // i8, 0 .. 5
constexpr std::size_t kTopListOffsets[4] = {8, 1076, 2144, 3212};
constexpr int kTopListCapacities[4] = {10, 10, 10, 6};
constexpr std::size_t kInstanceBlocksOffset = 3856;
constexpr int kInstanceBlockCount = 8;
constexpr std::size_t kInstanceCount = 12432;        // u8, 1 .. 8
constexpr std::size_t kResetFlags = 12434;           // u8, 0 on reset
constexpr std::size_t kResetOnFlags[2] = {12436, 12437}; // u8, 1 on reset
constexpr std::size_t kOnBytesFirst = 12439;         // 8 bytes, 1 each
constexpr int kOnBytesCount = 8;
constexpr std::size_t kOnBytes[3] = {12449, 12453, 12455};
constexpr std::size_t kOnWord = 12465;               // u16, 1
constexpr std::size_t kWordsOffset = 12478;          // 40 x i16
constexpr int kWordCount = 40;
constexpr std::size_t kText50 = 12578;               // _kxString8_allSize<50>
constexpr std::size_t kText25 = 12632;               // _kxString8_allSize<25>
constexpr std::size_t kText100a = 12660;             // _kxString8_allSize<100>
constexpr std::size_t kText100b = 12764;             // _kxString8_allSize<100>
constexpr std::size_t kValue34 = 12868;              // i32, 34
constexpr std::size_t kValue29 = 12872;              // i32, 29

// Words that validation keeps in range (i16 unless noted).
constexpr std::size_t kWordMin15 = 12478;
constexpr std::size_t kWordForcedOne = 12482;
constexpr std::size_t kWordPercent = 12484;          // 15 .. 95
constexpr std::size_t kWordThousand = 12486;         // 100 .. 1000
constexpr std::size_t kWordMin5 = 12488;
constexpr std::size_t kWordMinFifteen = 12490;
constexpr std::size_t kWordMinOne = 12492;           // below 1 becomes 2
constexpr std::size_t kWordSixHundred = 12494;       // 20 .. 600
constexpr std::size_t kWordThreeHundred = 12496;     // 0 .. 300

static_assert(kTopListOffsets[3] + 6 * sizeof(_kxString<50>) + 4 + 1 <= kInstanceBlocksOffset);
static_assert(kInstanceBlocksOffset + kInstanceBlockCount * 1072 == kInstanceCount);
static_assert(kWordsOffset + 2 * kWordCount == 12558);
static_assert(kText50 + sizeof(_kxString8_allSize<50>) == kText25);
static_assert(kText25 + sizeof(_kxString8_allSize<25>) == kText100a);
static_assert(kText100a + sizeof(_kxString8_allSize<100>) == kText100b);
static_assert(kText100b + sizeof(_kxString8_allSize<100>) == kValue34);
static_assert(kValue29 + 4 == kStateOffset);
} // namespace Settings

// State block (record offsets).
namespace State {
constexpr std::size_t kCounter = 12876;              // i32, at least 1
constexpr std::size_t kRatio = 12880;                // float, not negative
constexpr std::size_t kWordA = 12884;                // u16, at least 1
constexpr std::size_t kWordB = 12886;                // u16, at least 1
constexpr std::size_t kMarkerByte = 12893;           // u8, 255
constexpr std::size_t kActiveByte = 12894;           // u8, 1; 0 on reset
constexpr std::size_t kResetSwitch = 12980;          // u8
constexpr std::size_t kText100 = 12982;              // _kxString<100>
constexpr std::size_t kText10a = 13188;              // _kxString<10>
constexpr std::size_t kText10b = 13214;              // _kxString<10>
constexpr std::size_t kText25a = 13240;              // _kxString<25>, cleared on reset
constexpr std::size_t kText25b = 13296;              // _kxString<25>

static_assert(kText100 + sizeof(_kxString<100>) == kText10a);
static_assert(kText10a + sizeof(_kxString<10>) == kText10b);
static_assert(kText10b + sizeof(_kxString<10>) == kText25a);
static_assert(kText25a + sizeof(_kxString<25>) == kText25b);
static_assert(kText25b + sizeof(_kxString<25>) <= kStateOffset + kStateSize);
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
constexpr std::size_t kText50 = 95212;               // _kxString8_allSize<50>
constexpr std::size_t kText10 = 95266;               // _kxString8_allSize<10>
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
static_assert(kStampedValues + kStampedValueCount * kStampedValueSize == kText50);
static_assert(kText50 + sizeof(_kxString8_allSize<50>) == kText10);
static_assert(kText10 + sizeof(_kxString8_allSize<10>) == kArea);
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
