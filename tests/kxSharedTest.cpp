#include "kxStringField.h"
#include "kxShared.h"
#include "testFiles.h"

#include <gtest/gtest.h>

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>

#include <algorithm>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using kxtest::readFile;

TEST(KxString, LayoutIsLengthReservedThenUnitsAndAZeroCharacterCounts)
{
    for (const auto &[s, length, first] : {std::tuple{_kxString<3>("ab"), 2, u'a'}, {_kxString<3>('\0'), 1, u'\0'}}) {
        unsigned char bytes[sizeof s];
        std::memcpy(bytes, &s, sizeof s);
        EXPECT_EQ(kx::readAt<quint16>(bytes, 0), length);
        EXPECT_EQ(kx::readAt<quint16>(bytes, 2), 0);
        EXPECT_EQ(kx::readAt<char16_t>(bytes, 4), first);
        EXPECT_EQ(kx::readAt<char16_t>(bytes, 4 + 2 * length), 0);
    }
}

TEST(KxString, ConstructorsAndAddKeepWhatFitsAsLatin1)
{
    EXPECT_EQ(_kxString<3>("abcdef").toQString(), QStringLiteral("abc"));
    _kxString<4> s("ab");
    s.add("cdef");
    EXPECT_EQ(s.toQString(), QStringLiteral("abcd"));
    EXPECT_EQ(s.constData()[4], 0);
    EXPECT_EQ(_kxString<4>("\xE9").toQString(), QString(QChar(0xE9)));
}

struct EditCase
{
    const char *start;
    int position;
    const char *inserted; // nullptr: remove `count` instead
    int count;
    const char *expected;
};

TEST(KxString, InsertAndRemoveStayInsideTheCapacity)
{
    const EditCase cases[] = {
        {"abcd", 2, "X", 0, "abXcd"},   {"abcde", 0, "X", 0, "Xabcd"}, // full: the last falls off
        {"abcde", 5, "X", 0, "abcde"},  {"abc", 9, "XY", 0, "abcXY"},  {"abc", -3, "X", 0, "Xabc"},
        {"ab", 1, "WXYZ", 0, "aWXYZ"},  {"abcde", 1, nullptr, 2, "ade"}, {"abcde", 3, nullptr, 100, "abc"},
        {"abcde", 0, nullptr, 1, "bcde"}, {"abc", 3, nullptr, 1, "abc"}, {"abc", -1, nullptr, 1, "abc"},
        {"abc", 1, nullptr, 0, "abc"},
    };
    for (const EditCase &c : cases) {
        SCOPED_TRACE(std::string(c.start) + " @" + std::to_string(c.position));
        _kxString<5> s(c.start);
        if (c.inserted)
            s.insert(c.position, _kxString<10>(c.inserted));
        else
            s.remove(c.position, c.count);
        EXPECT_EQ(s.toQString(), QLatin1String(c.expected));
        EXPECT_EQ(s.constData()[s.length()], 0);
    }
}

TEST(KxString, RemoveMovesOnlyTheTail)
{
    _kxString<10> s("abcdef");
    std::fill(s.data() + 7, s.data() + 11, u'!');
    s.remove(1, 2);
    EXPECT_EQ(s.toQString(), QStringLiteral("adef"));
    EXPECT_EQ(s.constData()[5], u'f'); // nothing past the old end is read or written
    EXPECT_EQ(s.constData()[6], 0);
}

TEST(KxString, IndexOfAndClearUnused)
{
    _kxString<10> s("bcd");
    EXPECT_EQ(s.indexOf(u'c', -5), 1);
    EXPECT_EQ(s.indexOf(u'c', 2), -1);
    EXPECT_EQ(s.indexOf(u'z', 0), -1);
    s.data()[3] = u'?'; // a box copied from a record may lack its terminator
    s.data()[10] = u'!';
    s.clearUnused();
    for (int i = 3; i <= 10; ++i)
        EXPECT_EQ(s.constData()[i], 0) << i;
    EXPECT_EQ(s.toQString(), QStringLiteral("bcd"));
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
    const char16_t *fold = kxLatin1FoldTable();
    for (int c = 0; c < 256; ++c)
        ASSERT_EQ(fold[c], kxLatin1ToLower(char16_t(c))) << c;
    EXPECT_EQ(kxLatin1ToLower(0x100), 0x100);
}

