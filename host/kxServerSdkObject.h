// The server's SDK object: a byte-exact record with a log channel 16 bytes in,
// its layout guards, its main log and its client table pointer.
#ifndef KXSERVERSDKOBJECT_H
#define KXSERVERSDKOBJECT_H

#include "kxSdkLogChannel.h"
#include "kxServerRecords.h"
#include "records/kxServerConfigRecord.h"
#include "records/kxServerSdkRecord.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

class KxServerSdkObject
{
public:
    // A plain SDK log channel, every category switched on, logging to mainLog.
    KxServerSdkObject();
    ~KxServerSdkObject();
    KxServerSdkObject(const KxServerSdkObject &) = delete;
    KxServerSdkObject &operator=(const KxServerSdkObject &) = delete;

    // Replaces the log channel by one of the server's own kind (for instance
    // one that records or throws), then restores the layout guards and settings.
    template <typename Log, typename... Args>
    Log &installLog(Args &&...args)
    {
        static_assert(std::is_base_of_v<__KXSDK, Log>);
        static_assert(sizeof(Log) <= kx::ServerSdk::kVersionCopyOffset - kx::ServerSdk::kInterfaceOffset,
                      "the log channel must not reach the server's fields behind it");
        destroyLog();
        Log *log = new (m_bytes + kx::ServerSdk::kInterfaceOffset) Log(std::forward<Args>(args)...);
        m_log = log;
        configureLog();
        return *log;
    }

    __KXSDK *sdkInterface() noexcept { return m_log; }
    unsigned char *bytes() noexcept { return m_bytes; }
    _kxLogfile &mainLog() noexcept { return *m_mainLog; }
    // Replaces the main log file (the old one is flushed and closed).
    void setMainLog(std::unique_ptr<_kxLogfile> log);
    unsigned char *configRecord() noexcept { return m_config.data(); }
    void setLogCategoryEnabled(int category, bool enabled);

    void setClientTable(_kxClientTable *table) noexcept;
    _kxClientTable *clientTable() const noexcept;

private:
    void destroyLog() noexcept;
    void configureLog() noexcept;

    alignas(8) unsigned char m_bytes[kx::ServerSdk::kRecordSize];
    __KXSDK *m_log = nullptr;
    std::unique_ptr<_kxLogfile> m_mainLog;
    std::vector<unsigned char> m_config;
};

#endif // KXSERVERSDKOBJECT_H
