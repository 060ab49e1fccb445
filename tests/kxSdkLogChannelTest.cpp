#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxStringField.h"
#include "kxSdkLogChannel.h"
#include "kxServerSdkObject.h"
#include "jobIDText.h"
#include "records/kxServerConfigRecord.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace {

// 2024-03-05 14:07:09.123 UTC; the tests run with TZ=UTC.
constexpr qint64 kFixedTime = 1709647629123;
const QString kStamp = QStringLiteral("2024-03-05 14:07:09.123");
const QString kSpaces17 = QString(17, QLatin1Char(' '));
const QString kSpaces22 = QString(22, QLatin1Char(' '));

QString readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

class SdkLogChannelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        kxSetFixedCurrentTime(kFixedTime);
        m_server.openLogFiles(m_dir.path());
        m_server.setLogName(QStringLiteral("farm01"));
    }
    void TearDown() override { kxSetFixedCurrentTime(0); }

    __KXSDK &log() { return *m_server.sdkInterface(); }
    QString path(const QString &fileName) const { return QDir(m_dir.path()).filePath(fileName); }
    // The file as written so far, without flushing.
    QString onDisk(const QString &fileName) const { return readFile(path(fileName)); }
    // A file after its log has been flushed.
    QString flushed(_kxLogfile &logfile, const QString &fileName)
    {
        logfile.flush();
        return onDisk(fileName);
    }
    QString mainFile() { return flushed(m_server.mainLog(), kx::server::SdkObject::mainLogFileName()); }
    QString errorFile() { return flushed(m_server.errorLog(), kx::server::SdkObject::errorLogFileName()); }
    QString splitFile() { return flushed(*m_server.splitLog(), kx::server::SdkObject::splitLogFileName()); }

    // A log file that throws on every entry: its directory does not exist.
    std::unique_ptr<_kxLogfile> unwritableLog(const QString &fileName) const
    {
        auto logfile = std::make_unique<_kxLogfile>(path(QStringLiteral("missing/") + fileName));
        logfile->setAutoFlushCount(0);
        return logfile;
    }

    QTemporaryDir m_dir;
    kx::server::SdkObject m_server;
};

// --- Line format -----------------------------------------------------------

struct FormatCase
{
    const char *name;
    int category;
    int flags;
    char separator;
    const char *text;
    // "{T}" stands for the time stamp, "{C}" for the 17 spaces of a continued
    // head, "{I}" for the 22 spaces after a line feed.
    const char *expected;
};

class LineFormatTest : public SdkLogChannelTest, public ::testing::WithParamInterface<FormatCase>
{
};

const int kBare = __KXSDK::flagBare;
const int kContinued = __KXSDK::flagContinued;

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
    {"ContinuationIndent", 3, 0, '|', "first\nsecond\nthird",
     "{T}|     first\n{I}second\n{I}third"},
    {"ControlCharacterMasked", 17, 0, '|', "a\x01" "b\tc", "{T}|     a?b\tc"},
    {"BareError", 1, kBare, '|', "no licence", "ERR no licence"},
    {"BareInformation", 17, kBare, '|', "job queued", "job queued"},
    {"BareKeepsLineFeeds", 17, kBare, '|', "one\ntwo", "one\ntwo"},
    {"BareDropsTag", 17, kBare, '|', "S| job", "job"},
    {"Continued", 17, kContinued, '|', "more", "{C}     more"},
    {"ContinuedKeepsTag", 17, kContinued, '|', "S|more", "{C}S|     more"},
    {"ContinuedBareCritical", 0, kContinued | kBare, '|', "x", "{C}CRF (CRITICAL FAILURE) - x"},
    {"ContinuedBareError", 1, kContinued | kBare, '|', "x", "{C}ERR x"},
    {"ContinuedBareWarning", 2, kContinued | kBare, '|', "x", "{C}WRN x"},
    {"ContinuedBareInformation", 17, kContinued | kBare, '|', "x", "{C}x"},
    {"LineFeedSeparator", 17, 0, '\n', "job queued", "{T}     job queued"},
    {"LineFeedSeparatorWarning", 2, 0, '\n', "late", "{T} WRN late"},
};

