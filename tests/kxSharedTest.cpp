#include "kxStringField.h"
#include "kxShared.h"
#include "testFiles.h"

#include <gtest/gtest.h>

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

using kxtest::readFile;

TEST(KxString, LayoutConstructorsAndAddKeepWhatFitsAsLatin1)
{
    for (const auto &[s, length, first] : {std::tuple{_kxString<3>("ab"), 2, u'a'}, {_kxString<3>('\0'), 1, u'\0'}}) {
        unsigned char bytes[sizeof s];
        std::memcpy(bytes, &s, sizeof s);
        EXPECT_EQ(kx::readAt<quint16>(bytes, 0), length); // a zero character counts
        EXPECT_EQ(kx::readAt<quint16>(bytes, 2), 0);
        EXPECT_EQ(kx::readAt<char16_t>(bytes, 4), first);
        EXPECT_EQ(kx::readAt<char16_t>(bytes, 4 + 2 * length), 0);
    }
    EXPECT_EQ(_kxString<3>("abcdef").toQString(), QStringLiteral("abc"));
    _kxString<4> s("ab");
    s.add("cdef");
    EXPECT_EQ(s.toQString(), QStringLiteral("abcd"));
    EXPECT_EQ(s.constData()[4], 0);
    s.clear();
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(s.constData()[0], 0);
    EXPECT_EQ(_kxString<4>("\xE9").toQString(), QString(QChar(0xE9)));
}

TEST(KxString, EditsStayInsideTheCapacityAndTheText)
{
    using Edit = std::tuple<const char *, int, const char *, int, const char *>;
    // Start, position, inserted text (nullptr: remove `count` instead), count, expected.
    for (const auto &[start, position, inserted, count, expected] : {
             Edit{"abcd", 2, "X", 0, "abXcd"}, {"abcde", 0, "X", 0, "Xabcd"}, // full: the last falls off
             {"abcde", 5, "X", 0, "abcde"}, {"abc", 9, "XY", 0, "abcXY"}, {"abc", -3, "X", 0, "Xabc"},
             {"ab", 1, "WXYZ", 0, "aWXYZ"}, {"abcde", 1, nullptr, 2, "ade"}, {"abcde", 3, nullptr, 100, "abc"},
             {"abcde", 0, nullptr, 1, "bcde"}, {"abc", 3, nullptr, 1, "abc"}, {"abc", -1, nullptr, 1, "abc"},
             {"abc", 1, nullptr, 0, "abc"}, {"abc", 4, nullptr, 1, "abc"}, {"abc", 1, nullptr, -2, "abc"}}) {
        SCOPED_TRACE(std::string(start) + " @" + std::to_string(position));
        _kxString<5> s(start);
        if (inserted)
            s.insert(position, _kxString<10>(inserted));
        else
            s.remove(position, count);
        EXPECT_EQ(s.toQString(), QLatin1String(expected));
        EXPECT_EQ(s.constData()[s.length()], 0);
    }
    _kxString<10> s("abcdef");
    std::fill(s.data() + 7, s.data() + 11, u'!');
    s.remove(1, 2);
    EXPECT_EQ(s.toQString(), QStringLiteral("adef"));
    EXPECT_EQ(s.constData()[5], u'f'); // nothing past the old end is read or written
    EXPECT_EQ(s.constData()[6], 0);

    _kxString<10> t("bcd");
    EXPECT_EQ(t.indexOf(u'c', -5), 1);
    EXPECT_EQ(t.indexOf(u'c', 2), -1);
    EXPECT_EQ(t.indexOf(u'z', 0), -1);
    t.data()[3] = u'?'; // a box copied from a record may lack its terminator
    t.data()[10] = u'!';
    t.clearUnused();
    EXPECT_EQ(std::count(t.constData() + 3, t.constData() + 11, 0), 8);
    EXPECT_EQ(t.toQString(), QStringLiteral("bcd"));
}

