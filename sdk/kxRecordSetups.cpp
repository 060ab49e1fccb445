#include "kxRecordSetups.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"

#include <cstring>

namespace kx {

void NineteenSlotRecord::setUp(void *record) noexcept
{
    writeAt<quint8>(record, kSwitchOffset, 1);
    for (int i = 0; i < kSlotCount; ++i) {
        unsigned char *slot = bytesAt(record, std::size_t(i) * kSlotSize);
        stringField<_kxString8_allSize<100>>(slot, kLongText).clear();
        writeAt<quint32>(slot, kValue, 65);
        writeAt<quint16>(slot, kWord, 1);
        stringField<_kxString8_allSize<50>>(slot, kFirstText).clear();
        const unsigned char flags[] = {0, 1, 0};
        std::memcpy(slot + kFlags, flags, sizeof flags);
        stringField<_kxString8_allSize<50>>(slot, kSecondText).clear();
    }
}

void TextRecord::setUp(void *record) noexcept
{
    writeAt<quint16>(record, kWord, 0);
    stringField<_kxString<200>>(record, kText).construct();
    stringField<_kxString8_allSize<100>>(record, kFirstName).clear();
    stringField<_kxString8_allSize<100>>(record, kSecondName).clear();
}

void PresetRecord::setUp(void *record) noexcept
{
    // Zeroing clears the short name and the text as well.
    zeroBytesAt(record, 0, kSize);
    writeAt<quint32>(record, kValue, 517);
    writeAt<quint16>(record, kKind, 2);
    stringField<_kxString8_allSize<50>>(record, kName).store(kPresetName);
    writeAt<quint8>(record, kMarker, 255);
    writeAt<qint16>(record, kNoIndex, -1);
    writeAt<quint16>(record, kFlag, 1);
}

} // namespace kx
