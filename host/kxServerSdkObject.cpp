#include "kxServerSdkObject.h"

#include "kxRecordAccess.h"

#include <cstring>

KxServerSdkObject::KxServerSdkObject()
    : m_bytes{},
      m_mainLog(std::make_unique<_kxLogfile>()),
      m_config(kx::ServerConfig::kRecordSize, 0)
{
    for (int category = 0; category < kx::ServerConfig::kLogCategoryCount; ++category)
        setLogCategoryEnabled(category, true);
    kx::writeAt<quint32>(m_bytes, kx::ServerSdk::kVersionCopyOffset, kx::ServerSdk::kVersion);
    kx::writeAt<quint32>(m_bytes, kx::ServerSdk::kEndMarkerOffset, kx::ServerSdk::kEndMarker);
    installLog<__KXSDK>();
}

KxServerSdkObject::~KxServerSdkObject()
{
    destroyLog();
}

void KxServerSdkObject::destroyLog() noexcept
{
    if (m_log)
        m_log->~__KXSDK();
    m_log = nullptr;
}

void KxServerSdkObject::configureLog() noexcept
{
    // The guards share bytes with the log channel's object, so they follow its construction.
    kx::writeAt<quint16>(m_bytes, kx::ServerSdk::kVersionOffset, kx::ServerSdk::kVersion);
    kx::writeAt<quint16>(m_bytes, kx::ServerSdk::kLayoutMarkerOffset, kx::ServerSdk::kLayoutMarker);
    m_log->mainLog = m_mainLog.get();
    m_log->config = m_config.data();
}

void KxServerSdkObject::setMainLog(std::unique_ptr<_kxLogfile> log)
{
    m_mainLog = std::move(log);
    m_log->mainLog = m_mainLog.get();
}

void KxServerSdkObject::setLogCategoryEnabled(int category, bool enabled)
{
    if (category >= 0 && category < kx::ServerConfig::kLogCategoryCount)
        m_config[kx::ServerConfig::kLogEnabledOffset + std::size_t(category)] = enabled ? 1 : 0;
}

void KxServerSdkObject::setClientTable(_kxClientTable *table) noexcept
{
    kx::writeAt(m_bytes, kx::ServerSdk::kClientTableOffset, table);
}

_kxClientTable *KxServerSdkObject::clientTable() const noexcept
{
    return kx::readAt<_kxClientTable *>(m_bytes, kx::ServerSdk::kClientTableOffset);
}
