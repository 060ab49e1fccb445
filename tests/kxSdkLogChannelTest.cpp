#include "kxStringField.h"
#include "kxSdkLogChannel.h"
#include "kxServerSdkObject.h"
#include "records/kxServerConfigRecord.h"
#include "testFiles.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// 2024-03-05 14:07:09.123 UTC; the tests run with TZ=UTC.
const QString kStamp = QStringLiteral("2024-03-05 14:07:09.123");
const QString kErrorHead = QStringLiteral("[farm01]   8.4.03\r\n");
const int kBare = __KXSDK::flagBare;
const int kContinued = __KXSDK::flagContinued;

class SdkLog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        kxSetFixedCurrentTime(1709647629123);
        m_server.openLogFiles(m_dir.path());
        m_server.setLogName(QStringLiteral("farm01"));
    }
    void TearDown() override { kxSetFixedCurrentTime(0); }

    __KXSDK &log() { return *m_server.sdkInterface(); }
    QString path(const QString &fileName) const { return QDir(m_dir.path()).filePath(fileName); }
    // The file as written so far, without flushing.
    QString onDisk(const QString &fileName) const { return QString::fromUtf8(kxtest::readFile(path(fileName))); }
    QString flushed(_kxLogfile &logfile, const QString &fileName)
    {
        logfile.flush();
        return onDisk(fileName);
    }
    QString mainFile() { return flushed(m_server.mainLog(), kx::server::SdkObject::mainLogFileName()); }
    QString errorFile() { return flushed(m_server.errorLog(), kx::server::SdkObject::errorLogFileName()); }
    QString splitFile() { return flushed(*m_server.splitLog(), kx::server::SdkObject::splitLogFileName()); }
    // A log file that throws on every entry: its directory does not exist.
    std::unique_ptr<_kxLogfile> unwritableLog() const
    {
        auto logfile = std::make_unique<_kxLogfile>(path(QStringLiteral("missing/x.log")));
        logfile->setAutoFlushCount(0);
        return logfile;
    }

    QTemporaryDir m_dir;
    kx::server::SdkObject m_server;
};

struct FormatCase
{
    const char *name;
    int category;
    int flags;
    char separator;
    const char *text;
    // "{T}" the time stamp, "{C}" the 17 spaces of a continued head, "{I}" the 22 spaces after a line feed.
    const char *expected;
};

class SdkLogLine : public SdkLog, public ::testing::WithParamInterface<FormatCase>
{
};

const FormatCase kFormatCases[] = {
    {"Critical", 0, 0, '|', "disk gone", "{T}| CRF (CRITICAL FAILURE) - disk gone"},
    {"Error", 1, 0, '|', "no licence", "{T}| ERR no licence"},
    {"Warning", 2, 0, '|', "slow client", "{T}| WRN slow client"},
    {"Information", 17, 0, '|', "job queued", "{T}|     job queued"},
    {"UnknownFlagBitsIgnored", 17, 0x1 | 0x400, '|', "job queued", "{T}|     job queued"},
    {"Tag", 17, 0, '|', "S| job queued", "{T}|S|     job queued"},
    {"TagWithoutSpace", 17, 0, '|', "S|job queued", "{T}|S|     job queued"},
    {"TagDropsOneSpaceOnly", 17, 0, '|', "S|  job", "{T}|S|      job"},
    {"TagBeforeWarningMarker", 2, 0, '|', "S|late", "{T}|S| WRN late"},
    {"ThreeCharacterTextTagged", 17, 0, '|', "S|x", "{T}|S|     x"},
    {"TwoCharacterTextNeverTagged", 17, 0, '|', "S|", "{T}|     S|"},
    {"OtherSeparatorNoTag", 17, 0, '#', "S|x", "{T}#     S|x"},
    {"OwnMarker", 9, 0, '|', "ERR disk full", "{T}| ERR disk full"},
    {"OwnMarkerAfterTag", 9, 0, '|', "S|INF done", "{T}|S| INF done"},
    {"OwnMarkerNeedsUpperThird", 9, 0, '|', "ERr disk", "{T}|     ERr disk"},
    {"OwnMarkerNeedsSpaceFourth", 9, 0, '|', "ERRdisk", "{T}|     ERRdisk"},
    {"OwnMarkerOfFourCharacters", 9, 0, '|', "ABC ", "{T}| ABC "},
    {"OwnMarkerNotForWarnings", 2, 0, '|', "ERR disk", "{T}| WRN ERR disk"},
    {"ContinuationIndent", 3, 0, '|', "first\nsecond\nthird", "{T}|     first\n{I}second\n{I}third"},
    {"ControlCharacterMasked", 17, 0, '|', "a\x01" "b\tc", "{T}|     a?b\tc"},
    {"BareError", 1, kBare, '|', "no licence", "ERR no licence"},
    {"BareInformation", 17, kBare, '|', "job queued", "job queued"},
    {"BareKeepsLineFeeds", 17, kBare, '|', "one\ntwo", "one\ntwo"}, {"BareDropsTag", 17, kBare, '|', "S| job", "job"},
    {"Continued", 17, kContinued, '|', "more", "{C}     more"},
    {"ContinuedKeepsTag", 17, kContinued, '|', "S|more", "{C}S|     more"},
    {"ContinuedBareCritical", 0, kContinued | kBare, '|', "x", "{C}CRF (CRITICAL FAILURE) - x"},
    {"ContinuedBareError", 1, kContinued | kBare, '|', "x", "{C}ERR x"},
    {"ContinuedBareWarning", 2, kContinued | kBare, '|', "x", "{C}WRN x"},
    {"ContinuedBareInformation", 17, kContinued | kBare, '|', "x", "{C}x"},
    {"LineFeedSeparator", 17, 0, '\n', "job queued", "{T}     job queued"},
    {"LineFeedSeparatorWarning", 2, 0, '\n', "late", "{T} WRN late"},
};

