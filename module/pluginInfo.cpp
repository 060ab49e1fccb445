#include "pluginInfo.h"

#include "kxNotifyPluginApi.h"
#include "kxRecordAccess.h"
#include "kxSdkLogChannel.h"
#include "layoutGuards.h"
#include "records/kxPluginInfoRecord.h"
#include "records/kxServerSdkRecord.h"

#include <QtCore/QtGlobal>

#include <cstring>

namespace {
constexpr const char kPluginName[] = "kxMessage";
constexpr const char kPluginAuthor[] = "KX, Talvenhorst";
constexpr const char kPluginVersion[] = "1.0";
} // namespace

void kx::writeLatin1Field(void *record, std::size_t offset, const char *text, int capacity) noexcept
{
    const int length = int(std::min<std::size_t>(std::strlen(text), std::size_t(capacity)));
    writeAt<quint16>(record, offset, quint16(length));
    for (int i = 0; i < length; ++i)
        writeAt<char16_t>(record, offset + 4 + 2 * std::size_t(i), static_cast<unsigned char>(text[i]));
    writeAt<char16_t>(record, offset + 4 + 2 * std::size_t(length), 0);
}

int kx::describePlugin(void *info) noexcept
{
    using namespace PluginInfo;
    if (!info)
        return ResultLayoutMismatch;

    const auto serverVersion = readAt<quint16>(info, kVersionOffset);
    writeAt<quint16>(info, kVersionOffset, kRecordVersion);
    if (serverVersion != kRecordVersion)
        return ResultLayoutMismatch;

    writeLatin1Field(info, kSdkVersionOffset, kSdkVersion, VersionField::capacity());
    if (const char *qtVersion = qVersion())
        writeLatin1Field(info, kQtVersionOffset, qtVersion, VersionField::capacity());
    writeAt<quint16>(info, kAcceptedOffset, 1);
    writeLatin1Field(info, kNameOffset, kPluginName, NameField::capacity());
    writeLatin1Field(info, kAuthorOffset, kPluginAuthor, AuthorField::capacity());
    writeLatin1Field(info, kPluginVersionOffset, kPluginVersion, VersionField::capacity());

    const auto *sdkObject = addressAt<const unsigned char>(readAt<const void *>(info, kSdkPointerOffset),
                                                           -std::ptrdiff_t(ServerSdk::kInterfaceOffset));
    if (!sdkObject || !hasInfoSdkLayout(sdkObject))
        return ResultLayoutMismatch;

    writeAt<quint8>(info, kStatusByteOffset, 0);
    writeAt<quint32>(info, kStatusWordOffset, 0);
    return ResultSuccess;
}
