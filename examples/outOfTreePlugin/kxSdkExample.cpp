// A notification plug-in of a third party: it reports its identity to the
// server and writes one line into the server's log per notification.
#include "kxJobOptionDefinitions.h"
#include "kxNotifyContract.h"
#include "kxSdkLogChannel.h"

#include <QtCore/QString>

#include <cstddef>

namespace {
constexpr char kPluginName[] = "sdkExample";
constexpr char kPluginAuthor[] = "kxNotify SDK example";
constexpr char kPluginVersion[] = "1.0";
constexpr int kProgressCategory = 17; // the server's category of progress lines

int namedJobOptionCount() noexcept
{
    const JobOptionDefinition *table = kx::jobOptionDefinitionTable();
    int named = 0;
    for (int row = 0; row < kx::kJobOptionDefinitionCount; ++row)
        named += table[row].name.isEmpty() ? 0 : 1;
    return named;
}

const unsigned char *sdkObjectOf(const __KXSDK *log) noexcept
{
    return kx::addressAt<const unsigned char>(log, -std::ptrdiff_t(kx::ServerSdk::kInterfaceOffset));
}

// The SDK object around the log channel must have the layout this plug-in
// was built for, or every offset below it would read the wrong bytes.
bool hasKnownServerLayout(const __KXSDK *log) noexcept
{
    using namespace kx::ServerSdk;
    const unsigned char *sdkObject = sdkObjectOf(log);
    return sdkObject && kx::readAt<quint16>(sdkObject, kLayoutMarkerOffset) == kLayoutMarker
        && kx::readAt<quint32>(sdkObject, kEndMarkerOffset) == kEndMarker;
}

// pInfo's guard: the server's SDK object is of the version this plug-in knows.
bool hasKnownServerVersion(const __KXSDK *log) noexcept
{
    using namespace kx::ServerSdk;
    const unsigned char *sdkObject = sdkObjectOf(log);
    return sdkObject && kx::readAt<quint16>(sdkObject, kVersionOffset) == kVersion
        && kx::readAt<quint32>(sdkObject, kVersionCopyOffset) == kVersion;
}

bool hasJobMarkers(const unsigned char *job) noexcept
{
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers) {
        if (kx::readAt<quint16>(job, marker.codeOffset) != marker.code
            || kx::readAt<quint16>(job, marker.codeOffset + 2) == 0)
            return false;
    }
    return true;
}

int describe(_kxPluginInfo *info)
{
    using namespace kx::PluginInfo;
    if (!info)
        return kx::ResultLayoutMismatch;
    const auto serverVersion = kx::readAt<quint16>(info, kVersionOffset);
    kx::writeAt<quint16>(info, kVersionOffset, kRecordVersion);
    if (serverVersion != kRecordVersion)
        return kx::ResultLayoutMismatch;
    kx::writeAt<quint16>(info, kAcceptedOffset, 1);
    kx::stringField<NameField>(info, kNameOffset).store(kPluginName);
    kx::stringField<AuthorField>(info, kAuthorOffset).store(kPluginAuthor);
    kx::stringField<VersionField>(info, kPluginVersionOffset).store(kPluginVersion);
    kx::stringField<VersionField>(info, kSdkVersionOffset).store(kx::kSdkVersion);
    kx::stringField<VersionField>(info, kQtVersionOffset).store(qVersion());
    if (!hasKnownServerVersion(kx::readAt<const __KXSDK *>(info, kSdkPointerOffset)))
        return kx::ResultLayoutMismatch;
    kx::writeAt<quint8>(info, kStatusByteOffset, 0);
    kx::writeAt<quint32>(info, kStatusWordOffset, 0);
    return kx::ResultSuccess;
}

int notify(_kxNotifyParams *params)
{
    if (!params)
        return kx::ResultLayoutMismatch;
    auto *log = kx::readAt<__KXSDK *>(params, kx::NotifyParams::kSdkPointerOffset);
    const auto *job = kx::readAt<const unsigned char *>(params, kx::NotifyParams::kJobPointerOffset);
    if (!log || !job || !hasJobMarkers(job) || !hasKnownServerLayout(log))
        return kx::ResultLayoutMismatch;
    if (kx::stringField<kx::Job::RecipientListField>(job, kx::Job::kRecipientListOffset).isEmpty())
        return kx::ResultNoRecipient;
    // arg() builds a new string: the server may keep the line after this
    // module is unloaded, so it must not point into the module's image.
    log->logMessage(kProgressCategory, 0,
                    QStringLiteral("sdkExample: notified; the SDK knows %1 job options").arg(namedJobOptionCount()));
    return kx::ResultSuccess;
}

// Nothing may leave an export but a result code.
template <typename Call>
int guarded(Call call) noexcept
{
    try {
        return call();
    } catch (...) {
        return kx::ResultExceptionCaught;
    }
}
} // namespace

extern "C" int pInit()
{
    return kx::ResultSuccess;
}

extern "C" int pInfo(_kxPluginInfo *info)
{
    return guarded([info] { return describe(info); });
}

extern "C" int pNotify(_kxNotifyParams *params)
{
    return guarded([params] { return notify(params); });
}

extern "C" int pExit()
{
    return kx::ResultSuccess;
}
