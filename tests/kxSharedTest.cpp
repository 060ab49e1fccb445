#include "kxStringField.h"
#include "kxShared.h"

#include <gtest/gtest.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

template <int N>
QString text(const _kxString<N> &s)
{
    return s.toQString();
}

TEST(KxString, LayoutIsLengthReservedThenUnits)
{
    _kxString<25> s("ab");
    unsigned char bytes[sizeof s];
    std::memcpy(bytes, &s, sizeof s);
    EXPECT_EQ(kx::readAt<quint16>(bytes, 0), 2);
    EXPECT_EQ(kx::readAt<quint16>(bytes, 2), 0);
    EXPECT_EQ(kx::readAt<char16_t>(bytes, 4), u'a');
    EXPECT_EQ(kx::readAt<char16_t>(bytes, 6), u'b');
    EXPECT_EQ(kx::readAt<char16_t>(bytes, 8), 0);
}

TEST(KxString, ConstructorsAndAddKeepWhatFits)
{
    EXPECT_EQ(text(_kxString<3>("abcdef")), QStringLiteral("abc"));
    EXPECT_EQ(text(_kxString<3>('x')), QStringLiteral("x"));
    _kxString<4> s("ab");
    s.add("cdef");
    EXPECT_EQ(text(s), QStringLiteral("abcd"));
    EXPECT_EQ(s.constData()[4], 0);
    // Bytes above 127 are Latin-1 characters, not code-page text.
    EXPECT_EQ(text(_kxString<4>("\xE9")), QString(QChar(0xE9)));
}

TEST(KxString, OneCharacterConstructorHoldsAZeroCharacterToo)
{
    const _kxString<3> zero('\0');
    unsigned char bytes[sizeof zero];
    std::memcpy(bytes, &zero, sizeof zero);
    EXPECT_EQ(zero.length(), 1);
    EXPECT_FALSE(zero.isEmpty());
    EXPECT_EQ(kx::readAt<quint16>(bytes, 0), 1);
    EXPECT_EQ(kx::readAt<quint16>(bytes, 2), 0);
    EXPECT_EQ(kx::readAt<char16_t>(bytes, 4), 0);
    EXPECT_EQ(kx::readAt<char16_t>(bytes, 6), 0);
    EXPECT_EQ(text(zero), QString(QChar(0)));
}

struct InsertCase
{
    const char *start;
    int position;
    const char *inserted;
    const char *expected;
};

TEST(KxString, InsertDropsTheTailPastTheCapacity)
{
    const InsertCase cases[] = {
        {"abcd", 2, "X", "abXcd"},
        {"abcde", 0, "X", "Xabcd"},   // full: the last character falls off
        {"abcde", 5, "X", "abcde"},   // full, at the end: nothing fits
        {"abc", 9, "XY", "abcXY"},    // past the end: appended
        {"abc", -3, "X", "Xabc"},
        {"ab", 1, "WXYZ", "aWXYZ"},   // the inserted text itself is cut
    };
    for (const InsertCase &c : cases) {
        _kxString<5> s(c.start);
        s.insert(c.position, _kxString<10>(c.inserted));
        EXPECT_EQ(text(s), QLatin1String(c.expected)) << c.start << " @" << c.position;
        EXPECT_EQ(s.constData()[s.length()], 0);
    }
}

TEST(KxString, RemoveIndexOfAndClearUnused)
{
    _kxString<10> s("abcdef");
    s.remove(4, 100);
    EXPECT_EQ(text(s), QStringLiteral("abcd"));
    s.remove(0, 1);
    EXPECT_EQ(text(s), QStringLiteral("bcd"));
    s.remove(3, 1);
    s.remove(-1, 1);
    EXPECT_EQ(text(s), QStringLiteral("bcd"));
    EXPECT_EQ(s.indexOf(u'c', 0), 1);
    EXPECT_EQ(s.indexOf(u'c', 2), -1);
    EXPECT_LT(s.indexOf(u'z', 0), 0);
    s.data()[6] = u'!';
    s.clearUnused();
    for (int i = s.length(); i <= 10; ++i)
        EXPECT_EQ(s.constData()[i], 0) << i;

    // A box copied in whole from a record may lack its terminator: the unit
    // right at the length lies past the text as well.
    s.data()[s.length()] = u'?';
    s.clearUnused();
    EXPECT_EQ(s.constData()[s.length()], 0);
    EXPECT_EQ(text(s), QStringLiteral("bcd"));
}