TEST(KxString, EqualityAndLoweringKnowOnlyLatin1Letters)
{
    EXPECT_TRUE(_kxString<50>("Render01").isEqual(_kxString<50>("rENDER01")));
    EXPECT_TRUE(_kxString<50>("\xC9t\xDE@[").isEqual(_kxString<50>("\xE9T\xFE@[")));
    EXPECT_FALSE(_kxString<50>("\xD7").isEqual(_kxString<50>("\xF7"))); // × and ÷ are no letters
    EXPECT_FALSE(_kxString<50>("\xBF").isEqual(_kxString<50>("\xDF")));
    EXPECT_FALSE(_kxString<50>("abc").isEqual(_kxString<50>("abcd")));
    EXPECT_TRUE(_kxString8_allSize<50>("Render01\xC0").isEqual(_kxString8_allSize<50>("RENDER01\xE0")));
    EXPECT_FALSE(_kxString8_allSize<50>("render1").isEqual(_kxString8_allSize<50>("render01")));
    EXPECT_FALSE(_kxString8_allSize<50>("a\xD7").isEqual(_kxString8_allSize<50>("A\xF7")));
    EXPECT_TRUE(_kxString8_allSize<50>("").isEqual(_kxString8_allSize<50>()));

    _kxString<50> lowered("AZ@[`{ \xC0\xDE\xD7\xDF\xBF");
    lowered.makeLower();
    EXPECT_EQ(lowered.toQString(), QString::fromLatin1("az@[`{ \xE0\xFE\xD7\xDF\xBF"));
}

// A server's record may claim any length: every read stops at the capacity.
TEST(KxString, StoredLengthIsReadUpToTheCapacity)
{
    // Text "A", a zero unit, "AAA", no terminator, and a field that ends where the buffer does.
    std::vector<unsigned char> field(sizeof(_kxString<4>));
    for (int i = 0; i < 5; ++i)
        kx::writeAt<char16_t>(field.data(), 4 + 2 * std::size_t(i), i == 1 ? 0 : u'A');
    const auto view = kx::stringField<_kxString<4>>(field.data(), 0);
    for (const auto &[stored, expected] : {std::pair{0, 0}, {2, 2}, {4, 4}, {5, 4}, {0xFFFF, 4}}) {
        kx::writeAt<quint16>(field.data(), 0, quint16(stored));
        EXPECT_EQ(view.text().size(), expected) << stored;
        EXPECT_EQ(view.text().count(QLatin1Char('A')), std::max(expected - 1, 0)) << stored;
        auto loaded = view.load();
        EXPECT_EQ(loaded.storedLength(), expected) << stored;
        EXPECT_EQ(loaded.constData()[expected], 0) << stored;
        loaded.add("x"); // no write past the field when full
        EXPECT_EQ(loaded.toQString(), expected == 4 ? view.text() : view.text() + QLatin1Char('x')) << stored;
    }
    EXPECT_EQ(view.text(3), QStringLiteral("A") + QChar(0) + QStringLiteral("A"));
    _kxString8_allSize<3> name("abc");
    std::memcpy(field.data(), &name, sizeof name);
    kx::writeAt<quint16>(field.data(), 0, 60000);
    EXPECT_EQ(kx::stringField<_kxString8_allSize<3>>(field.data(), 0).load().toQString(), QStringLiteral("abc"));
}

TEST(KxString8, AssignReducesToLatin1)
{
    _kxString8_allSize<5> s;
    s.assign(QString::fromUtf16(u"\u00FF\u0100\u0416xyzw")); // the last Latin-1 character, then two beyond
    EXPECT_EQ(s.toQString(), QString::fromUtf16(u"\u00FF??xy"));
    EXPECT_EQ(s.constData()[5], '\0');
}

TEST(KxToKXUTF8, ControlCharactersCannotForgeLines)
{
    const QString in = QStringLiteral("a\nb\tc\rd\x1b[31m") + QChar(0x9B) + QChar(0x7F) + QChar(0x9F) + QChar(0xA0)
        + QChar(0x1F) + QChar(0x20);
    EXPECT_EQ(kxToKXUTF8(in, false), QStringLiteral("a\nb\tc?d?[31m???") + QChar(0xA0) + QStringLiteral("? "));
    EXPECT_EQ(kxToKXUTF8(in, true), in);
    EXPECT_EQ(kxToKXUTF8(QStringLiteral("\x1b[0m"), false), QStringLiteral("?[0m"));
    const QString plain = QStringLiteral("plain");
    const QChar *const before = plain.constData();
    const QString masked = kxToKXUTF8(plain, false);
    EXPECT_TRUE(masked.constData() == before && plain.constData() == before) << "nothing to mask: shared, not copied";
}

