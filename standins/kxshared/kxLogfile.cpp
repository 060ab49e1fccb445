#include "kxShared.h"

#include <QtCore/QFile>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {
// While the file fails, what waits for it is bounded: the oldest entries go
// first and are counted, so a full disk cannot eat the server's memory.
constexpr qsizetype kMaxKeptEntries = 1024;
constexpr qsizetype kMaxKeptUnits = 4 * 1024 * 1024;
// While the file fails, a retry costs a pass over everything kept; spacing the
// retries keeps the cost per entry bounded.
constexpr quint32 kMinRetrySpacing = 64;

QByteArray lostEntriesRecord(qint64 count)
{
    return QStringLiteral("!!! %1 log %2 lost: the file could not be written\n")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))
        .toUtf8();
}

void appendEntry(QByteArray *bytes, const QString &entry)
{
    *bytes += entry.toUtf8();
    if (!entry.endsWith(QLatin1Char('\n')))
        *bytes += '\n';
}
} // namespace

// Qt 5 counts bytes in int, Qt 6 in qsizetype.
using ByteCount = decltype(QByteArray().size());

#if defined(_WIN32)
// A DLL client that binds the constant by reference imports it, so the DLL
// must hold a definition of its own.
constexpr quint32 _kxLogfile::DefaultAutoFlushCount;
#endif

struct _kxLogfile::Private
{
    QString filePath;
    QStringList pending;
    qsizetype pendingUnits = 0;
    // The rest of a piece that reached the file only in part and could not be
    // cut off again; it goes first, so the piece ends up whole and once.
    QByteArray unfinished;
    qint64 lostEntries = 0;
    quint32 addsSinceAttempt = 0;
    bool isFailing = false;
    quint64 flushCount = 0;

    void dropOldest();
    void writePending();
};

void _kxLogfile::Private::dropOldest()
{
    while (pending.size() > 1 && (pending.size() > kMaxKeptEntries || pendingUnits > kMaxKeptUnits)) {
        pendingUnits -= pending.constFirst().size();
        pending.removeFirst();
        ++lostEntries;
    }
}

void _kxLogfile::Private::writePending()
{
    // Pieces in file order; the end of each is where the file may be cut back to.
    enum class Piece { Unfinished, LostRecord, Entry };
    std::vector<std::pair<Piece, ByteCount>> pieces;
    QByteArray bytes = unfinished;
    if (!unfinished.isEmpty())
        pieces.emplace_back(Piece::Unfinished, bytes.size());
    if (lostEntries > 0) {
        bytes += lostEntriesRecord(lostEntries);
        pieces.emplace_back(Piece::LostRecord, bytes.size());
    }
    for (const QString &entry : std::as_const(pending)) {
        appendEntry(&bytes, entry);
        pieces.emplace_back(Piece::Entry, bytes.size());
    }

    // Unbuffered, so that write() tells how much the system took.
    QFile file(filePath);
    ByteCount written = 0;
    QString cause;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        cause = file.errorString();
    } else {
        // Opening to append left the position at the end: the size before this write.
        const qint64 sizeBefore = file.pos();
        // A write cut short by a full disk carries no cause; the next one, refused, does.
        while (written != bytes.size()) {
            const qint64 taken = file.write(bytes.constData() + written, bytes.size() - written);
            if (taken <= 0) {
                cause = file.errorString();
                break;
            }
            written += ByteCount(taken);
        }
        // A piece cut in two is taken back out of the file, unless someone else wrote since.
        ByteCount lastWhole = 0;
        for (const auto &piece : pieces) {
            if (piece.second > written)
                break;
            lastWhole = piece.second;
        }
        if (written != lastWhole && file.size() == sizeBefore + written && file.resize(sizeBefore + lastWhole))
            written = lastWhole;
    }
    if (written == bytes.size()) {
        unfinished.clear();
        lostEntries = 0;
        pending.clear();
        pendingUnits = 0;
        isFailing = false;
        return;
    }

    // What reached the file leaves memory; the rest of a piece still cut in two goes first next time.
    QByteArray rest;
    ByteCount start = 0;
    for (const auto &[kind, end] : pieces) {
        if (written <= start)
            break;
        const bool isWhole = written >= end;
        if (!isWhole)
            rest = bytes.mid(written, end - written);
        switch (kind) {
        case Piece::Unfinished:
            unfinished.clear();
            break;
        case Piece::LostRecord:
            lostEntries = 0;
            break;
        case Piece::Entry:
            pendingUnits -= pending.constFirst().size();
            pending.removeFirst();
            break;
        }
        start = end;
        if (!isWhole)
            break;
    }
    if (!rest.isEmpty())
        unfinished = rest;
    isFailing = true;
    dropOldest();
    throw std::runtime_error(QStringLiteral("cannot write log file %1: %2").arg(filePath, cause).toStdString());
}

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
    d->pendingUnits += entry.size();
    ++d->addsSinceAttempt;
    if (!d->isFailing) {
        if (quint32(d->pending.size()) >= m_autoFlushCount)
            flush();
        return;
    }
    d->dropOldest();
    if (d->addsSinceAttempt >= std::max(m_autoFlushCount, kMinRetrySpacing))
        flush();
}

void _kxLogfile::flush()
{
    d->addsSinceAttempt = 0;
    if (!d->filePath.isEmpty() && (!d->pending.isEmpty() || !d->unfinished.isEmpty() || d->lostEntries > 0))
        d->writePending();
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

qint64 _kxLogfile::lostEntryCount() const noexcept
{
    return d->lostEntries;
}
