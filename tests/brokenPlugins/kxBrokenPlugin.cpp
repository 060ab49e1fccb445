// A notification plug-in that keeps the contract, built with one KX_FAULT_*
// switch to break it in one way that `kxhost check` must catch:
//   KX_FAULT_fifthExport        exports a fifth function
//   KX_FAULT_markerResult       returns 1 when a job marker is wrong
//   KX_FAULT_boxOverrun         writes one unit past a message box
//   KX_FAULT_keepsJobPointer    keeps the job pointer and reads it in the next call
//   KX_FAULT_exceptionEscapes   lets an exception leave pNotify
//   KX_FAULT_nullCallCrash      reads through a null call record
//   KX_FAULT_leakOnLoad         leaks memory on every load
//   KX_FAULT_hangsInExit        never returns from pExit
//   KX_FAULT_writesIntoJob      writes one byte into the job record
//   KX_FAULT_countsCalls        logs how many calls it has seen
//   KX_FAULT_infoWritesTail     writes behind byte 515 of the information record
//   KX_FAULT_exitsInNotify      ends the process from pNotify
//   KX_FAULT_staysLoaded        cannot be unloaded
//   KX_FAULT_sharesTextBuffer   composes every text in one buffer shared by all calls
//   KX_FAULT_infoSkipsSdkCheck  accepts an SDK object of any version
//   KX_FAULT_infoFillsFirst     fills in its identity before it checks the record version
//   KX_FAULT_noRecipientIsOne   returns 1 for an empty recipient list
//   KX_FAULT_replacesBox        replaces a box's text instead of appending to it
//   KX_FAULT_deliversToAll      appends to every client's box, named or not
//   KX_FAULT_trustsListLength   reads the recipient list as long as its stored length says
//   KX_FAULT_readsPastTable     reads the client pointer behind the last one in use
//   KX_FAULT_chatty             writes far more than a pipe holds to standard output and error
//   KX_FAULT_abortsInInfo       aborts the process in pInfo
//   KX_FAULT_crashesOnLoad      faults while the library is loaded
//   KX_FAULT_lacksExit          does not define pExit
#include "kxNotifyContract.h"
#include "kxSdkLogChannel.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {
constexpr int kProgressCategory = 17;
constexpr int kWarningCategory = 2;

#if defined(KX_FAULT_leakOnLoad)
char *volatile leakedOnLoad = [] {
    auto *block = new char[256 * 1024];
    std::memset(block, 1, 256 * 1024);
    return block;
}();
#endif

#if defined(KX_FAULT_crashesOnLoad)
// A null pointer the compiler cannot see through: an unset variable's value.
[[maybe_unused]] const char crashedOnLoad = *static_cast<volatile const char *>(std::getenv("KX_NO_SUCH_VARIABLE"));
#endif

#if defined(KX_FAULT_keepsJobPointer)
const unsigned char *jobOfTheLastCall = nullptr;
#endif
#if defined(KX_FAULT_countsCalls)
int callsSeen = 0;
#endif

__KXSDK *sdkOf(const void *params) noexcept
{
    return kx::readAt<__KXSDK *>(params, kx::NotifyParams::kSdkPointerOffset);
}

const unsigned char *sdkObjectOf(const __KXSDK *sdk) noexcept
{
    return kx::addressAt<const unsigned char>(sdk, -std::ptrdiff_t(kx::ServerSdk::kInterfaceOffset));
}

bool hasJobMarkers(const unsigned char *job) noexcept
{
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers) {
        if (kx::readAt<quint16>(job, marker.codeOffset) != marker.code || kx::readAt<quint16>(job, marker.codeOffset + 2) == 0)
            return false;
    }
    return true;
}

// Appends within the capacity, dropping the oldest text.
void appendTo(unsigned char *client, const QString &text)
{
    auto field = kx::stringField<kx::Client::MessageBoxField>(client, kx::Client::kMessageBoxOffset);
#if defined(KX_FAULT_replacesBox)
    QString box = text;
#else
    QString box = field.text() + QStringLiteral("\n\n") + text;
#endif
    box = box.right(kx::Client::MessageBoxField::capacity());
    field.assign(box);
#if defined(KX_FAULT_boxOverrun)
    kx::writeAt<char16_t>(client, kx::Client::kMessageBoxOffset + sizeof(kx::Client::MessageBoxField), u'!');
#endif
}