TEST_P(LineFormatTest, WritesTheLineToTheMainFile)
{
    const FormatCase &c = GetParam();
    m_server.setStampSeparator(c.separator);
    log().logMessage(c.category, c.flags, QString::fromUtf8(c.text));
    const QString expected = QString::fromUtf8(c.expected)
                                 .replace(QStringLiteral("{T}"), kStamp)
                                 .replace(QStringLiteral("{C}"), kSpaces17)
                                 .replace(QStringLiteral("{I}"), kSpaces22);
    EXPECT_EQ(mainFile(), expected + QLatin1Char('\n'));
}

INSTANTIATE_TEST_SUITE_P(SdkLogChannel, LineFormatTest, ::testing::ValuesIn(kFormatCases),
                         [](const ::testing::TestParamInfo<FormatCase> &param) { return std::string(param.param.name); });

// --- Filter, mute and crash reports ------------------------------------------

TEST_F(SdkLogChannelTest, NullConfigWritesNothingButCriticalStillRaisesTheFlag)
{
    m_server.setLogMuted(true);
    log().config = nullptr;
    log().logMessage(17, 0, QStringLiteral("PAGE_FAULT in job"));
    EXPECT_EQ(log().criticalFailure, 0);
    EXPECT_EQ(log().logMuted, 1);

    log().logMessage(0, 0, QStringLiteral("disk gone"));
    EXPECT_EQ(log().criticalFailure, 1);
    EXPECT_EQ(log().logMuted, 0);
    EXPECT_EQ(m_server.mainLog().autoFlushCount(), _kxLogfile::DefaultAutoFlushCount);
    EXPECT_EQ(mainFile(), QString());
    EXPECT_EQ(errorFile(), QString());
}

TEST_F(SdkLogChannelTest, SwitchedOffCategoryWritesNothing)
{
    m_server.setLogCategoryEnabled(0, false);
    m_server.setLogCategoryEnabled(5, false);
    m_server.setLogMuted(true);
    log().logMessage(5, 0, QStringLiteral("PAGE_FAULT in job"));
    EXPECT_EQ(log().criticalFailure, 0);
    EXPECT_EQ(log().logMuted, 1);

    log().logMessage(0, 0, QStringLiteral("disk gone"));
    EXPECT_EQ(log().criticalFailure, 1);
    EXPECT_EQ(log().logMuted, 0);
    EXPECT_EQ(mainFile(), QString());
    EXPECT_EQ(errorFile(), QString());
}

TEST_F(SdkLogChannelTest, MutedChannelWritesOnlyWhatUnmutesIt)
{
    m_server.setLogMuted(true);
    log().logMessage(17, 0, QStringLiteral("quiet"));
    log().logMessage(1, 0, QStringLiteral("also quiet"));
    log().logMessage(17, 0, QStringLiteral("page_fault is not a crash text"));
    EXPECT_EQ(mainFile(), QString());
    EXPECT_EQ(errorFile(), QString());

    log().logMessage(0, 0, QStringLiteral("disk gone"));
    log().logMessage(17, 0, QStringLiteral("after"));
    EXPECT_EQ(mainFile(), kStamp + QStringLiteral("| CRF (CRITICAL FAILURE) - disk gone\n")
                              + kStamp + QStringLiteral("|     after\n"));
    EXPECT_EQ(errorFile(), QStringLiteral("[farm01]   8.4.03\r\n") + kStamp
                               + QStringLiteral("| CRF (CRITICAL FAILURE) - disk gone\r\n"));
}

struct CrashCase
{
    const char *name;
    const char *text;
    bool isCrash;
};

class CrashReportTest : public SdkLogChannelTest, public ::testing::WithParamInterface<CrashCase>
{
};

const CrashCase kCrashCases[] = {
    {"AccessViolation", "Access violation at 0x0", true},
    {"PageFault", "worker PAGE_FAULT", true},
    {"BadAlloc", "caught std::bad_alloc:bad allocation", true},
    {"CaseMatters", "page_fault", false},
    {"AccessViolationCaseMatters", "access violation", false},
    {"PlainText", "job queued", false},
    // Where each crash text is looked for by one of its characters: decoys before it, the text at
    // either end, and the text cut short.
    {"BadAllocAlone", "std::bad_alloc:bad allocation", true},
    {"BadAllocAfterDecoys", ":: std: std::bad_alloc std::bad_alloc:bad allocation!", true},
    {"BadAllocCutShort", "x std::bad_alloc:bad allocatio", false},
    {"ColonsOnly", ": :: std::", false},
    {"AccessAfterDecoy", "AAccess Access violation", true},
    {"AccessCutShort", "Access violatio", false},
    {"PageFaultAfterDecoy", "PPAGE PAGE_FAUL PAGE_FAULT", true},
    {"PageFaultCutShort", "PAGE_FAUL", false},
};