TEST_P(SdkLogLine, WritesTheLineToTheMainFile)
{
    const FormatCase &c = GetParam();
    m_server.setStampSeparator(c.separator);
    log().logMessage(c.category, c.flags, QString::fromUtf8(c.text));
    const QString expected = QString::fromUtf8(c.expected)
                                 .replace(QStringLiteral("{T}"), kStamp)
                                 .replace(QStringLiteral("{C}"), QString(17, QLatin1Char(' ')))
                                 .replace(QStringLiteral("{I}"), QString(22, QLatin1Char(' ')));
    EXPECT_EQ(mainFile(), expected + QLatin1Char('\n'));
}

INSTANTIATE_TEST_SUITE_P(Format, SdkLogLine, ::testing::ValuesIn(kFormatCases),
                         [](const auto &param) { return std::string(param.param.name); });

// Whatever keeps a line out of the files, a critical line still raises the flag and lifts the mute.
TEST_F(SdkLog, SilencedLinesStillLetCriticalRaiseTheFlag)
{
    for (const char *silencer : {"no config", "category off", "muted"}) {
        SCOPED_TRACE(silencer);
        kx::server::SdkObject server;
        __KXSDK &channel = *server.sdkInterface();
        const bool isMuteOnly = std::strcmp(silencer, "muted") == 0;
        if (!isMuteOnly && *silencer == 'n')
            channel.config = nullptr;
        if (!isMuteOnly && *silencer == 'c') {
            server.setLogCategoryEnabled(0, false);
            server.setLogCategoryEnabled(5, false);
        }
        server.setLogMuted(true);
        // No crash text is looked for in a line that is not written.
        channel.logMessage(5, 0, isMuteOnly ? QStringLiteral("page_fault") : QStringLiteral("PAGE_FAULT in job"));
        channel.logMessage(1, 0, QStringLiteral("quiet"));
        EXPECT_EQ(channel.criticalFailure, 0);
        EXPECT_EQ(channel.logMuted, 1);
        channel.logMessage(0, 0, QStringLiteral("disk gone"));
        channel.logMessage(17, kBare, QStringLiteral("after"));
        channel.logMessage(2, kBare, QStringLiteral("late"));
        EXPECT_EQ(channel.criticalFailure, 1);
        EXPECT_EQ(channel.logMuted, 0);
        QStringList written = {QStringLiteral("after"), QStringLiteral("WRN late")};
        if (isMuteOnly)
            written.prepend(kStamp + QStringLiteral("| CRF (CRITICAL FAILURE) - disk gone"));
        if (*silencer == 'n')
            written.clear();
        EXPECT_EQ(server.mainLog().pendingEntries(), written);
        EXPECT_EQ(server.errorLog().pendingEntries().size(), isMuteOnly ? 1 : 0);
    }
}

struct CrashCase
{
    const char *name;
    const char *text;
    bool isCrash;
};

class SdkLogCrash : public SdkLog, public ::testing::WithParamInterface<CrashCase>
{
};