TEST(KxTime, FormatsForLogAndNotification)
{
    kxSetFixedCurrentTime(1767225600123); // 2026-01-01 00:00:00.123 UTC
    const _kxTime now(true);
    EXPECT_EQ(now.asStringMt(), QStringLiteral("2026-01-01 00:00:00.123"));
    EXPECT_EQ(now.asStringDateHourMin(), QStringLiteral("2026-01-01 00:00"));
    EXPECT_EQ(_kxTime(false).msecsSinceEpoch(), 0);
    alignas(_kxTime) unsigned char storage[sizeof(_kxTime)];
    std::memset(storage, 0xEE, sizeof storage);
    EXPECT_EQ((new (storage) _kxTime)->msecsSinceEpoch(), 0); // default-initialised: no zero-filling first
    _kxTime t;
    t.setCurrentTime(0);
    EXPECT_EQ(t.msecsSinceEpoch(), now.msecsSinceEpoch());
    t.setCurrentTime(1767225600007);
    EXPECT_EQ(t.asStringMt(), QStringLiteral("2026-01-01 00:00:00.007"));
    t.setCurrentTime(1767225661007); // another second: the text kept for the last one is not used
    EXPECT_EQ(t.asStringMt(), QStringLiteral("2026-01-01 00:01:01.007"));
    kxSetFixedCurrentTime(0);
}

// Adds an entry; returns whether the flush it caused failed.
bool add(_kxLogfile &log, QString entry)
{
    try {
        log.addLog(entry);
    } catch (const std::runtime_error &) {
        return true;
    }
    return false;
}

// What a failing flush says; empty if it succeeded.
QString flushFailure(_kxLogfile &log)
{
    try {
        log.flush();
    } catch (const std::runtime_error &error) {
        return QString::fromLocal8Bit(error.what());
    }
    return {};
}

TEST(KxLogfile, FlushAppendsEachEntryOnItsOwnLineAndAutoFlushCountLiesAtByte512)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.log"));
    {
        _kxLogfile log(path);
        EXPECT_EQ(kx::readAt<quint32>(&log, 512), 64u);
        add(log, QStringLiteral("first"));
        add(log, QStringLiteral("second\r\n"));
        EXPECT_TRUE(readFile(path).isEmpty());
        log.flush();
        EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\n"));
        kx::writeAt<quint32>(&log, 512, 2);
        add(log, QStringLiteral("caf\u00e9"));
        EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\n"));
        add(log, QStringLiteral("caf\u00e9")); // the second entry reaches the count
        EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\ncaf\xC3\xA9\ncaf\xC3\xA9\n"));
        log.setAutoFlushCount(0);
        add(log, QStringLiteral("caf\u00e9"));
        EXPECT_EQ(log.pendingEntries().size(), 0);
        log.setAutoFlushCount(64);
        add(log, QStringLiteral("kept until destruction"));
    }
    EXPECT_TRUE(readFile(path).endsWith("caf\xC3\xA9\nkept until destruction\n"));

    _kxLogfile memoryOnly;
    memoryOnly.setAutoFlushCount(1);
    add(memoryOnly, QStringLiteral("memory only"));
    memoryOnly.flush();
    EXPECT_EQ(memoryOnly.pendingEntries(), QStringList{QStringLiteral("memory only")});
    EXPECT_EQ(memoryOnly.flushCount(), 2u);
}