TEST_P(CrashReportTest, UnmutesAndFlushesTheMainLogAtOnce)
{
    const CrashCase &c = GetParam();
    m_server.setLogMuted(true);
    log().logMessage(5, 0, QString::fromUtf8(c.text));

    EXPECT_EQ(log().criticalFailure, c.isCrash ? 1 : 0);
    EXPECT_EQ(log().logMuted, c.isCrash ? 0 : 1);
    EXPECT_EQ(kx::readAt<quint32>(&m_server.mainLog(), kx::SdkLog::kLogfileCrashFieldOffset),
              c.isCrash ? 0u : _kxLogfile::DefaultAutoFlushCount);
    // With the field at 0 the line reaches the file without a flush.
    const QString expected = c.isCrash ? kStamp + QStringLiteral("|     ") + QString::fromUtf8(c.text) + QLatin1Char('\n')
                                       : QString();
    EXPECT_EQ(onDisk(kx::server::SdkObject::mainLogFileName()), expected);
    // Informational: no error-file entry.
    EXPECT_EQ(errorFile(), QString());
}

INSTANTIATE_TEST_SUITE_P(SdkLogChannel, CrashReportTest, ::testing::ValuesIn(kCrashCases),
                         [](const ::testing::TestParamInfo<CrashCase> &param) { return std::string(param.param.name); });

TEST_F(SdkLogChannelTest, CriticalFailureIsNeverCleared)
{
    log().logMessage(0, 0, QStringLiteral("disk gone"));
    log().logMessage(17, 0, QStringLiteral("job queued"));
    log().logMessage(2, 0, QStringLiteral("late"));
    EXPECT_EQ(log().criticalFailure, 1);
}

// --- Error file ------------------------------------------------------------------

TEST_F(SdkLogChannelTest, ErrorFileGetsHeaderAndLineForCategoriesZeroAndOne)
{
    log().logMessage(1, 0, QStringLiteral("no licence"));
    log().logMessage(2, 0, QStringLiteral("late"));
    log().logMessage(17, 0, QStringLiteral("queued"));
    log().logMessage(1, kBare, QStringLiteral("bare"));
    EXPECT_EQ(errorFile(), QStringLiteral("[farm01]   8.4.03\r\n") + kStamp + QStringLiteral("| ERR no licence\r\n")
                               + QStringLiteral("[farm01]   8.4.03\r\nERR bare\r\n"));
}

TEST_F(SdkLogChannelTest, OverlongErrorLineIsCutInTheErrorFileOnly)
{
    const QString head = kStamp + QStringLiteral("| ERR ");
    for (const int lineLength : {2500000, 2500001}) {
        SCOPED_TRACE(lineLength);
        QFile::remove(path(kx::server::SdkObject::mainLogFileName()));
        QFile::remove(path(kx::server::SdkObject::errorLogFileName()));
        const QString text(lineLength - int(head.size()), QLatin1Char('x'));
        log().logMessage(1, 0, text);

        const QString line = head + text;
        ASSERT_EQ(line.size(), lineLength);
        const QString body = lineLength > 2500000 ? QStringLiteral("!!!MESSAGE TRUNCATED!!!! ") + line.left(500) : line;
        EXPECT_EQ(errorFile(), QStringLiteral("[farm01]   8.4.03\r\n") + body + QStringLiteral("\r\n"));
        EXPECT_EQ(mainFile(), line + QLatin1Char('\n'));
    }
}

TEST_F(SdkLogChannelTest, LogNameLengthIsClampedToItsCapacity)
{
    constexpr int capacity = __KXSDK::LogName::capacity();
    m_server.setLogName(QString(capacity + 10, QLatin1Char('n')));
    // A corrupt stored length, and server bytes right behind the field.
    kx::writeAt<quint16>(&log(), kx::SdkLog::kLogNameOffset, 0xFFFF);
    std::memset(kx::bytesAt(&log(), kx::SdkLog::kLogNameOffset + sizeof(__KXSDK::LogName)), 'Z', 64);

    log().logMessage(1, kBare, QStringLiteral("x"));
    EXPECT_EQ(errorFile(), QLatin1Char('[') + QString(capacity, QLatin1Char('n'))
                               + QStringLiteral("]   8.4.03\r\nERR x\r\n"));
}