const CrashCase kCrashCases[] = {
    {"AccessViolation", "Access violation at 0x0", true}, {"PageFault", "worker PAGE_FAULT", true},
    {"BadAlloc", "caught std::bad_alloc:bad allocation", true}, {"CaseMatters", "page_fault", false},
    {"AccessViolationCaseMatters", "access violation", false}, {"PlainText", "job queued", false},
    // Decoys before each text, the text at either end, and the text cut short.
    {"BadAllocAlone", "std::bad_alloc:bad allocation", true},
    {"BadAllocAfterDecoys", ":: std: std::bad_alloc std::bad_alloc:bad allocation!", true},
    {"BadAllocCutShort", "x std::bad_alloc:bad allocatio", false}, {"ColonsOnly", ": :: std::", false},
    {"AccessAfterDecoy", "AAccess Access violation", true}, {"AccessCutShort", "Access violatio", false},
    {"PageFaultAfterDecoy", "PPAGE PAGE_FAUL PAGE_FAULT", true}, {"PageFaultCutShort", "PAGE_FAUL", false},
};

TEST_P(SdkLogCrash, UnmutesAndFlushesTheMainLogAtOnce)
{
    const CrashCase &c = GetParam();
    m_server.setLogMuted(true);
    log().logMessage(5, 0, QString::fromUtf8(c.text));
    EXPECT_EQ(log().criticalFailure, c.isCrash ? 1 : 0);
    EXPECT_EQ(log().logMuted, c.isCrash ? 0 : 1);
    // The log file's auto-flush count, at byte 512, drops to 0: the line reaches the file without a flush.
    EXPECT_EQ(kx::readAt<quint32>(&m_server.mainLog(), 512), c.isCrash ? 0u : _kxLogfile::DefaultAutoFlushCount);
    EXPECT_EQ(onDisk(kx::server::SdkObject::mainLogFileName()),
              c.isCrash ? kStamp + QStringLiteral("|     ") + QString::fromUtf8(c.text) + QLatin1Char('\n') : QString());
    EXPECT_EQ(errorFile(), QString());
}

INSTANTIATE_TEST_SUITE_P(Texts, SdkLogCrash, ::testing::ValuesIn(kCrashCases),
                         [](const auto &param) { return std::string(param.param.name); });

TEST_F(SdkLog, ErrorFileGetsHeaderAndLineForCategoriesZeroAndOne)
{
    log().logMessage(1, 0, QStringLiteral("no licence"));
    log().logMessage(2, 0, QStringLiteral("late"));
    log().logMessage(17, 0, QStringLiteral("queued"));
    log().logMessage(1, kBare, QStringLiteral("bare"));
    EXPECT_EQ(errorFile(), kErrorHead + kStamp + QStringLiteral("| ERR no licence\r\n") + kErrorHead
                               + QStringLiteral("ERR bare\r\n"));
}

TEST_F(SdkLog, OverlongErrorLineIsCutInTheErrorFileOnly)
{
    const QString head = kStamp + QStringLiteral("| ERR ");
    for (const int lineLength : {2500000, 2500001}) {
        SCOPED_TRACE(lineLength);
        QFile::remove(path(kx::server::SdkObject::mainLogFileName()));
        QFile::remove(path(kx::server::SdkObject::errorLogFileName()));
        const QString line = head + QString(lineLength - int(head.size()), QLatin1Char('x'));
        log().logMessage(1, 0, line.mid(head.size()));
        const QString body = lineLength > 2500000 ? QStringLiteral("!!!MESSAGE TRUNCATED!!!! ") + line.left(500) : line;
        EXPECT_EQ(errorFile(), kErrorHead + body + QStringLiteral("\r\n"));
        EXPECT_EQ(mainFile(), line + QLatin1Char('\n'));
    }
}

TEST_F(SdkLog, LogNameLengthIsClampedToItsCapacity)
{
    constexpr int capacity = __KXSDK::LogName::capacity();
    m_server.setLogName(QString(capacity + 10, QLatin1Char('n')));
    // A corrupt stored length, and server bytes right behind the field.
    kx::writeAt<quint16>(&log(), kx::SdkLog::kLogNameOffset, 0xFFFF);
    std::memset(kx::bytesAt(&log(), kx::SdkLog::kLogNameOffset + sizeof(__KXSDK::LogName)), 'Z', 64);
    log().logMessage(1, kBare, QStringLiteral("x"));
    EXPECT_EQ(errorFile(), QLatin1Char('[') + QString(capacity, QLatin1Char('n')) + QStringLiteral("]   8.4.03\r\nERR x\r\n"));
}