TEST(KxString, EqualityIgnoresLatin1LetterCaseOnly)
{
    EXPECT_TRUE(_kxString<50>("Render01").isEqual(_kxString<50>("rENDER01")));
    EXPECT_TRUE(_kxString<50>("\xC9t\xE9").isEqual(_kxString<50>("\xE9T\xC9")));
    EXPECT_FALSE(_kxString<50>("\xD7").isEqual(_kxString<50>("\xF7"))); // × and ÷ are no letters
    EXPECT_FALSE(_kxString<50>("abc").isEqual(_kxString<50>("abcd")));
    EXPECT_TRUE(_kxString8_allSize<50>("Render01").isEqual(_kxString8_allSize<50>("RENDER01")));
    EXPECT_FALSE(_kxString8_allSize<50>("render1").isEqual(_kxString8_allSize<50>("render01")));
    EXPECT_TRUE(_kxString8_allSize<50>("").isEqual(_kxString8_allSize<50>()));

    _kxString<50> lowered("Execute \xC4");
    lowered.makeLower();
    EXPECT_EQ(text(lowered), QString::fromLatin1("execute \xE4"));
}

TEST(KxString, CorruptStoredLengthIsReadAsTheCapacity)
{
    _kxString<4> s("abcd");
    unsigned char bytes[sizeof s];
    std::memcpy(bytes, &s, sizeof s);
    kx::writeAt<quint16>(bytes, 0, 0xFFFF);
    auto loaded = kx::stringField<_kxString<4>>(bytes, 0).load();
    EXPECT_EQ(loaded.length(), 4);
    EXPECT_EQ(loaded.constData()[4], 0);
    EXPECT_EQ(kx::stringField<_kxString<4>>(bytes, 0).text(), QStringLiteral("abcd"));
    loaded.add("x"); // no room, and no write past the field
    EXPECT_EQ(text(loaded), QStringLiteral("abcd"));

    _kxString8_allSize<3> name("abc");
    unsigned char nameBytes[sizeof name];
    std::memcpy(nameBytes, &name, sizeof name);
    kx::writeAt<quint16>(nameBytes, 0, 60000);
    EXPECT_EQ(kx::stringField<_kxString8_allSize<3>>(nameBytes, 0).load().toQString(), QStringLiteral("abc"));
}

TEST(KxString8, AssignReducesToLatin1)
{
    _kxString8_allSize<5> s;
    s.assign(QString::fromUtf8("\xC3\xA9\xD0\x96xyzw")); // é, Cyrillic Zhe, then four letters
    EXPECT_EQ(s.length(), 5);
    EXPECT_EQ(s.toQString(), QString::fromUtf8("\xC3\xA9?xyz"));
    EXPECT_EQ(s.constData()[5], '\0');
}

TEST(KxString8, FoldTableIsTheLetterFolding)
{
    const char16_t *fold = kxLatin1FoldTable();
    for (int c = 0; c < 256; ++c)
        ASSERT_EQ(fold[c], kxLatin1ToLower(char16_t(c))) << c;
}

// The key filter may only rule out names that isEqual calls different.
TEST(KxString8, MatchKeysOfNamesThatAreEqualAreEqual)
{
    const _kxString8MatchFilter filter;
    // Every pair of 8-bit characters, alone and after seven equal ones.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            for (const char *prefix : {"", "render0"}) {
                std::string left = prefix, right = prefix;
                left += char(a ? a : 1);
                right += char(b ? b : 1);
                const _kxString8_allSize<50> x(left.c_str()), y(right.c_str());
                if (x.isEqual(y)) {
                    ASSERT_TRUE(filter.keyOf(x) == filter.keyOf(y)) << a << " " << b << " " << prefix;
                }
            }
        }
    }
    // Keys tell lengths and leading characters apart; a stored name is keyed
    // as its loaded copy, a corrupt length read as the capacity.
    const _kxString8_allSize<50> render01("render01"), upper("RENDER01"), other("render02");
    EXPECT_TRUE(filter.keyOf(render01) == filter.keyOf(upper));
    EXPECT_FALSE(filter.keyOf(render01) == filter.keyOf(_kxString8_allSize<50>("render011")));
    EXPECT_FALSE(filter.keyOf(render01) == filter.keyOf(other));
    unsigned char field[sizeof(_kxString8_allSize<50>)];
    std::memcpy(field, &upper, sizeof field);
    EXPECT_TRUE(filter.keyAt<50>(field) == filter.keyOf(render01));
    kx::writeAt<quint16>(field, 0, 0xFFFF);
    EXPECT_EQ(filter.keyAt<50>(field).length, 50);
}