// --- Split log -------------------------------------------------------------------

TEST_F(SdkLogChannelTest, SplitCategoryThreeKeepsOnlyCategoriesBelowInTheMainFile)
{
    m_server.setSplitCategory(3);
    for (const int category : {0, 1, 2, 3, 4, 17, 63})
        log().logMessage(category, kBare, QStringLiteral("c") + QString::number(category));
    EXPECT_EQ(mainFile(), QStringLiteral("CRF (CRITICAL FAILURE) - c0\nERR c1\nWRN c2\n"));
    EXPECT_EQ(splitFile(), QStringLiteral("CRF (CRITICAL FAILURE) - c0\nERR c1\nWRN c2\nc3\nc4\nc17\nc63\n"));
}

TEST_F(SdkLogChannelTest, NoSplitWithNegativeSplitCategory)
{
    log().logMessage(17, kBare, QStringLiteral("one"));
    EXPECT_EQ(mainFile(), QStringLiteral("one\n"));
    EXPECT_EQ(splitFile(), QString());
}

// --- Failures while writing --------------------------------------------------------

TEST_F(SdkLogChannelTest, MainLogFailureIsSwallowed)
{
    m_server.setMainLog(unwritableLog(QStringLiteral("main.log")));
    EXPECT_NO_THROW(log().logMessage(17, 0, QStringLiteral("queued")));
    EXPECT_NO_THROW(log().logMessage(1, 0, QStringLiteral("no licence")));
    EXPECT_EQ(errorFile(), QStringLiteral("[farm01]   8.4.03\r\n") + kStamp + QStringLiteral("| ERR no licence\r\n"));
}

TEST_F(SdkLogChannelTest, ErrorLogFailureReachesTheCallerBeforeTheMainWrite)
{
    m_server.setErrorLog(unwritableLog(QStringLiteral("error.log")));
    EXPECT_THROW(log().logMessage(1, 0, QStringLiteral("no licence")), std::runtime_error);
    EXPECT_NO_THROW(log().logMessage(17, kBare, QStringLiteral("queued")));
    EXPECT_EQ(mainFile(), QStringLiteral("queued\n"));
}

TEST_F(SdkLogChannelTest, SplitLogFailureReachesTheCaller)
{
    m_server.setSplitLog(unwritableLog(QStringLiteral("split.log")));
    m_server.setSplitCategory(3);
    EXPECT_THROW(log().logMessage(2, 0, QStringLiteral("late")), std::runtime_error);
    EXPECT_EQ(mainFile(), QString());
}

TEST(ServerStandIn, RefusesASplitCategoryWithoutASplitFile)
{
    kx::server::SdkObject server;
    ASSERT_EQ(server.splitLog(), nullptr);
    ASSERT_THROW(server.setSplitCategory(3), std::logic_error);
    EXPECT_EQ(server.sdkInterface()->splitCategory, -1);
    // The refused setting left a channel that still logs.
    server.sdkInterface()->logMessage(17, __KXSDK::flagBare, QStringLiteral("still here"));
    EXPECT_EQ(server.mainLog().pendingEntries(), QStringList{QStringLiteral("still here")});

    server.setSplitLog(std::make_unique<_kxLogfile>());
    EXPECT_NO_THROW(server.setSplitCategory(3));
    EXPECT_THROW(server.setSplitLog(nullptr), std::logic_error);
    ASSERT_NE(server.splitLog(), nullptr);
    server.sdkInterface()->logMessage(17, __KXSDK::flagBare, QStringLiteral("split"));
    EXPECT_EQ(server.splitLog()->pendingEntries(), QStringList{QStringLiteral("split")});
    EXPECT_NO_THROW(server.setSplitCategory(-1));
    EXPECT_NO_THROW(server.setSplitLog(nullptr));
}

// --- The class itself ------------------------------------------------------------