// A server's record may claim any length: every read stops at the capacity.
TEST(KxString, CorruptStoredLengthIsReadAsTheCapacity)
{
    _kxString<4> s("abcd");
    unsigned char bytes[sizeof s];
    std::memcpy(bytes, &s, sizeof s);
    for (const quint16 stored : {quint16(5), quint16(0xFFFF)}) {
        kx::writeAt<quint16>(bytes, 0, stored);
        auto loaded = kx::stringField<_kxString<4>>(bytes, 0).load();
        EXPECT_EQ(loaded.storedLength(), 4);
        EXPECT_EQ(loaded.constData()[4], 0);
        loaded.add("x"); // no room, and no write past the field
        EXPECT_EQ(loaded.toQString(), QStringLiteral("abcd"));
    }
    _kxString8_allSize<3> name("abc");
    std::memcpy(bytes, &name, sizeof name);
    kx::writeAt<quint16>(bytes, 0, 60000);
    EXPECT_EQ(kx::stringField<_kxString8_allSize<3>>(bytes, 0).load().toQString(), QStringLiteral("abc"));
}

TEST(KxString8, AssignReducesToLatin1)
{
    _kxString8_allSize<5> s;
    s.assign(QString::fromUtf16(u"\u00FF\u0100\u0416xyzw")); // the last Latin-1 character, then two beyond
    EXPECT_EQ(s.toQString(), QString::fromUtf16(u"\u00FF??xy"));
    EXPECT_EQ(s.constData()[5], '\0');
}

// The key filter may only rule out names that isEqual calls different.
TEST(KxString8, MatchKeysOfNamesThatAreEqualAreEqual)
{
    const _kxString8MatchFilter filter;
    for (int a = 1; a < 256; ++a) {
        for (int b = 1; b < 256; ++b) {
            for (const char *prefix : {"", "render0"}) {
                const _kxString8_allSize<50> x((prefix + std::string(1, char(a))).c_str());
                const _kxString8_allSize<50> y((prefix + std::string(1, char(b))).c_str());
                ASSERT_TRUE(!x.isEqual(y) || filter.keyOf(x) == filter.keyOf(y)) << a << " " << b << " " << prefix;
            }
        }
    }
    const _kxString8_allSize<50> render01("render01"), upper("RENDER01");
    EXPECT_FALSE(filter.keyOf(render01) == filter.keyOf(_kxString8_allSize<50>("render011")));
    EXPECT_FALSE(filter.keyOf(render01) == filter.keyOf(_kxString8_allSize<50>("render02")));
    unsigned char field[sizeof upper];
    std::memcpy(field, &upper, sizeof field);
    EXPECT_TRUE(filter.keyAt<50>(field) == filter.keyOf(render01));
    kx::writeAt<quint16>(field, 0, 0xFFFF);
    EXPECT_EQ(filter.keyAt<50>(field).length, 50);
}

TEST(KxToKXUTF8, ControlCharactersCannotForgeLines)
{
    const QString in = QStringLiteral("a\nb\tc\rd\x1b[31m") + QChar(0x9B) + QChar(0x7F) + QChar(0x9F) + QChar(0xA0)
        + QChar(0x1F) + QChar(0x20);
    EXPECT_EQ(kxToKXUTF8(in, false), QStringLiteral("a\nb\tc?d?[31m???") + QChar(0xA0) + QStringLiteral("? "));
    EXPECT_EQ(kxToKXUTF8(in, true), in);
    EXPECT_EQ(kxToKXUTF8(QStringLiteral("plain"), false), QStringLiteral("plain"));
}

