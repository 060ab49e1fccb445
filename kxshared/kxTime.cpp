#include "kxShared.h"

#include <QtCore/QDateTime>

#include <atomic>

namespace {
std::atomic<qint64> fixedCurrentTime{0};

qint64 presentTime() noexcept
{
    const qint64 fixed = fixedCurrentTime.load(std::memory_order_relaxed);
    return fixed != 0 ? fixed : QDateTime::currentMSecsSinceEpoch();
}

QString localText(qint64 msecs, const QString &format)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(format);
}
} // namespace

void kxSetFixedCurrentTime(qint64 msecsSinceEpoch) noexcept
{
    fixedCurrentTime.store(msecsSinceEpoch, std::memory_order_relaxed);
}

_kxTime::_kxTime(bool now) noexcept
    : m_msecs(now ? presentTime() : 0)
{
}

void _kxTime::setCurrentTime(qint64 msecsSinceEpoch) noexcept
{
    m_msecs = msecsSinceEpoch != 0 ? msecsSinceEpoch : presentTime();
}

QString _kxTime::asStringMt() const
{
    return localText(m_msecs, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString _kxTime::asStringDateHourMin() const
{
    return localText(m_msecs, QStringLiteral("yyyy-MM-dd HH:mm"));
}
