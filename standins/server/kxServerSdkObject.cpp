#include "kxServerSdkObject.h"

#include "kxStringField.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kx::server {

SdkObject::SdkObject()
    : m_bytes{},
      m_mainLog(std::make_unique<_kxLogfile>()),
      m_errorLog(std::make_unique<_kxLogfile>()),
      m_config(kx::ServerConfig::kRecordSize, 0)
{
    for (int category = 0; category < kx::ServerConfig::kLogCategoryCount; ++category)
        setLogCategoryEnabled(category, true);
    kx::writeAt<quint32>(m_bytes, kx::ServerSdk::kVersionCopyOffset, kx::ServerSdk::kVersion);
    kx::writeAt<quint32>(m_bytes, kx::ServerSdk::kEndMarkerOffset, kx::ServerSdk::kEndMarker);
    installLog<__KXSDK>();
}

SdkObject::~SdkObject()
{
    destroyLog();
}

void SdkObject::destroyLog() noexcept
{
    if (m_log)
        m_log->~__KXSDK();
    m_log = nullptr;
}

void SdkObject::configureLog() noexcept
{
    // The guards share bytes with the log channel's object, so they follow its construction.
    kx::writeAt<quint16>(m_bytes, kx::ServerSdk::kVersionOffset, kx::ServerSdk::kVersion);
    kx::writeAt<quint16>(m_bytes, kx::ServerSdk::kLayoutMarkerOffset, kx::ServerSdk::kLayoutMarker);
    m_log->mainLog = m_mainLog.get();
    m_log->errorLog = m_errorLog.get();
    m_log->splitLog = m_splitLog.get();
    m_log->config = m_config.data();
    m_log->logName = m_logName;
    m_log->stampSeparator = m_stampSeparator;
    m_log->splitCategory = m_splitCategory;
    m_log->logMuted = m_logMuted ? 1 : 0;
}

void SdkObject::setMainLog(std::unique_ptr<_kxLogfile> log)
{
    m_mainLog = std::move(log);
    m_log->mainLog = m_mainLog.get();
}

void SdkObject::setErrorLog(std::unique_ptr<_kxLogfile> log)
{
    m_errorLog = std::move(log);
    m_log->errorLog = m_errorLog.get();
}

void SdkObject::setSplitLog(std::unique_ptr<_kxLogfile> log)
{
    if (!log && m_splitCategory >= 0)
        throw std::logic_error("a split category needs a split log file");
    m_splitLog = std::move(log);
    m_log->splitLog = m_splitLog.get();
}

void SdkObject::setSplitCategory(int category)
{
    // The channel writes every line to the split log while a split category
    // is set: without one, the next line would go through a null pointer.
    if (category >= 0 && !m_splitLog)
        throw std::logic_error("a split category needs a split log file");
    m_splitCategory = static_cast<qint8>(std::clamp(category, -1, 127));
    m_log->splitCategory = m_splitCategory;
}

void SdkObject::setStampSeparator(char separator)
{
    m_stampSeparator = separator;
    m_log->stampSeparator = separator;
}

void SdkObject::setLogName(const QString &name)
{
    kx::stringOf(m_logName).assign(name);
    m_log->logName = m_logName;
}

void SdkObject::setLogMuted(bool muted)
{
    m_logMuted = muted;
    m_log->logMuted = muted ? 1 : 0;
}

void SdkObject::setLogCategoryEnabled(int category, bool enabled)
{
    if (category >= 0 && category < kx::ServerConfig::kLogCategoryCount)
        m_config[kx::ServerConfig::kLogEnabledOffset + std::size_t(category)] = enabled ? 1 : 0;
}

void SdkObject::setClientTable(_kxClientTable *table) noexcept
{
    kx::writeAt(m_bytes, kx::ServerSdk::kClientTableOffset, table);
}

} // namespace kx::server
