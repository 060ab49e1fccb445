// The server's records, declared as the server lays them out. Every offset is
// checked against the contract the plug-in reads by, so the two cannot drift.
#ifndef KXSERVERRECORDS_H
#define KXSERVERRECORDS_H

#include "kxSdkLogChannel.h"
#include "kxShared.h"
#include "records/kxClientTableRecord.h"
#include "records/kxJobRecord.h"
#include "records/kxNotifyParamsRecord.h"
#include "records/kxPluginInfoRecord.h"

#include <cstddef>

struct _kxJob;

struct _kxPluginInfo
{
    quint16 version;
    quint16 accepted;
    unsigned char untouched4[14];
    _kxString<50> name;
    _kxString<100> author;
    _kxString<25> pluginVersion;
    _kxString<25> sdkVersion;
    _kxString<25> qtVersion;
    quint8 statusByte;
    unsigned char untouched499[5];
    __KXSDK *sdk;
    quint32 statusWord;
    unsigned char tail516[4];
};
static_assert(offsetof(_kxPluginInfo, version) == kx::PluginInfo::kVersionOffset);
static_assert(offsetof(_kxPluginInfo, accepted) == kx::PluginInfo::kAcceptedOffset);
static_assert(offsetof(_kxPluginInfo, name) == kx::PluginInfo::kNameOffset);
static_assert(offsetof(_kxPluginInfo, author) == kx::PluginInfo::kAuthorOffset);
static_assert(offsetof(_kxPluginInfo, pluginVersion) == kx::PluginInfo::kPluginVersionOffset);
static_assert(offsetof(_kxPluginInfo, sdkVersion) == kx::PluginInfo::kSdkVersionOffset);
static_assert(offsetof(_kxPluginInfo, qtVersion) == kx::PluginInfo::kQtVersionOffset);
static_assert(offsetof(_kxPluginInfo, statusByte) == kx::PluginInfo::kStatusByteOffset);
static_assert(offsetof(_kxPluginInfo, sdk) == kx::PluginInfo::kSdkPointerOffset);
static_assert(offsetof(_kxPluginInfo, statusWord) == kx::PluginInfo::kStatusWordOffset);
static_assert(sizeof(_kxPluginInfo) == kx::PluginInfo::kRecordSize);

struct _kxNotifyParams
{
    __KXSDK *sdk;
    _kxJob *job;
};
static_assert(offsetof(_kxNotifyParams, sdk) == kx::NotifyParams::kSdkPointerOffset);
static_assert(offsetof(_kxNotifyParams, job) == kx::NotifyParams::kJobPointerOffset);
static_assert(sizeof(_kxNotifyParams) == kx::NotifyParams::kRecordSize);

namespace kx::ServerJob {
// The stand-in server gives each text field of a job all the room its layout
// leaves: the units up to the next field, the terminator among them.
using SceneField = _kxString<kx::Job::kSceneMaxUnits - 1>;
using ImageField = _kxString<kx::Job::kImageMaxUnits - 1>;
using ImageExtensionField = _kxString<kx::Job::kImageExtensionMaxUnits - 1>;
using InfoTextField = _kxString<kx::Job::kInfoTextMaxUnits - 1>;
using RecipientListField = kx::Job::RecipientListField;
} // namespace kx::ServerJob

struct _kxJob
{
    quint16 layoutMarkers[8];
    unsigned char gap16[3444];
    unsigned char id[8];
    unsigned char gap3468[224];
    kx::ServerJob::SceneField scene;
    kx::ServerJob::ImageField image;
    kx::ServerJob::ImageExtensionField imageExtension;
    kx::ServerJob::InfoTextField infoText;
    kx::ServerJob::RecipientListField recipients;
    unsigned char gap30704[45625];
    quint8 progressCode;
    unsigned char tail76330[6];
};
static_assert(offsetof(_kxJob, id) == kx::Job::kIdOffset);
static_assert(offsetof(_kxJob, scene) == kx::Job::kSceneOffset);
static_assert(offsetof(_kxJob, image) == kx::Job::kImageOffset);
static_assert(offsetof(_kxJob, imageExtension) == kx::Job::kImageExtensionOffset);
static_assert(offsetof(_kxJob, infoText) == kx::Job::kInfoTextOffset);
static_assert(offsetof(_kxJob, recipients) == kx::Job::kRecipientListOffset);
static_assert(offsetof(_kxJob, progressCode) == kx::Job::kProgressCodeOffset);
static_assert(sizeof(_kxJob) == kx::Job::kRecordSize);

struct _kxClientTable
{
    unsigned char head[1238];
    qint16 count;
    unsigned char gap1240[kx::ClientTable::kClientsOffset - 1240];
    unsigned char *clients[kx::ClientTable::kMaxClients]; // each a _kxClient record
};
static_assert(offsetof(_kxClientTable, count) == kx::ClientTable::kCountOffset);
static_assert(offsetof(_kxClientTable, clients) == kx::ClientTable::kClientsOffset);
static_assert(sizeof(_kxClientTable) == kx::ClientTable::kRecordSize);

#endif // KXSERVERRECORDS_H