TEST(KxTime, FormatsForLogAndNotification)
{
    kxSetFixedCurrentTime(1767225600123); // 2026-01-01 00:00:00.123 UTC
    const _kxTime now(true);
    EXPECT_EQ(now.asStringMt(), QStringLiteral("2026-01-01 00:00:00.123"));
    EXPECT_EQ(now.asStringDateHourMin(), QStringLiteral("2026-01-01 00:00"));
    EXPECT_EQ(_kxTime(false).msecsSinceEpoch(), 0);
    _kxTime t;
    t.setCurrentTime(0);
    EXPECT_EQ(t.msecsSinceEpoch(), now.msecsSinceEpoch());
    t.setCurrentTime(1767225600007);
    EXPECT_EQ(t.asStringMt(), QStringLiteral("2026-01-01 00:00:00.007"));
    kxSetFixedCurrentTime(0);
}

TEST(KxLogfile, FlushAppendsEachEntryOnItsOwnLineAndAutoFlushCountLiesAtByte512)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.log"));
    {
        _kxLogfile log(path);
        EXPECT_EQ(kx::readAt<quint32>(&log, 512), _kxLogfile::DefaultAutoFlushCount);
        for (QString entry : {QStringLiteral("first"), QStringLiteral("second\r\n")})
            log.addLog(entry);
        EXPECT_TRUE(readFile(path).isEmpty());
        log.flush();
        EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\n"));
        kx::writeAt<quint32>(&log, 512, 2);
        QString entry = QStringLiteral("caf\u00e9");
        log.addLog(entry);
        EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\n"));
        log.addLog(entry); // the second entry reaches the count
        EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\ncaf\xC3\xA9\ncaf\xC3\xA9\n"));
        log.setAutoFlushCount(0);
        log.addLog(entry);
        EXPECT_EQ(log.pendingEntries().size(), 0);
        log.setAutoFlushCount(64);
        QString last = QStringLiteral("kept until destruction");
        log.addLog(last);
    }
    EXPECT_TRUE(readFile(path).endsWith("caf\xC3\xA9\nkept until destruction\n"));

    _kxLogfile memoryOnly;
    memoryOnly.setAutoFlushCount(1);
    QString entry = QStringLiteral("memory only");
    memoryOnly.addLog(entry);
    memoryOnly.flush();
    EXPECT_EQ(memoryOnly.pendingEntries(), QStringList{entry});
    EXPECT_EQ(memoryOnly.flushCount(), 2u);
}

TEST(KxLogfile, FailedWriteThrowsNamingTheFileAndCauseAndKeepsTheEntry)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/dir/main.log"));
    _kxLogfile log(path);
    QString entry = QStringLiteral("line");
    log.addLog(entry);
    try {
        log.flush();
        FAIL() << "the flush succeeded";
    } catch (const std::runtime_error &error) {
        const QString message = QString::fromLocal8Bit(error.what());
        const QString head = QStringLiteral("cannot write log file ") + path + QStringLiteral(": ");
        EXPECT_TRUE(message.startsWith(head) && message.size() > head.size()) << qPrintable(message);
    }
    EXPECT_EQ(log.pendingEntries(), QStringList{entry});
    EXPECT_EQ(log.flushCount(), 0u);
}

