#include "layoutGuards.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"
#include "records/kxJobRecord.h"
#include "records/kxServerSdkRecord.h"

bool kx::hasJobLayout(const _kxJob *job) noexcept
{
    for (const Job::LayoutMarker &marker : Job::kLayoutMarkers) {
        if (readAt<quint16>(job, marker.codeOffset) != marker.code)
            return false;
        if (readAt<quint16>(job, marker.codeOffset + 2) == 0)
            return false;
    }
    return true;
}

bool kx::hasNotifySdkLayout(const void *sdkObject) noexcept
{
    return readAt<quint16>(sdkObject, ServerSdk::kLayoutMarkerOffset) == ServerSdk::kLayoutMarker
           && readAt<quint32>(sdkObject, ServerSdk::kEndMarkerOffset) == ServerSdk::kEndMarker;
}

bool kx::hasInfoSdkLayout(const void *sdkObject) noexcept
{
    return readAt<quint16>(sdkObject, ServerSdk::kVersionOffset) == ServerSdk::kVersion
           && readAt<quint32>(sdkObject, ServerSdk::kVersionCopyOffset) == ServerSdk::kVersion;
}