// Categories below the split category stay in the main file; every line goes to the split file.
TEST_F(SdkLog, SplitCategoryDividesTheLines)
{
    const struct {
        int category;
        const char *main;
        const char *split;
    } cases[] = {
        {-1, "c0|c1|c2|c3|c17|c63|", ""}, {0, "", "c0|c1|c2|c3|c17|c63|"}, {3, "c0|c1|c2|", "c0|c1|c2|c3|c17|c63|"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.category);
        QFile::remove(path(kx::server::SdkObject::mainLogFileName()));
        QFile::remove(path(kx::server::SdkObject::splitLogFileName()));
        m_server.setSplitCategory(c.category);
        for (const int category : {0, 1, 2, 3, 17, 63})
            log().logMessage(category, kBare, QStringLiteral("c") + QString::number(category));
        const auto unmarked = [](QString text) {
            for (const char *marker : {"CRF (CRITICAL FAILURE) - ", "ERR ", "WRN "})
                text.remove(QLatin1String(marker));
            return text.replace(QLatin1Char('\n'), QLatin1Char('|'));
        };
        EXPECT_EQ(unmarked(mainFile()), QLatin1String(c.main));
        EXPECT_EQ(unmarked(splitFile()), QLatin1String(c.split));
    }
}

// A main file that fails costs a line, never the caller; an error or split file that fails reaches it.
TEST_F(SdkLog, FailingFiles)
{
    m_server.setMainLog(unwritableLog());
    EXPECT_NO_THROW(log().logMessage(1, 0, QStringLiteral("no licence")));
    EXPECT_EQ(errorFile(), kErrorHead + kStamp + QStringLiteral("| ERR no licence\r\n"));
    m_server.setMainLog(std::make_unique<_kxLogfile>());

    m_server.setErrorLog(unwritableLog());
    EXPECT_THROW(log().logMessage(1, 0, QStringLiteral("no licence")), std::runtime_error);
    EXPECT_NO_THROW(log().logMessage(17, kBare, QStringLiteral("queued")));
    EXPECT_EQ(m_server.mainLog().pendingEntries(), QStringList{QStringLiteral("queued")});

    m_server.setSplitLog(unwritableLog());
    m_server.setSplitCategory(3);
    EXPECT_THROW(log().logMessage(2, 0, QStringLiteral("late")), std::runtime_error);
    EXPECT_EQ(m_server.mainLog().pendingEntries().size(), 1);
}

TEST(ServerStandIn, RefusesASplitCategoryWithoutASplitFile)
{
    kx::server::SdkObject server;
    ASSERT_THROW(server.setSplitCategory(3), std::logic_error);
    EXPECT_EQ(server.sdkInterface()->splitCategory, -1);
    server.sdkInterface()->logMessage(17, kBare, QStringLiteral("still here"));
    EXPECT_EQ(server.mainLog().pendingEntries(), QStringList{QStringLiteral("still here")});

    server.setSplitLog(std::make_unique<_kxLogfile>());
    EXPECT_NO_THROW(server.setSplitCategory(3));
    EXPECT_THROW(server.setSplitLog(nullptr), std::logic_error);
    server.sdkInterface()->logMessage(17, kBare, QStringLiteral("split"));
    EXPECT_EQ(server.splitLog()->pendingEntries(), QStringList{QStringLiteral("split")});
    EXPECT_NO_THROW(server.setSplitCategory(-1));
    EXPECT_NO_THROW(server.setSplitLog(nullptr));
}

TEST_F(SdkLog, CategoryOutsideTheTableIsNotWritten)
{
    // Every byte around the table reads as "switched on".
    std::vector<unsigned char> config(kx::ServerConfig::kRecordSize + 1024, 1);
    log().config = config.data();
    m_server.setLogMuted(true);
    for (const int category : {-1, -1000, kx::ServerConfig::kLogCategoryCount, 1000}) {
        SCOPED_TRACE(category);
        log().logMessage(category, 0, QStringLiteral("PAGE_FAULT somewhere"));
        EXPECT_EQ(log().criticalFailure, 0);
        EXPECT_EQ(log().logMuted, 1);
    }
    m_server.setLogMuted(false);
    log().logMessage(-1, 0, QStringLiteral("below"));
    log().logMessage(kx::ServerConfig::kLogCategoryCount, 0, QStringLiteral("above"));
    log().logMessage(kx::ServerConfig::kLogCategoryCount - 1, kBare, QStringLiteral("last"));
    EXPECT_EQ(mainFile(), QStringLiteral("last\n"));
}

} // namespace
