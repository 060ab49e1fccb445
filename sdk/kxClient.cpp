#include "kxClient.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"

#include <algorithm>
#include <limits>
#include <new>

namespace Settings = kx::Client::Settings;
namespace State = kx::Client::State;
using kx::readAt;
using kx::writeAt;

namespace {

constexpr const char *kExecuteName = "Execute";
constexpr const char *kAnyName = "*";

constexpr qint16 kWordMax = std::numeric_limits<qint16>::max();
constexpr quint16 kSettingsVersion = 2;
constexpr quint32 kClearedHeader = 0xFFFFFFFFu;
constexpr quint8 kInstanceCountDefault = 1;
constexpr quint8 kStateMarker = 255;
constexpr qint32 kInt32Default34Value = 34;
constexpr qint32 kInt32Default29Value = 29;

// The 40 settings words from 12478 once cleared.
constexpr qint16 kWordDefaults[Settings::kWordCount] = {
    45, 0, 1, 75, 300, 25, 45, 3, 140, 25, // 12478 .. 12496
    1,  1, 1, 1,  0,   0,  6,  9, 17,  1,  // 12498 .. 12516
    1,  1, 0, 20, 10,                      // 12518 .. 12526
    0,  0, 0, 0,  0,   0,  0,  0,          // 12528 .. 12542
    15,                                    // 12544
    1,  1, 1, 1,  1,   1,                  // 12546 .. 12556
};

template <typename T>
void clampWord(unsigned char *bytes, std::size_t offset, T low, T high) noexcept
{
    writeAt<T>(bytes, offset, std::clamp(readAt<T>(bytes, offset), low, high));
}

} // namespace

_kxClient *_kxClient::constructAt(void *record) noexcept
{
    return new (record) _kxClient;
}

void _kxClient::clear() noexcept
{
    kx::zeroBytesAt(m_bytes, 0, kx::Client::kInitialisedSize);
    setDefaults();
    resetState();
    validate();
    writeAt(m_bytes, kx::Client::kHeaderOffset, kClearedHeader);
}

void _kxClient::setDefaults() noexcept
{
    writeAt(m_bytes, Settings::kVersion, kSettingsVersion);
    for (int i = 0; i < 4; ++i)
        topList(i).makeCaseInsensitive();
    writeAt(m_bytes, Settings::kInstanceCount, kInstanceCountDefault);
    for (int i = 0; i < Settings::kInstanceBlockCount; ++i)
        instanceBlock(i).setup(i);

    for (int i = 0; i < Settings::kWordCount; ++i)
        writeAt(m_bytes, Settings::kWordsOffset + 2 * std::size_t(i), kWordDefaults[i]);
    for (int i = 0; i < Settings::kOneBytesCount; ++i)
        writeAt<quint8>(m_bytes, Settings::kOneBytesFirst + std::size_t(i), 1);
    for (std::size_t offset : Settings::kOneBytes)
        writeAt<quint8>(m_bytes, offset, 1);
    writeAt<quint16>(m_bytes, Settings::kOneWord, 1);
    writeAt(m_bytes, Settings::kInt32Default34, kInt32Default34Value);
    writeAt(m_bytes, Settings::kInt32Default29, kInt32Default29Value);
}

void _kxClient::resetState() noexcept
{
    kx::zeroBytesAt(m_bytes, kx::Client::kStateOffset, kx::Client::kStateSize);
    writeAt(m_bytes, State::kMarkerByte, kStateMarker);
    writeAt<quint8>(m_bytes, State::kByteOneZeroOnReset, 1);
}

