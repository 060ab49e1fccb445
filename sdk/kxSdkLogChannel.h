// __KXSDK: the SDK's log channel. The server builds one inside its SDK object
// (16 bytes in), sets up its log files and configuration, and hands its
// address to the plug-in, which calls logMessage and flushes mainLog.
#ifndef KXSDKLOGCHANNEL_H
#define KXSDKLOGCHANNEL_H

#include "kxSharedLayout.h"
#include "records/kxServerSdkRecord.h"

#include <cstddef>

// The server packs the object to 4-byte alignment: pointers at multiples of 4.
#pragma pack(push, 4)

// No base class: the virtual-table pointer, then the members at the byte
// offsets the server lays them out at (kx::SdkLog, records/kxServerSdkRecord.h).
class __KXSDK
{
public:
    using LogName = _kxString8_allSize<256>;
    enum Category { CategoryCritical = 0, CategoryError = 1, CategoryWarning = 2 };
    static constexpr int flagBare = 0x10;
    static constexpr int flagContinued = 0x200;

    __KXSDK() noexcept;
    // Slot 0. The caller's text is not changed.
    virtual void logMessage(int category, int flags, const QString &text);
    // Slot 1. Releases nothing: the log files and configuration are the server's.
    virtual ~__KXSDK();

    __KXSDK(const __KXSDK &) = delete;
    __KXSDK &operator=(const __KXSDK &) = delete;

    unsigned char serverBytes8[9] = {};      // 8..16: the server's (its layout guards at 12 and 14)
    quint8 criticalFailure = 0;              // 17: set by a critical line or crash report
    unsigned char reserved18[10] = {};
    _kxLogfile *mainLog = nullptr;           // 28
    _kxLogfile *errorLog = nullptr;          // 36: categories 0 and 1, with a header
    const void *config = nullptr;            // 44: the server's configuration record, may be null
    unsigned char reserved52[19820] = {};
    LogName logName;                         // 19872: in brackets in each error-file header
    unsigned char reserved20132[788] = {};
    quint8 logMuted = 0;                     // 20920: while non-zero nothing is written
    unsigned char reserved20921[506] = {};
    char stampSeparator = '|';               // 21427: follows the time stamp; marks a tag
    qint8 splitCategory = -1;                // 21428: negative, no split; else first category off mainLog
    unsigned char reserved21429[139] = {};
    _kxLogfile *splitLog = nullptr;          // 21568: every line while splitCategory >= 0

protected:
    // One log line: head, tag, a space and the marked text.
    QString formatLine(int category, int flags, const QString &text) const;
    // The error file's entry: a header naming the log, then the line.
    void writeErrorLog(int category, const QString &line);

private:
    bool isCategoryEnabled(int category) const noexcept;
    void raiseCriticalFailure() noexcept;
};

#pragma pack(pop)

namespace kx {
// The SDK's version text, a leading blank included: reported by pInfo and
// written into every error-file header.
constexpr char kSdkVersion[] = " 8.4.03";
} // namespace kx


// offsetof on a class with virtual functions is conditionally supported; the
// compilers this builds with give the byte offset, and every member is pinned.
#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
static_assert(offsetof(__KXSDK, serverBytes8) == kx::SdkLog::kMembersOffset);
static_assert(offsetof(__KXSDK, criticalFailure) == kx::SdkLog::kCriticalFailureOffset);
static_assert(offsetof(__KXSDK, mainLog) == kx::SdkLog::kMainLogOffset);
static_assert(offsetof(__KXSDK, errorLog) == kx::SdkLog::kErrorLogOffset);
static_assert(offsetof(__KXSDK, config) == kx::SdkLog::kConfigOffset);
static_assert(offsetof(__KXSDK, logName) == kx::SdkLog::kLogNameOffset);
static_assert(offsetof(__KXSDK, logMuted) == kx::SdkLog::kLogMutedOffset);
static_assert(offsetof(__KXSDK, stampSeparator) == kx::SdkLog::kStampSeparatorOffset);
static_assert(offsetof(__KXSDK, splitCategory) == kx::SdkLog::kSplitCategoryOffset);
static_assert(offsetof(__KXSDK, splitLog) == kx::SdkLog::kSplitLogOffset);
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif
static_assert(kx::SdkLog::kLogfileCrashFieldOffset == kx::SharedLayout::kLogfileCrashFieldOffset);
static_assert(sizeof(__KXSDK) == kx::SdkLog::kSize);

#endif // KXSDKLOGCHANNEL_H
