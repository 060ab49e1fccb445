// pInfo against a record of another version, a missing or foreign SDK
// object and a record that matches: the result, what it wrote and what it left.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

#include <utility>

namespace kx::check {

namespace {
using namespace kx::PluginInfo;

// Bytes no plug-in touches: between the fields, the SDK pointer, and behind byte 515.
constexpr std::pair<std::size_t, std::size_t> kUntouched[] = {
    {4, 18}, {499, 504}, {kSdkPointerOffset, kSdkPointerOffset + 8}, {516, kRecordSize}};
// Bytes written only once every check passed.
constexpr std::pair<std::size_t, std::size_t> kAcceptanceFields[] = {
    {kStatusByteOffset, kStatusByteOffset + 1}, {kStatusWordOffset, kStatusWordOffset + 4}};

struct InfoCall
{
    const char *what;
    quint16 version = kRecordVersion;
    bool nullSdk = false;
    std::size_t sdkFieldChanged = 0; // an SDK object offset whose value is made wrong, or 0
};

// The record as a server leaves it before the call: every byte set, none 0.
void prepare(const PlacedRecord &record, quint16 version, __KXSDK *sdk)
{
    record.fillWithPattern();
    for (std::size_t i = 0; i < record.size; ++i)
        record.bytes[i] = record.bytes[i] ? record.bytes[i] : 0x5A;
    kx::writeAt<quint16>(record.bytes, kVersionOffset, version);
    kx::writeAt(record.bytes, kSdkPointerOffset, sdk);
}

// The first byte in the ranges that differs, or -1.
template <std::size_t N>
int changedIn(const QByteArray &before, const unsigned char *after, const std::pair<std::size_t, std::size_t> (&ranges)[N])
{
    for (const auto &[from, to] : ranges) {
        for (std::size_t i = from; i < to; ++i) {
            if (static_cast<unsigned char>(before.constData()[i]) != after[i])
                return int(i);
        }
    }
    return -1;
}

// A string field written within its capacity, its terminator behind the text.
template <typename Field>
QString misfilled(const unsigned char *record, std::size_t offset, const char *name)
{
    const auto field = kx::stringField<Field>(record, offset);
    if (field.storedLength() > Field::capacity())
        return QStringLiteral("the %1 field holds a length of %2, above its capacity of %3")
            .arg(QLatin1String(name))
            .arg(field.storedLength())
            .arg(Field::capacity());
    if (kx::readAt<char16_t>(record, offset + 4 + 2 * std::size_t(field.storedLength())) != 0)
        return QStringLiteral("the %1 field has no zero unit behind its text").arg(QLatin1String(name));
    return QString();
}
} // namespace

void checkInfo(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    RecordArena arena;
    CheckFarm farm(arena, {});
    const PlacedRecord record = arena.place(kRecordSize);

    static const InfoCall mismatches[] = {
        {"record version 0x0000", 0x0000},
        {"record version 0xC003", 0xC003},
        {"record version 0xC005", 0xC005},
        {"record version 0x04C0 (bytes swapped)", 0x04C0},
        {"record version 0xFFFF", 0xFFFF},
        {"a null SDK pointer", kRecordVersion, true},
        {"an SDK object of version 3843", kRecordVersion, false, kx::ServerSdk::kVersionOffset},
        {"an SDK object whose version copy is 3845", kRecordVersion, false, kx::ServerSdk::kVersionCopyOffset},
    };
    for (const InfoCall &call : mismatches) {
        const QString what = QLatin1String(call.what);
        context.step(QStringLiteral("pInfo with ") + what);
        prepare(record, call.version, call.nullSdk ? nullptr : farm.sdkInterface());
        const quint32 sdkValue = call.sdkFieldChanged ? kx::readAt<quint16>(farm.sdkObject(), call.sdkFieldChanged) : 0;
        if (call.sdkFieldChanged == kx::ServerSdk::kVersionOffset)
            kx::writeAt<quint16>(farm.sdkObject(), call.sdkFieldChanged, quint16(sdkValue - 1));
        else if (call.sdkFieldChanged)
            kx::writeAt<quint32>(farm.sdkObject(), call.sdkFieldChanged, sdkValue + 1);
        const QByteArray before = record.snapshot();
        const int result = module->info(reinterpret_cast<_kxPluginInfo *>(record.bytes));
        if (call.sdkFieldChanged == kx::ServerSdk::kVersionOffset)
            kx::writeAt<quint16>(farm.sdkObject(), call.sdkFieldChanged, quint16(sdkValue));
        else if (call.sdkFieldChanged)
            kx::writeAt<quint32>(farm.sdkObject(), call.sdkFieldChanged, sdkValue);

        if (result != kx::ResultLayoutMismatch)
            context.fail(QStringLiteral("pInfo returned %1 for %2, not 5").arg(result).arg(what));
        if (kx::readAt<quint16>(record.bytes, kVersionOffset) != kRecordVersion)
            context.fail(QStringLiteral("pInfo left 0x%1 as the record version for %2, not 0xC004")
                             .arg(kx::readAt<quint16>(record.bytes, kVersionOffset), 4, 16, QLatin1Char('0'))
                             .arg(what));
        if (const int at = changedIn(before, record.bytes, kUntouched); at >= 0)
            context.fail(QStringLiteral("pInfo wrote byte %1 of the record for %2").arg(at).arg(what));
        if (call.version != kRecordVersion) {
            // Nothing but the version is written before the version is known to match.
            const QByteArray after = record.snapshot();
            for (qsizetype i = 2; i < after.size(); ++i) {
                if (after.constData()[i] != before.constData()[i]) {
                    context.fail(QStringLiteral("pInfo wrote byte %1 of the record for %2").arg(i).arg(what));
                    break;
                }
            }
        } else if (const int at = changedIn(before, record.bytes, kAcceptanceFields); at >= 0) {
            context.fail(QStringLiteral("pInfo accepted the records for %1 (byte %2 written)").arg(what).arg(at));
        }
    }

    context.step(QStringLiteral("pInfo with matching records"));
    prepare(record, kRecordVersion, farm.sdkInterface());
    const QByteArray before = record.snapshot();
    const QByteArray sdkBefore = PlacedRecord{farm.sdkObject(), kx::ServerSdk::kRecordSize,
                                              kx::ServerSdk::kRecordSize, kx::ServerSdk::kRecordSize}
                                     .snapshot();
    const int result = module->info(reinterpret_cast<_kxPluginInfo *>(record.bytes));
    if (result != kx::ResultSuccess)
        context.fail(QStringLiteral("pInfo returned %1 for matching records, not 1").arg(result));
    if (kx::readAt<quint16>(record.bytes, kVersionOffset) != kRecordVersion)
        context.fail(QStringLiteral("pInfo left a record version other than 0xC004"));
    if (kx::readAt<quint16>(record.bytes, kAcceptedOffset) != 1)
        context.fail(QStringLiteral("pInfo left %1 at byte 2, not 1").arg(kx::readAt<quint16>(record.bytes, kAcceptedOffset)));
    if (kx::readAt<quint8>(record.bytes, kStatusByteOffset) != 0)
        context.fail(QStringLiteral("pInfo left byte 498 at %1, not 0").arg(kx::readAt<quint8>(record.bytes, kStatusByteOffset)));
    if (kx::readAt<quint32>(record.bytes, kStatusWordOffset) != 0)
        context.fail(QStringLiteral("pInfo left the 32-bit field at byte 512 at %1, not 0")
                         .arg(kx::readAt<quint32>(record.bytes, kStatusWordOffset)));
    if (const int at = changedIn(before, record.bytes, kUntouched); at >= 0)
        context.fail(QStringLiteral("pInfo wrote byte %1 of the record, which it must not touch").arg(at));
    for (const QString &problem : {misfilled<NameField>(record.bytes, kNameOffset, "name"),
                                   misfilled<AuthorField>(record.bytes, kAuthorOffset, "author"),
                                   misfilled<VersionField>(record.bytes, kPluginVersionOffset, "plug-in version"),
                                   misfilled<VersionField>(record.bytes, kSdkVersionOffset, "SDK version"),
                                   misfilled<VersionField>(record.bytes, kQtVersionOffset, "Qt version")}) {
        if (!problem.isEmpty())
            context.fail(QStringLiteral("pInfo: ") + problem);
    }
    const auto text = [&](std::size_t offset) {
        return kx::stringField<VersionField>(record.bytes, offset).text();
    };
    if (kx::stringField<NameField>(record.bytes, kNameOffset).isEmpty())
        context.fail(QStringLiteral("pInfo gave no plug-in name"));
    if (text(kSdkVersionOffset) != QLatin1String(kx::kSdkVersion))
        context.warn(QStringLiteral("pInfo reports the SDK version \"%1\"; this SDK is \"%2\"")
                         .arg(text(kSdkVersionOffset), QLatin1String(kx::kSdkVersion)));
    const QByteArray sdkAfter = PlacedRecord{farm.sdkObject(), kx::ServerSdk::kRecordSize,
                                             kx::ServerSdk::kRecordSize, kx::ServerSdk::kRecordSize}
                                    .snapshot();
    if (sdkAfter != sdkBefore)
        context.fail(QStringLiteral("pInfo changed the server's SDK object"));
    context.passWith(QStringLiteral("5 for 5 record versions, a null and 2 foreign SDK objects; "
                                    "identity within capacities, fields set, other bytes untouched"));
}

} // namespace kx::check