void _kxClient::validate() noexcept
{
    if (readAt<quint16>(m_bytes, State::kWordAtLeast1Second) == 0)
        writeAt<quint16>(m_bytes, State::kWordAtLeast1Second, 1);
    if (readAt<quint16>(m_bytes, State::kWordAtLeast1First) == 0)
        writeAt<quint16>(m_bytes, State::kWordAtLeast1First, 1);
    if (readAt<float>(m_bytes, State::kFloatNotNegative) < 0.0f)
        writeAt(m_bytes, State::kFloatNotNegative, 0.0f);
    if (readAt<qint32>(m_bytes, State::kInt32AtLeast1) <= 0)
        writeAt<qint32>(m_bytes, State::kInt32AtLeast1, 1);

    clampWord<qint16>(m_bytes, Settings::kWord0AtLeast15, 15, kWordMax);
    writeAt<qint16>(m_bytes, Settings::kWord2AlwaysOne, 1);
    clampWord<qint16>(m_bytes, Settings::kWord4Within100To1000, 100, 1000);
    clampWord<qint16>(m_bytes, Settings::kWord3Within15To95, 15, 95);
    clampWord<qint16>(m_bytes, Settings::kWord5AtLeast5, 5, kWordMax);
    clampWord<qint16>(m_bytes, Settings::kWord6AtLeast15, 15, kWordMax);
    if (readAt<qint16>(m_bytes, Settings::kWord7AtLeast1) < 1)
        writeAt<qint16>(m_bytes, Settings::kWord7AtLeast1, 2);
    clampWord<qint16>(m_bytes, Settings::kWord8Within20To600, 20, 600);
    clampWord<qint16>(m_bytes, Settings::kWord9Within0To300, 0, 300);

    clampWord<quint8>(m_bytes, Settings::kInstanceCount, 1, quint8(Settings::kInstanceBlockCount));
    clampWord<qint8>(m_bytes, Settings::kByteWithin0To5, 0, 5);

    if (readAt<quint8>(m_bytes, State::kResetSwitch) != 0) {
        writeAt<quint8>(m_bytes, State::kByteOneZeroOnReset, 0);
        kx::stringField<_kxString<25>>(m_bytes, State::kText25ClearedOnReset).clear();
        writeAt<quint8>(m_bytes, Settings::kByteZeroOnReset, 0);
        for (std::size_t offset : Settings::kBytesOneOnReset)
            writeAt<quint8>(m_bytes, offset, 1);
    }

    keepExecuteReachable();
    compactEntries();
}

void _kxClient::keepExecuteReachable() noexcept
{
    // The comparison ignores letter case, so the lower-cased "execute" of a
    // case-insensitive list counts and repeated validation adds nothing.
    const kx::NameList::Name execute(kExecuteName);
    const kx::NameList::Name any(kAnyName);
    const int blocksInUse = readAt<quint8>(m_bytes, Settings::kInstanceCount);
    bool reachable = false;
    for (int i = 0; i < blocksInUse; ++i) {
        const kx::NameList list = instanceBlock(i).list();
        if (list.hasName(execute) || list.hasName(any))
            reachable = true;
    }
    if (!reachable)
        instanceBlock(0).list().addName(kExecuteName);
}

void _kxClient::compactEntries() noexcept
{
    // A corrupt count must not walk outside the table; it stays as stored
    // unless an entry is dropped.
    const int bound = std::clamp<int>(entryCount(), 0, kx::Client::kEntryCapacity);
    int count = bound;
    for (int k = count - 1; k >= 0; --k) {
        const kx::TableEntry candidate = entry(k);
        if (!candidate.firstText().isEmpty() && !candidate.thirdText().isEmpty())
            continue;
        for (int m = k + 1; m < count; ++m)
            entry(m - 1).copyFrom(entry(m));
        --count; // the entry left behind at the end keeps its bytes
    }
    if (count != bound)
        setEntryCount(qint16(count));
}

kx::NameList _kxClient::topList(int index) noexcept
{
    return kx::NameList(m_bytes + Settings::kTopListOffsets[index], Settings::kTopListCapacities[index]);
}

kx::InstanceBlock _kxClient::instanceBlock(int index) noexcept
{
    return kx::InstanceBlock(m_bytes + Settings::kInstanceBlocksOffset + std::size_t(index) * kx::InstanceBlock::kSize);
}

kx::TableEntry _kxClient::entry(int index) noexcept
{
    return kx::TableEntry(m_bytes + kx::Client::kEntryTableOffset + std::size_t(index) * kx::TableEntry::kSize);
}

kx::SlotEntry _kxClient::slot(int index) noexcept
{
    return kx::SlotEntry(m_bytes + kx::Client::kSlotTableOffset + std::size_t(index) * kx::SlotEntry::kSize);
}

qint16 _kxClient::entryCount() const noexcept
{
    return readAt<qint16>(m_bytes, kx::Client::kEntryCountOffset);
}

void _kxClient::setEntryCount(qint16 count) noexcept
{
    writeAt(m_bytes, kx::Client::kEntryCountOffset, count);
}