// While the file fails, what waits for it is bounded and the loss is recorded once it works again.
TEST(KxLogfile, FailingFileKeepsABoundedTailAndRecordsTheLoss)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString path = folder + QStringLiteral("/main.log");
    for (const int added : {1025, 5000}) {
        SCOPED_TRACE(added);
        _kxLogfile log(path);
        int failures = 0;
        for (int i = 0; i < added; ++i) {
            QString entry = QStringLiteral("entry %1").arg(i);
            try {
                log.addLog(entry);
            } catch (const std::runtime_error &) {
                ++failures;
            }
        }
        const QStringList kept = log.pendingEntries();
        EXPECT_EQ(kept.size(), 1024);
        EXPECT_EQ(log.lostEntryCount() + kept.size(), added);
        EXPECT_LE(failures, added / 64 + 1); // retries are spaced, not one per entry
        EXPECT_EQ(kept.constLast(), QStringLiteral("entry %1").arg(added - 1));

        ASSERT_TRUE(QDir().mkpath(folder));
        log.flush();
        EXPECT_EQ(log.lostEntryCount(), 0);
        const QList<QByteArray> lines = readFile(path).split('\n');
        ASSERT_EQ(lines.size(), kept.size() + 2); // the record, the entries, the rest after the last line feed
        EXPECT_EQ(lines.at(0), added == 1025 ? QByteArray("!!! 1 log entry lost: the file could not be written")
                                             : QByteArray("!!! 3976 log entries lost: the file could not be written"));
        EXPECT_EQ(lines.at(1), kept.constFirst().toUtf8());
        ASSERT_TRUE(QDir(folder).removeRecursively());
    }
    // Long entries are bounded by their size too.
    _kxLogfile log(path);
    log.setAutoFlushCount(1000000);
    QString big(1024 * 1024, QLatin1Char('x'));
    for (int i = 0; i < 6; ++i)
        log.addLog(big);
    EXPECT_THROW(log.flush(), std::runtime_error);
    EXPECT_EQ(log.pendingEntries().size(), 4);
    EXPECT_EQ(log.lostEntryCount(), 2);
}

#ifndef _WIN32
// A file-size limit, with the signal it raises ignored, makes writes past it fail part way as on a full disk.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t bytes)
    {
        rlimit limit{};
        isSet = ::getrlimit(RLIMIT_FSIZE, &old) == 0 && (limit = old, limit.rlim_cur = bytes, true)
            && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() { lift(); }
    void lift()
    {
        if (isSet)
            ::setrlimit(RLIMIT_FSIZE, &old);
        isSet = false;
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit old{};
    void (*oldHandler)(int) = SIG_DFL;
    bool isSet = false;
};

TEST(KxLogfile, PartialWriteNeitherTearsNorRepeatsAnEntry)
{
    const struct {
        const char *name;
        int entryLength; // characters of each entry before its line feed
        int spaceLeft;   // bytes the file may still grow by
        int autoFlushCount;
    } cases[] = {
        {"cut inside the second entry", 30, 40, 100}, {"cut inside the first entry", 30, 10, 100},
        {"no room at all", 30, 0, 100}, {"room for exactly two", 30, 62, 100},
        {"entry wider than the room, written one by one", 200, 150, 0}, {"many small entries, auto-flushed", 9, 55, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("main.log"));
        const QByteArray earlier(1000, 'e');
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(earlier + '\n');
        }
        QStringList entries;
        for (int i = 0; i < 6; ++i)
            entries.append(QStringLiteral("%1:").arg(i) + QString(c.entryLength - 2, QLatin1Char(char('a' + i))));
        QByteArray expected;
        for (const QString &entry : std::as_const(entries))
            expected += entry.toUtf8() + '\n';

        FileSizeLimit limit(rlim_t(earlier.size() + 1 + c.spaceLeft));
        ASSERT_TRUE(limit.isSet);
        _kxLogfile log(path);
        log.setAutoFlushCount(quint32(c.autoFlushCount));
        int failures = 0;
        for (QString entry : std::as_const(entries)) {
            try {
                log.addLog(entry);
            } catch (const std::runtime_error &) {
                ++failures;
            }
        }
        EXPECT_THROW(log.flush(), std::runtime_error);
        // Only whole entries, in order, each once.
        const QByteArray added = readFile(path).mid(earlier.size() + 1);
        EXPECT_TRUE(expected.startsWith(added) && (added.isEmpty() || added.endsWith('\n'))) << added.constData();
        EXPECT_EQ(added.count('\n') + log.pendingEntries().size(), entries.size());

        limit.lift(); // room again: the rest follows, still each entry once
        log.flush();
        EXPECT_EQ(readFile(path), earlier + '\n' + expected);
    }
}
#endif

} // namespace
