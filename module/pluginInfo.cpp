#include "pluginInfo.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxNotifyContract.h"
#include "kxSdkLogChannel.h"
#include "layoutGuards.h"

#include <QtCore/QtGlobal>

namespace {
constexpr const char kPluginName[] = "kxMessage";
constexpr const char kPluginAuthor[] = "KX, Talvenhorst";
constexpr const char kPluginVersion[] = "1.0";
} // namespace

int kx::describePlugin(_kxPluginInfo *info) noexcept
{
    using namespace PluginInfo;
    if (!info)
        return ResultLayoutMismatch;

    const auto serverVersion = readAt<quint16>(info, kVersionOffset);
    writeAt<quint16>(info, kVersionOffset, kRecordVersion);
    if (serverVersion != kRecordVersion)
        return ResultLayoutMismatch;

    stringField<VersionField>(info, kSdkVersionOffset).store(kSdkVersion);
    if (const char *qtVersion = qVersion())
        stringField<VersionField>(info, kQtVersionOffset).store(qtVersion);
    writeAt<quint16>(info, kAcceptedOffset, 1);
    stringField<NameField>(info, kNameOffset).store(kPluginName);
    stringField<AuthorField>(info, kAuthorOffset).store(kPluginAuthor);
    stringField<VersionField>(info, kPluginVersionOffset).store(kPluginVersion);

    const auto *sdkObject = addressAt<const unsigned char>(readAt<const void *>(info, kSdkPointerOffset),
                                                           -std::ptrdiff_t(ServerSdk::kInterfaceOffset));
    if (!sdkObject || !hasInfoSdkLayout(sdkObject))
        return ResultLayoutMismatch;

    writeAt<quint8>(info, kStatusByteOffset, 0);
    writeAt<quint32>(info, kStatusWordOffset, 0);
    return ResultSuccess;
}
