// The server's SDK object: a byte-exact record with a log channel 16 bytes in,
// its layout guards, its main log and its client table pointer.
#ifndef KXSERVERSDKOBJECT_H
#define KXSERVERSDKOBJECT_H

#include "kxSdkLogChannel.h"
#include "kxNotifyContract.h"

#include <QtCore/QString>

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace kx::server {

class SdkObject
{
public:
    // A plain SDK log channel, every category switched on, logging to file-less
    // main and error logs until real files are given.
    SdkObject();
    ~SdkObject();
    SdkObject(const SdkObject &) = delete;
    SdkObject &operator=(const SdkObject &) = delete;

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
    _kxLogfile &errorLog() noexcept { return *m_errorLog; }
    void setErrorLog(std::unique_ptr<_kxLogfile> log);
    // Null until a split log is given.
    _kxLogfile *splitLog() noexcept { return m_splitLog.get(); }
    // Refuses (std::logic_error) to drop the split log while a split category is set.
    void setSplitLog(std::unique_ptr<_kxLogfile> log);
    // Gives the channel main, error and split files in a directory (the split
    // file is used only once a split category is set). The runtime library's
    // stand-in only (kxServerLogFiles.cpp): the file name and the automatic
    // flush are its own.
    void openLogFiles(const QString &directory);
    void openLogFiles(const QString &directory, quint32 autoFlushCount);
    static QString mainLogFileName() { return QStringLiteral("main.log"); }
    static QString errorLogFileName() { return QStringLiteral("error.log"); }
    static QString splitLogFileName() { return QStringLiteral("split.log"); }

    unsigned char *configRecord() noexcept { return m_config.data(); }
    void setLogCategoryEnabled(int category, bool enabled);
    // Negative: every line to the main log; else categories from this one on go to the split log only.
    // Refuses (std::logic_error) a category of 0 or more while there is no split log.
    void setSplitCategory(int category);
    void setStampSeparator(char separator);
    // The name in each error-file header, cut to the field's capacity.
    void setLogName(const QString &name);
    void setLogMuted(bool muted);

    void setClientTable(_kxClientTable *table) noexcept;

private:
    void destroyLog() noexcept;
    void configureLog() noexcept;

    alignas(8) unsigned char m_bytes[kx::ServerSdk::kRecordSize];
    __KXSDK *m_log = nullptr;
    std::unique_ptr<_kxLogfile> m_mainLog;
    std::unique_ptr<_kxLogfile> m_errorLog;
    std::unique_ptr<_kxLogfile> m_splitLog;
    std::vector<unsigned char> m_config;
    // Settings kept here so that they survive installLog().
    __KXSDK::LogName m_logName;
    char m_stampSeparator = '|';
    qint8 m_splitCategory = -1;
    bool m_logMuted = false;
};

} // namespace kx::server

#endif // KXSERVERSDKOBJECT_H
