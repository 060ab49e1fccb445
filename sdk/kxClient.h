// _kxClient: a render client's record as the SDK constructs, clears and
// validates it. The record is byte-packed and may sit at any address, so the
// class is only its bytes (alignment 1); every routine reaches its fields by
// offset. Bytes from kx::Client::kInitialisedSize on (the name) lie outside
// the object and are never touched here.
#ifndef KXCLIENT_H
#define KXCLIENT_H

#include "kxInstanceBlock.h"
#include "kxNameList.h"
#include "kxSlotEntry.h"
#include "kxTableEntry.h"
#include "records/kxClientRecord.h"

#include <cstddef>
#include <type_traits>

class _kxClient
{
public:
    // The object is the bytes that construction and clear() cover; the record
    // it opens (the name behind them included) is kRecordSize bytes.
    static constexpr std::size_t kSize = kx::Client::kInitialisedSize;
    static constexpr std::size_t kRecordSize = kx::Client::kRecordSize;

    // Constructing the members would only write bytes that clear() zeroes.
    _kxClient() noexcept { clear(); }
    // Constructs the object at the start of a record, wherever it sits; the
    // bytes behind the object keep what they hold.
    static _kxClient *constructAt(void *record) noexcept;

    // Whole record to its defaults, then validated; header FF FF FF FF.
    void clear() noexcept;
    // Out-of-range values replaced, an "Execute" name kept reachable, the
    // entry table compacted.
    void validate() noexcept;
    void setDefaults() noexcept; // settings block
    void resetState() noexcept;  // state block

    // index 0..3: the lists at 8, 1076, 2144 (10 names) and 3212 (6 names).
    kx::NameList topList(int index) noexcept;
    kx::InstanceBlock instanceBlock(int index) noexcept;
    kx::TableEntry entry(int index) noexcept;
    kx::SlotEntry slot(int index) noexcept;

    qint16 entryCount() const noexcept;
    void setEntryCount(qint16 count) noexcept;

    unsigned char *bytes() noexcept { return m_bytes; }
    const unsigned char *bytes() const noexcept { return m_bytes; }

private:
    void keepExecuteReachable() noexcept;
    void compactEntries() noexcept;

    unsigned char m_bytes[kSize];
};

// Nothing behind the constructed bytes belongs to the object, so no compiler
// may take the name as the object's storage.
static_assert(sizeof(_kxClient) == kx::Client::kInitialisedSize);
static_assert(kx::Client::kNameOffset >= sizeof(_kxClient));
static_assert(alignof(_kxClient) == 1);
static_assert(std::is_trivially_copyable_v<_kxClient>);
namespace kx::Client {
static_assert(kEntryTableOffset + kEntryCapacity * TableEntry::kSize == kSlotTableOffset);
static_assert(kSlotTableOffset + kSlotCount * SlotEntry::kSize + 4 == kMessageBoxOffset);
namespace Settings {
static_assert(kTopListOffsets[1] - kTopListOffsets[0] >= NameList::sizeFor(NameList::kFullCapacity));
static_assert(kTopListOffsets[3] + NameList::sizeFor(NameList::kShortCapacity) <= kInstanceBlocksOffset);
static_assert(kInstanceBlocksOffset + kInstanceBlockCount * InstanceBlock::kSize == kInstanceCount);
} // namespace Settings
} // namespace kx::Client

#endif // KXCLIENT_H