int notify(_kxNotifyParams *params)
{
#if !defined(KX_FAULT_nullCallCrash)
    if (!params)
        return kx::ResultLayoutMismatch;
#else
    // Read the way a plug-in trusting its caller reads it.
    volatile quint8 firstByte = *reinterpret_cast<volatile const quint8 *>(params);
    (void)firstByte;
#endif
    __KXSDK *sdk = sdkOf(params);
    const auto *job = kx::readAt<const unsigned char *>(params, kx::NotifyParams::kJobPointerOffset);
    if (!sdk || !job)
        return kx::ResultLayoutMismatch;
#if defined(KX_FAULT_keepsJobPointer)
    if (jobOfTheLastCall)
        (void)*static_cast<const volatile unsigned char *>(jobOfTheLastCall);
    jobOfTheLastCall = job;
#endif
#if defined(KX_FAULT_countsCalls)
    sdk->logMessage(kProgressCategory, 0, QStringLiteral("broken plug-in: call %1").arg(++callsSeen));
#else
    sdk->logMessage(kProgressCategory, 0, QStringLiteral("broken plug-in: started"));
#endif
#if defined(KX_FAULT_exitsInNotify)
    std::exit(0);
#endif
    if (!hasJobMarkers(job)) {
#if defined(KX_FAULT_markerResult)
        return kx::ResultSuccess;
#else
        return kx::ResultLayoutMismatch;
#endif
    }
    const unsigned char *sdkObject = sdkObjectOf(sdk);
    if (kx::readAt<quint16>(sdkObject, kx::ServerSdk::kLayoutMarkerOffset) != kx::ServerSdk::kLayoutMarker
        || kx::readAt<quint32>(sdkObject, kx::ServerSdk::kEndMarkerOffset) != kx::ServerSdk::kEndMarker)
        return kx::ResultLayoutMismatch;
    const auto recipients = kx::stringField<kx::Job::RecipientListField>(job, kx::Job::kRecipientListOffset);
    if (recipients.isEmpty()) {
        sdk->logMessage(kWarningCategory, 0, QStringLiteral("broken plug-in: no recipient"));
#if defined(KX_FAULT_noRecipientIsOne)
        return kx::ResultSuccess;
#else
        return kx::ResultNoRecipient;
#endif
    }
#if defined(KX_FAULT_trustsListLength)
    const QStringList names = recipients.text(recipients.storedLength()).split(QLatin1Char(';'));
#else
    const QStringList names = recipients.text().split(QLatin1Char(';'));
#endif
#if !defined(KX_FAULT_sharesTextBuffer)
    const QString text = QStringLiteral("job %1 reached %2")
                             .arg(kx::readAt<quint32>(job, kx::Job::kIdOffset + 3))
                             .arg(kx::readAt<quint8>(job, kx::Job::kProgressCodeOffset));
#endif
#if defined(KX_FAULT_sharesTextBuffer)
    // A static buffer: a call on another thread writes it while this one waits
    // for that (or, alone, for 200 us).
    static char shared[64];
    static std::atomic<int> writes{0};
    std::snprintf(shared, sizeof shared, "job %u", unsigned(kx::readAt<quint32>(job, kx::Job::kIdOffset + 3)));
    const int mine = ++writes;
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
    while (writes.load() == mine && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    const QString text = QString::fromLatin1(shared);
#endif
    const auto *table = kx::readAt<const unsigned char *>(sdkObject, kx::ServerSdk::kClientTableOffset);
    const int count = kx::readAt<qint16>(table, kx::ClientTable::kCountOffset);
    int reached = 0;
#if defined(KX_FAULT_readsPastTable)
    for (int i = 0; i <= count; ++i) {
#else
    for (int i = 0; i < count; ++i) {
#endif
        auto *client = kx::readAt<unsigned char *>(table, kx::ClientTable::kClientsOffset + sizeof(void *) * std::size_t(i));
        const QString name = kx::stringField<kx::Client::NameField>(client, kx::Client::kNameOffset).text();
#if defined(KX_FAULT_deliversToAll)
        if (client) {
#else
        if (names.contains(name)) {
#endif
            appendTo(client, text);
            ++reached;
        }
    }
#if defined(KX_FAULT_writesIntoJob)
    kx::writeAt<quint8>(const_cast<unsigned char *>(job), kx::Job::kProgressCodeOffset + 1, 0x77);
#endif
    sdk->logMessage(kProgressCategory, 0, QStringLiteral("broken plug-in: %1 reached").arg(reached));
    return kx::ResultSuccess;
}

int describe(_kxPluginInfo *info)
{
    using namespace kx::PluginInfo;
    const auto serverVersion = kx::readAt<quint16>(info, kVersionOffset);
    kx::writeAt<quint16>(info, kVersionOffset, kRecordVersion);
#if defined(KX_FAULT_infoFillsFirst)
    kx::stringField<NameField>(info, kNameOffset).store("brokenPlugin");
#endif
    if (serverVersion != kRecordVersion)
        return kx::ResultLayoutMismatch;
    kx::writeAt<quint16>(info, kAcceptedOffset, 1);
    kx::stringField<NameField>(info, kNameOffset).store("brokenPlugin");
    kx::stringField<AuthorField>(info, kAuthorOffset).store("kxhost check tests");
    kx::stringField<VersionField>(info, kPluginVersionOffset).store("1.0");
    kx::stringField<VersionField>(info, kSdkVersionOffset).store(kx::kSdkVersion);
    kx::stringField<VersionField>(info, kQtVersionOffset).store(qVersion());
    const unsigned char *sdkObject = sdkObjectOf(kx::readAt<const __KXSDK *>(info, kSdkPointerOffset));
#if !defined(KX_FAULT_infoSkipsSdkCheck)
    if (!sdkObject || kx::readAt<quint16>(sdkObject, kx::ServerSdk::kVersionOffset) != kx::ServerSdk::kVersion
        || kx::readAt<quint32>(sdkObject, kx::ServerSdk::kVersionCopyOffset) != kx::ServerSdk::kVersion)
        return kx::ResultLayoutMismatch;
#else
    (void)sdkObject;
#endif
    kx::writeAt<quint8>(info, kStatusByteOffset, 0);
    kx::writeAt<quint32>(info, kStatusWordOffset, 0);
#if defined(KX_FAULT_infoWritesTail)
    kx::writeAt<quint8>(info, kStatusWordOffset + 4, 0);
#endif
    return kx::ResultSuccess;
}
} // namespace

extern "C" int pInit()
{
#if defined(KX_FAULT_chatty)
    // Four times what a pipe holds, once a process.
    static bool spoken = false;
    const std::string line(1023, 'x');
    for (int i = 0; i < 256 && !spoken; ++i)
        std::fprintf(i % 2 ? stdout : stderr, "%s\n", line.c_str());
    spoken = true;
#endif
    return kx::ResultSuccess;
}

extern "C" int pInfo(_kxPluginInfo *info)
{
#if defined(KX_FAULT_abortsInInfo)
    std::abort();
#endif
    return describe(info);
}

extern "C" int pNotify(_kxNotifyParams *params)
{
#if defined(KX_FAULT_exceptionEscapes)
    return notify(params);
#else
    try {
        return notify(params);
    } catch (...) {
        return kx::ResultExceptionCaught;
    }
#endif
}

#if !defined(KX_FAULT_lacksExit)
extern "C" int pExit()
{
#if defined(KX_FAULT_hangsInExit)
    for (volatile bool spinning = true; spinning;) {
    }
#endif
    return kx::ResultSuccess;
}
#endif

#if defined(KX_FAULT_fifthExport)
extern "C" KX_PLUGIN_EXPORT int pVersion()
{
    return 1;
}
#endif
