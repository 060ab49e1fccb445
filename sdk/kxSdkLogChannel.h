// __KXSDK: the SDK's log channel. The server builds one inside its SDK object
// (16 bytes in), sets up its log files and configuration, and hands its
// address to the plug-in, which calls logMessage and flushes mainLog.
#ifndef KXSDKLOGCHANNEL_H
#define KXSDKLOGCHANNEL_H

#include "kxShared.h"

#include <cstddef>

// The server packs the object to 4-byte alignment: pointers at multiples of 4.
#pragma pack(push, 4)

// The members behind the virtual-table pointer; offsets count from the start
// of __KXSDK, so each sits 8 bytes further than within this struct.
struct KxSdkLogMembers
{
    using LogName = _kxString8_allSize<256>;

    unsigned char serverBytes8[9];      // 8..16: the server's (its layout guards at 12 and 14)
    quint8 criticalFailure;             // 17: set by a critical line or crash report
    unsigned char reserved18[10];
    _kxLogfile *mainLog;                // 28
    _kxLogfile *errorLog;               // 36: categories 0 and 1, with a header
    const void *config;                 // 44: the server's configuration record, may be null
    unsigned char reserved52[19820];
    LogName logName;                    // 19872: in brackets in each error-file header
    unsigned char reserved20132[788];
    quint8 logMuted;                    // 20920: while non-zero nothing is written
    unsigned char reserved20921[506];
    char stampSeparator;                // 21427: follows the time stamp; marks a tag
    qint8 splitCategory;                // 21428: negative, no split; else first category off mainLog
    unsigned char reserved21429[139];
    _kxLogfile *splitLog;               // 21568: every line while splitCategory >= 0
};

class __KXSDK : public KxSdkLogMembers
{
public:
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

namespace kx::SdkLog {
// Offsets from the start of __KXSDK (where its virtual-table pointer lies).
constexpr std::size_t kMembersOffset = 8;
constexpr std::size_t kCriticalFailureOffset = 17;
constexpr std::size_t kMainLogOffset = 28;
constexpr std::size_t kErrorLogOffset = 36;
constexpr std::size_t kConfigOffset = 44;
constexpr std::size_t kLogNameOffset = 19872;
constexpr std::size_t kLogMutedOffset = 20920;
constexpr std::size_t kStampSeparatorOffset = 21427;
constexpr std::size_t kSplitCategoryOffset = 21428;
constexpr std::size_t kSplitLogOffset = 21568;
constexpr std::size_t kSize = 21576;
// The 32-bit field of a _kxLogfile that a crash report sets to 0.
constexpr std::size_t kLogfileCrashFieldOffset = 512;
} // namespace kx::SdkLog

static_assert(offsetof(KxSdkLogMembers, criticalFailure) + kx::SdkLog::kMembersOffset == kx::SdkLog::kCriticalFailureOffset);
static_assert(offsetof(KxSdkLogMembers, mainLog) + kx::SdkLog::kMembersOffset == kx::SdkLog::kMainLogOffset);
static_assert(offsetof(KxSdkLogMembers, errorLog) + kx::SdkLog::kMembersOffset == kx::SdkLog::kErrorLogOffset);
static_assert(offsetof(KxSdkLogMembers, config) + kx::SdkLog::kMembersOffset == kx::SdkLog::kConfigOffset);
static_assert(offsetof(KxSdkLogMembers, logName) + kx::SdkLog::kMembersOffset == kx::SdkLog::kLogNameOffset);
static_assert(offsetof(KxSdkLogMembers, logMuted) + kx::SdkLog::kMembersOffset == kx::SdkLog::kLogMutedOffset);
static_assert(offsetof(KxSdkLogMembers, stampSeparator) + kx::SdkLog::kMembersOffset == kx::SdkLog::kStampSeparatorOffset);
static_assert(offsetof(KxSdkLogMembers, splitCategory) + kx::SdkLog::kMembersOffset == kx::SdkLog::kSplitCategoryOffset);
static_assert(offsetof(KxSdkLogMembers, splitLog) + kx::SdkLog::kMembersOffset == kx::SdkLog::kSplitLogOffset);
static_assert(sizeof(KxSdkLogMembers) + kx::SdkLog::kMembersOffset == kx::SdkLog::kSize);
static_assert(kx::SdkLog::kLogfileCrashFieldOffset == _kxLogfileLayout::autoFlushCountOffset);
// Only the virtual-table pointer precedes the members.
static_assert(sizeof(__KXSDK) == kx::SdkLog::kSize);

#endif // KXSDKLOGCHANNEL_H