TEST(KxToKXUTF8, ControlCharactersCannotForgeLines)
{
    const QString in = QStringLiteral("a\nb\tc\rd\x1b[31m") + QChar(0x9B) + QChar(0x7F) + QChar(0xE9);
    EXPECT_EQ(kxToKXUTF8(in, false), QStringLiteral("a\nb\tc?d?[31m??") + QChar(0xE9));
    EXPECT_EQ(kxToKXUTF8(QStringLiteral("plain"), false), QStringLiteral("plain"));
}

class FixedTime : public ::testing::Test
{
protected:
    void SetUp() override { kxSetFixedCurrentTime(1767225600123); } // 2026-01-01 00:00:00.123 UTC
    void TearDown() override { kxSetFixedCurrentTime(0); }
};

TEST_F(FixedTime, FormatsForLogAndNotification)
{
    const _kxTime now(true);
    EXPECT_EQ(now.asStringMt(), QStringLiteral("2026-01-01 00:00:00.123"));
    EXPECT_EQ(now.asStringDateHourMin(), QStringLiteral("2026-01-01 00:00"));
    _kxTime t;
    EXPECT_EQ(t.msecsSinceEpoch(), 0);
    t.setCurrentTime(0);
    EXPECT_EQ(t.msecsSinceEpoch(), now.msecsSinceEpoch());
    EXPECT_EQ(_kxTime(false).msecsSinceEpoch(), 0);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(KxLogfile, AutoFlushCountLiesAtByte512)
{
    _kxLogfile log;
    kx::writeAt<quint32>(&log, 512, 7);
    EXPECT_EQ(log.autoFlushCount(), 7u);
}

TEST(KxLogfile, FlushAppendsEachEntryOnItsOwnLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.log"));
    {
        _kxLogfile log(path);
        QString a = QStringLiteral("first");
        QString b = QStringLiteral("second\r\n");
        log.addLog(a);
        log.addLog(b);
        EXPECT_TRUE(readFile(path).isEmpty());
        log.flush();
        EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\n"));
        QString c = QStringLiteral("kept until destruction");
        log.addLog(c);
    }
    EXPECT_EQ(readFile(path), QByteArray("first\nsecond\r\nkept until destruction\n"));
}

TEST(KxLogfile, ZeroAutoFlushCountWritesAtOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("crash.log"));
    _kxLogfile log(path);
    log.setAutoFlushCount(0);
    QString entry = QStringLiteral("caf\u00e9");
    log.addLog(entry);
    EXPECT_EQ(readFile(path), QByteArray("caf\xC3\xA9\n"));
}

TEST(KxLogfile, FailedWriteThrowsAndKeepsTheEntries)
{
    QTemporaryDir dir;
    _kxLogfile log(dir.filePath(QStringLiteral("missing/dir/main.log")));
    QString entry = QStringLiteral("line");
    log.addLog(entry);
    EXPECT_THROW(log.flush(), std::runtime_error);
    EXPECT_EQ(log.pendingEntries(), QStringList{entry});
}

TEST(KxLogfile, WithoutAFileEntriesAreKept)
{
    _kxLogfile log;
    log.setAutoFlushCount(1);
    QString entry = QStringLiteral("memory only");
    log.addLog(entry);
    log.flush();
    EXPECT_EQ(log.pendingEntries(), QStringList{entry});
    EXPECT_GE(log.flushCount(), 2u);
}

TEST(KxLogfile, FailedWriteNamesTheFileAndTheCause)
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
        EXPECT_TRUE(message.startsWith(QStringLiteral("cannot write log file ") + path + QStringLiteral(": ")))
            << qPrintable(message);
        EXPECT_GT(message.size(), QStringLiteral("cannot write log file ").size() + path.size() + 2);
    }
}

