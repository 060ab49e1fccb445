#include "kxShared.h"

#include <QtCore/QFile>

#include <stdexcept>

#if defined(_WIN32)
// A DLL client that binds the constant by reference imports it, so the DLL
// must hold a definition of its own.
constexpr quint32 _kxLogfile::DefaultAutoFlushCount;
#endif

struct _kxLogfile::Private
{
    QString filePath;
    QStringList pending;
    quint64 flushCount = 0;
};

_kxLogfile::_kxLogfile()
    : d(new Private), m_reserved{}, m_autoFlushCount(DefaultAutoFlushCount)
{
}

_kxLogfile::_kxLogfile(const QString &filePath)
    : _kxLogfile()
{
    d->filePath = filePath;
}

_kxLogfile::~_kxLogfile()
{
    // Whatever is still kept reaches the file; a destructor must not throw.
    try {
        flush();
    } catch (...) {
    }
    delete d;
}

void _kxLogfile::addLog(QString &entry)
{
    d->pending.append(entry);
    if (quint32(d->pending.size()) >= m_autoFlushCount)
        flush();
}

void _kxLogfile::flush()
{
    if (d->filePath.isEmpty()) {
        ++d->flushCount;
        return;
    }
    if (d->pending.isEmpty()) {
        ++d->flushCount;
        return;
    }
    QByteArray bytes;
    for (const QString &entry : std::as_const(d->pending)) {
        bytes += entry.toUtf8();
        if (!entry.endsWith(QLatin1Char('\n')))
            bytes += '\n';
    }
    QFile file(d->filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)
        || file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error("cannot write log file " + d->filePath.toStdString());
    d->pending.clear();
    ++d->flushCount;
}

QString _kxLogfile::filePath() const
{
    return d->filePath;
}

QStringList _kxLogfile::pendingEntries() const
{
    return d->pending;
}

quint64 _kxLogfile::flushCount() const noexcept
{
    return d->flushCount;
}