// Each member is the channel's own, not a base class's: a member pointer names
// the class that declares the member.
TEST(SdkLogChannelClass, EveryMemberIsDeclaredByTheChannelItself)
{
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::criticalFailure), quint8 __KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::mainLog), _kxLogfile *__KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::errorLog), _kxLogfile *__KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::config), const void *__KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::logName), __KXSDK::LogName __KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::logMuted), quint8 __KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::stampSeparator), char __KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::splitCategory), qint8 __KXSDK::*>));
    EXPECT_TRUE((std::is_same_v<decltype(&__KXSDK::splitLog), _kxLogfile *__KXSDK::*>));
    EXPECT_TRUE(std::is_polymorphic_v<__KXSDK>);
    EXPECT_EQ(sizeof(__KXSDK), kx::SdkLog::kSize);
}

// Members set by name are found at their byte offsets, as the server reads them.
TEST(SdkLogChannelClass, MembersLieAtTheirByteOffsets)
{
    kx::server::SdkObject server;
    __KXSDK &log = *server.sdkInterface();
    const auto *bytes = reinterpret_cast<const unsigned char *>(&log);
    _kxLogfile split;
    log.criticalFailure = 0xA1;
    log.logMuted = 0xA2;
    log.stampSeparator = '#';
    log.splitCategory = 0x23;
    log.splitLog = &split;
    log.logName.assign(QStringLiteral("farm"));
    EXPECT_EQ(kx::readAt<quint8>(bytes, kx::SdkLog::kCriticalFailureOffset), 0xA1);
    EXPECT_EQ(kx::readAt<_kxLogfile *>(bytes, kx::SdkLog::kMainLogOffset), &server.mainLog());
    EXPECT_EQ(kx::readAt<_kxLogfile *>(bytes, kx::SdkLog::kErrorLogOffset), &server.errorLog());
    EXPECT_EQ(kx::readAt<const void *>(bytes, kx::SdkLog::kConfigOffset), static_cast<const void *>(server.configRecord()));
    EXPECT_EQ(kx::readAt<quint16>(bytes, kx::SdkLog::kLogNameOffset), 4);
    EXPECT_EQ(kx::readAt<char>(bytes, kx::SdkLog::kLogNameOffset + 2), 'f');
    EXPECT_EQ(kx::readAt<quint8>(bytes, kx::SdkLog::kLogMutedOffset), 0xA2);
    EXPECT_EQ(kx::readAt<char>(bytes, kx::SdkLog::kStampSeparatorOffset), '#');
    EXPECT_EQ(kx::readAt<qint8>(bytes, kx::SdkLog::kSplitCategoryOffset), 0x23);
    EXPECT_EQ(kx::readAt<_kxLogfile *>(bytes, kx::SdkLog::kSplitLogOffset), &split);
    log.splitLog = nullptr;
    log.splitCategory = -1;
}

// --- Categories outside the table ------------------------------------------------

TEST_F(SdkLogChannelTest, CategoryOutsideTheTableIsNotWritten)
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

// --- A notification's lines on disk ------------------------------------------------

TEST(SdkLogChannelEndToEnd, NotificationWithoutRecipientsLandsInTheMainFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    kxSetFixedCurrentTime(kFixedTime);
    kx::server::PluginModule module(QStringLiteral(KX_PLUGIN_MODULE_PATH));
    ASSERT_TRUE(module.load()) << module.errorString().toStdString();

    kx::server::SdkObject server;
    server.openLogFiles(dir.path());
    kx::server::JobRecordBuilder job;
    job.setId(quint8('K'), 12345);
    _kxNotifyParams params{server.sdkInterface(), job.record()};

    EXPECT_EQ(module.notify(&params), kx::ResultNoRecipient);
    EXPECT_EQ(server.mainLog().flushCount(), 0u);
    server.mainLog().flush();
    kxSetFixedCurrentTime(0);

    const QString expected = kStamp + QStringLiteral("|     pNotify kxMessage started for job ")
        + kx::jobIDTextOfJob(job.record()) + QLatin1Char('\n')
        + kStamp + QStringLiteral("| WRN pNotify kxMessage: No Client Name specified\n");
    EXPECT_EQ(readFile(QDir(dir.path()).filePath(kx::server::SdkObject::mainLogFileName())), expected);
    EXPECT_EQ(readFile(QDir(dir.path()).filePath(kx::server::SdkObject::errorLogFileName())), QString());
}

} // namespace