// While the file fails, what waits for it is bounded and the loss is recorded once it works again.
TEST(KxLogfile, FailingFileKeepsABoundedTailAndRecordsTheLoss)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString path = folder + QStringLiteral("/main.log");
    _kxLogfile log(path);
    constexpr int kAdded = 5000;
    int failures = 0;
    for (int i = 0; i < kAdded; ++i) {
        QString entry = QStringLiteral("entry %1").arg(i);
        try {
            log.addLog(entry);
        } catch (const std::runtime_error &) {
            ++failures;
        }
    }
    const QStringList kept = log.pendingEntries();
    EXPECT_LE(kept.size(), 1024);
    EXPECT_EQ(log.lostEntryCount() + kept.size(), kAdded);
    // Retries are spaced, not one per entry.
    EXPECT_LE(failures, kAdded / 64 + 1);
    EXPECT_EQ(kept.constLast(), QStringLiteral("entry %1").arg(kAdded - 1));

    ASSERT_TRUE(QDir().mkpath(folder));
    log.flush();
    EXPECT_EQ(log.lostEntryCount(), 0);
    const QList<QByteArray> lines = readFile(path).split('\n');
    ASSERT_EQ(lines.size(), kept.size() + 2); // the record, the entries, the empty rest after the last line feed
    EXPECT_EQ(lines.at(0), QStringLiteral("!!! %1 log entries lost: the file could not be written")
                               .arg(kAdded - kept.size()).toUtf8());
    EXPECT_EQ(lines.at(1), kept.constFirst().toUtf8());
    EXPECT_EQ(lines.at(lines.size() - 2), QByteArray("entry 4999"));
}

#ifndef _WIN32
// A file-size limit, with the signal it raises ignored, makes writes past it fail
// part way as on a disk that fills up.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_isSet = ::getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_isSet = m_isSet && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { lift(); }
    bool isSet() const { return m_isSet; }
    void lift()
    {
        if (m_isSet)
            ::setrlimit(RLIMIT_FSIZE, &m_old);
        m_isSet = false;
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_isSet = false;
};

struct PartialWriteCase
{
    const char *name;
    int entryLength;    // characters of each entry before its line feed
    int spaceLeft;      // bytes the file may still grow by
    int autoFlushCount;
};

TEST(KxLogfile, PartialWriteNeitherTearsNorRepeatsAnEntry)
{
    const PartialWriteCase cases[] = {
        {"cut inside the second entry", 30, 40, 100},
        {"cut inside the first entry", 30, 10, 100},
        {"no room at all", 30, 0, 100},
        {"room for exactly two", 30, 62, 100},
        {"entry wider than the room, written one by one", 200, 150, 0},
        {"many small entries, auto-flushed", 9, 55, 4},
    };
    for (const PartialWriteCase &c : cases) {
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

        FileSizeLimit limit(rlim_t(earlier.size() + 1 + c.spaceLeft));
        ASSERT_TRUE(limit.isSet());
        {
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
            try {
                log.flush();
            } catch (const std::runtime_error &) {
                ++failures;
            }
            EXPECT_GT(failures, 0);

            // Only whole entries, in order, each once.
            const QByteArray full = readFile(path);
            ASSERT_TRUE(full.startsWith(earlier + '\n'));
            const QByteArray added = full.mid(earlier.size() + 1);
            EXPECT_TRUE(added.isEmpty() || added.endsWith('\n')) << added.constData();
            const QList<QByteArray> lines = added.split('\n');
            int written = 0;
            for (const QByteArray &line : lines) {
                if (line.isEmpty())
                    continue;
                ASSERT_LT(written, entries.size());
                EXPECT_EQ(line, entries.at(written).toUtf8());
                ++written;
            }
            EXPECT_EQ(written + log.pendingEntries().size() + log.lostEntryCount(), entries.size());

            // Room again: the rest follows, still each entry once.
            limit.lift();
            log.flush();
            const QByteArray after = readFile(path).mid(earlier.size() + 1);
            QByteArray expected;
            for (const QString &entry : std::as_const(entries))
                expected += entry.toUtf8() + '\n';
            EXPECT_EQ(after, expected);
        }
    }
}
#endif

} // namespace
