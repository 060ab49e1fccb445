#include "kxShared.h"

#include <QtCore/QDateTime>

#include <algorithm>
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
    // Every log line asks for this stamp, so the text up to the seconds is
    // kept per thread: within one second only the milliseconds change.
    struct SecondText
    {
        qint64 second = -1;
        QString text;
    };
    thread_local SecondText cached;
    // Lines come faster than milliseconds pass: the last stamp is handed out
    // again, shared, instead of built anew.
    thread_local qint64 lastMsecs; // no stamp yet while lastStamp is empty
    thread_local QString lastStamp;
    if (m_msecs == lastMsecs && !lastStamp.isEmpty())
        return lastStamp;
    const qint64 second = m_msecs >= 0 ? m_msecs / 1000 : (m_msecs - 999) / 1000;
    const int millis = int(m_msecs - second * 1000);
    if (cached.second != second || cached.text.isEmpty()) {
        cached.text = localText(second * 1000, QStringLiteral("yyyy-MM-dd HH:mm:ss."));
        cached.second = second;
    }
    const auto prefixSize = cached.text.size();
    QString stamp(prefixSize + 3, Qt::Uninitialized);
    QChar *units = stamp.data();
    std::copy(cached.text.constData(), cached.text.constData() + prefixSize, units);
    units[prefixSize] = QLatin1Char(char('0' + millis / 100));
    units[prefixSize + 1] = QLatin1Char(char('0' + millis / 10 % 10));
    units[prefixSize + 2] = QLatin1Char(char('0' + millis % 10));
    lastMsecs = m_msecs;
    lastStamp = stamp;
    return stamp;
}

QString _kxTime::asStringDateHourMin() const
{
    return localText(m_msecs, QStringLiteral("yyyy-MM-dd HH:mm"));
}
