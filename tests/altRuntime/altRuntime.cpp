#include "kxShared.h"

#include <QtCore/QDateTime>
#include <QtCore/QFile>

#include <atomic>
#include <stdexcept>

namespace {
std::atomic<qint64> fixedClock{0};

qint64 presentTime() noexcept
{
    const qint64 fixed = fixedClock.load();
    return fixed != 0 ? fixed : QDateTime::currentMSecsSinceEpoch();
}

QString utcText(qint64 msecs, const char *format)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(QLatin1String(format));
}
} // namespace

void kxAltSetClock(qint64 msecsSinceEpoch) noexcept
{
    fixedClock.store(msecsSinceEpoch);
}

_kxTime::_kxTime(bool now) noexcept : m_msecs(now ? presentTime() : 0) {}

void _kxTime::setCurrentTime(long long value) noexcept
{
    m_msecs = value != 0 ? value : presentTime();
}

QString _kxTime::asStringMt() const
{
    return utcText(m_msecs, "dd.MM.yyyy HH:mm:ss,zzz");
}

QString _kxTime::asStringDateHourMin() const
{
    return utcText(m_msecs, "dd.MM.yyyy HH:mm");
}

QString kxToKXUTF8(QString text, bool)
{
    return text;
}

struct _kxLogfile::Private
{
    QString filePath;
    QStringList entries;
    qsizetype flushedEntries = 0;
    quint64 flushes = 0;
};

_kxLogfile::_kxLogfile() : d(new Private), m_unused{}, m_addedSinceFlush(0), m_tail(0) {}

_kxLogfile::_kxLogfile(const QString &filePath) : _kxLogfile()
{
    d->filePath = filePath;
}

_kxLogfile::~_kxLogfile()
{
    delete d;
}

void _kxLogfile::addLog(QString &entry)
{
    d->entries.append(entry);
    ++m_addedSinceFlush;
}

void _kxLogfile::flush()
{
    if (!d->filePath.isEmpty()) {
        QFile file(d->filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            throw std::runtime_error("cannot open " + d->filePath.toStdString());
        for (qsizetype i = d->flushedEntries; i < d->entries.size(); ++i)
            file.write(d->entries.at(i).toUtf8() + '\n');
    }
    d->flushedEntries = d->entries.size();
    m_addedSinceFlush = 0;
    ++d->flushes;
}

QStringList _kxLogfile::entries() const
{
    return d->entries;
}

quint64 _kxLogfile::flushes() const noexcept
{
    return d->flushes;
}