// While the file fails, what waits for it is bounded and the loss is recorded once it works again.
TEST(KxLogfile, FailingFileThrowsKeepsABoundedTailAndRecordsTheLoss)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString path = folder + QStringLiteral("/main.log");
    for (const auto &[added, record] : {std::pair<int, QByteArray>{1, ""},
                                        {1025, "!!! 1 log entry lost: the file could not be written"},
                                        {5000, "!!! 3976 log entries lost: the file could not be written"}}) {
        SCOPED_TRACE(added);
        _kxLogfile log(path);
        int failures = 0;
        for (int i = 0; i < added; ++i)
            failures += add(log, QStringLiteral("entry %1").arg(i));
        const QString message = flushFailure(log);
        const QString head = QStringLiteral("cannot write log file ") + path + QStringLiteral(": ");
        EXPECT_TRUE(message.startsWith(head) && message.size() > head.size()) << qPrintable(message);
        EXPECT_EQ(log.flushCount(), 0u);
        const QStringList kept = log.pendingEntries();
        EXPECT_EQ(kept.size(), std::min(added, 1024));
        EXPECT_EQ(log.lostEntryCount() + kept.size(), added);
        EXPECT_LE(failures, added / 64 + 1); // retries are spaced, not one per entry
        EXPECT_EQ(kept.constLast(), QStringLiteral("entry %1").arg(added - 1));

        ASSERT_TRUE(QDir().mkpath(folder));
        log.flush();
        EXPECT_EQ(log.lostEntryCount(), 0);
        const QList<QByteArray> lines = readFile(path).split('\n');
        ASSERT_EQ(lines.size(), kept.size() + 1 + !record.isEmpty()); // and the rest after the last line feed
        EXPECT_EQ(lines.at(0), record.isEmpty() ? kept.constFirst().toUtf8() : record);
        EXPECT_EQ(lines.at(!record.isEmpty()), kept.constFirst().toUtf8());
        ASSERT_TRUE(QDir(folder).removeRecursively());
    }
    // Long entries are bounded by their size too, counted afresh from the last successful write.
    _kxLogfile log(path);
    log.setAutoFlushCount(1000000);
    ASSERT_TRUE(QDir().mkpath(folder));
    add(log, QStringLiteral("written"));
    log.flush();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    for (int i = 0; i < 6; ++i)
        add(log, QString(1024 * 1024, QLatin1Char('x')));
    EXPECT_THROW(log.flush(), std::runtime_error);
    EXPECT_EQ(log.pendingEntries().size(), 4);
    EXPECT_EQ(log.lostEntryCount(), 2);
}

#ifdef __linux__
// While set, cutting a file back fails, as on a file the system lets only grow.
bool refuseTruncation = false;

// A file-size limit, with the signal it raises ignored, makes writes past it fail part way as on a full disk.
struct FullDisk
{
    FullDisk() : oldHandler(std::signal(SIGXFSZ, SIG_IGN)) { ::getrlimit(RLIMIT_FSIZE, &old); }
    ~FullDisk()
    {
        lift();
        std::signal(SIGXFSZ, oldHandler);
    }
    bool leaveRoom(rlim_t fileSize)
    {
        rlimit limit = old;
        limit.rlim_cur = fileSize;
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    void lift()
    {
        ::setrlimit(RLIMIT_FSIZE, &old);
        refuseTruncation = false;
    }
    void (*oldHandler)(int);
    rlimit old{};
};

TEST(KxLogfile, PartialWriteNeitherTearsNorRepeatsAnEntry)
{
    const struct {
        const char *name;
        int earlier;     // bytes already in the file
        int entryLength; // characters of each entry before its line feed
        int spaceLeft;   // bytes the file may still grow by
        int autoFlushCount;
        int entriesWritten; // before the failure is reported
        bool cannotCutBack = false;
    } cases[] = {
        {"cut inside the second entry", 1000, 30, 40, 100, 1}, {"cut inside the first entry", 1000, 30, 10, 100, 0},
        {"cut inside the first entry of a new file", 0, 30, 10, 100, 0}, {"no room at all", 1000, 30, 0, 100, 0},
        {"room for exactly two", 1000, 30, 62, 100, 2}, {"many small entries, auto-flushed", 1000, 9, 55, 4, 5},
        {"entry wider than the room, written one by one", 1000, 200, 150, 0, 0},
        {"cut inside the second entry, the file cannot be cut back", 1000, 30, 40, 100, 1, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("main.log"));
        const QByteArray earlier(c.earlier, 'e');
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        QStringList entries;
        QByteArray expected;
        for (int i = 0; i < 6; ++i) {
            entries.append(QStringLiteral("%1:").arg(i) + QString(c.entryLength - 2, QLatin1Char(char('a' + i))));
            expected += entries.constLast().toUtf8() + '\n';
        }
        FullDisk disk;
        ASSERT_TRUE(disk.leaveRoom(rlim_t(c.earlier + c.spaceLeft)));
        refuseTruncation = c.cannotCutBack;
        _kxLogfile log(path);
        log.setAutoFlushCount(quint32(c.autoFlushCount));
        for (const QString &entry : std::as_const(entries))
            add(log, entry);
        // A write cut short carries no cause of its own: the one the system then gives is reported.
        EXPECT_TRUE(flushFailure(log).endsWith(QLatin1String(": File too large")));
        // Only whole entries, in order, each once (where the file cannot be cut back, the start of the next).
        const QByteArray added = readFile(path).mid(c.earlier);
        EXPECT_TRUE(expected.startsWith(added) && (c.cannotCutBack || added.isEmpty() || added.endsWith('\n')))
            << added.constData();
        EXPECT_EQ(added.count('\n'), c.entriesWritten);
        EXPECT_EQ(c.entriesWritten + c.cannotCutBack + log.pendingEntries().size(), entries.size());

        disk.lift(); // room again: the rest follows, still each entry once
        log.flush();
        EXPECT_EQ(readFile(path), earlier + expected);
    }
}

// An entry that reached the file in part and could not be cut back waits beside a record of entries lost
// meanwhile: a retry that writes no more than that rest must keep the count for the record.
TEST(KxLogfile, LossRecordWaitsBehindThePartOfAnEntryThatCouldNotBeCutBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.log"));
    FullDisk disk;
    ASSERT_TRUE(disk.leaveRoom(10));
    refuseTruncation = true;
    _kxLogfile log(path);
    log.setAutoFlushCount(1000000);
    add(log, QString(29, QLatin1Char('a')));
    EXPECT_THROW(log.flush(), std::runtime_error); // ten bytes of thirty in the file
    for (int i = 0; i < 1100; ++i)
        add(log, QStringLiteral("b"));
    ASSERT_TRUE(disk.leaveRoom(30));
    EXPECT_THROW(log.flush(), std::runtime_error); // just the rest of the entry
    EXPECT_EQ(log.lostEntryCount(), 76);
    disk.lift();
    log.flush();
    const QByteArray head = QByteArray(29, 'a') + "\n!!! 76 log entries lost: the file could not be written\nb\n";
    EXPECT_EQ(readFile(path).left(head.size()), head);
}

// A record of one lost entry that reached the file before the disk filled up again is not written twice.
TEST(KxLogfile, LossRecordThatReachedTheFileIsNotRepeated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.log"));
    const QByteArray record = "!!! 1 log entry lost: the file could not be written\n";
    FullDisk disk;
    ASSERT_TRUE(disk.leaveRoom(0));
    _kxLogfile log(path);
    log.setAutoFlushCount(1000000);
    for (int i = 0; i < 1025; ++i)
        add(log, QStringLiteral("e%1").arg(i));
    EXPECT_THROW(log.flush(), std::runtime_error);
    EXPECT_EQ(log.lostEntryCount(), 1);
    ASSERT_TRUE(disk.leaveRoom(rlim_t(record.size() + 2))); // the record and a part of the next entry
    EXPECT_THROW(log.flush(), std::runtime_error);
    EXPECT_EQ(readFile(path), record);
    disk.lift();
    log.flush();
    EXPECT_EQ(readFile(path).count("lost"), 1);
    EXPECT_TRUE(readFile(path).startsWith(record + "e1\ne2\n"));
}
#endif

} // namespace

#ifdef __linux__
// Stand in for the C library's, which Qt calls to cut a file back (one or the other, as it was built).
extern "C" KXSHARED_EXPORT int ftruncate(int fd, off_t length) noexcept
{
    if (!refuseTruncation)
        return int(::syscall(SYS_ftruncate, fd, length));
    errno = EPERM;
    return -1;
}

extern "C" KXSHARED_EXPORT int ftruncate64(int fd, off64_t length) noexcept
{
    return ftruncate(fd, off_t(length));
}
#endif
