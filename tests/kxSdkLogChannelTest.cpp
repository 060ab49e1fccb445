#include "kxStringField.h"
#include "kxSdkLogChannel.h"
#include "kxServerSdkObject.h"
#include "pages.h"
#include "records/kxServerConfigRecord.h"
#include "testFiles.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Server = kx::server::SdkObject;
// 2024-03-05 14:07:09.123 UTC; the tests run with TZ=UTC.
const QString kStamp = QStringLiteral("2024-03-05 14:07:09.123");
const QString kErrorHead = QStringLiteral("[farm01]   8.4.03\r\n");
const int kBare = __KXSDK::flagBare;

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
    QString onDisk(const QString &fileName) const { return kxtest::readFile(path(fileName)); }
    QString flushed(_kxLogfile &logfile, const QString &fileName)
    {
        logfile.flush();
        return onDisk(fileName);
    }
    QString mainFile() { return flushed(m_server.mainLog(), Server::mainLogFileName()); }
    QString errorFile() { return flushed(m_server.errorLog(), Server::errorLogFileName()); }
    QString splitFile() { return flushed(*m_server.splitLog(), Server::splitLogFileName()); }
    // A log file that throws on every entry: its directory does not exist.
    std::unique_ptr<_kxLogfile> unwritableLog() const
    {
        auto logfile = std::make_unique<_kxLogfile>(path(QStringLiteral("missing/x.log")));
        logfile->setAutoFlushCount(0);
        return logfile;
    }

    QTemporaryDir m_dir;
    Server m_server;
};

// A table's rows from tests/golden: tab-separated fields, escapes and time marks as its head says.
std::vector<std::vector<std::string>> goldenRows(const char *name)
{
    std::vector<std::vector<std::string>> rows;
    for (const QByteArray &line : kxtest::goldenLines(name)) {
        rows.emplace_back();
        for (QString field : QString::fromUtf8(line).split(QLatin1Char('\t'))) {
            field.replace("\\n", "\n").replace("\\t", "\t").replace("\\x01", "\x01").replace("\\x20", " ");
            field.replace("{T}", kStamp).replace("{C}", QString(17, ' ')).replace("{I}", QString(22, ' '));
            rows.back().push_back(field.toStdString());
        }
    }
    return rows;
}
const auto rowName = [](const auto &row) { return row.param.at(0); };

class SdkLogLine : public SdkLog, public ::testing::WithParamInterface<std::vector<std::string>>
{
protected:
    QString field(int i) const { return QString::fromStdString(GetParam().at(std::size_t(i))); }
};

TEST_P(SdkLogLine, WritesTheLineToTheMainFile)
{
    const QString flagWords = field(2);
    const int flags = (flagWords.contains("bare") ? kBare : 0) | flagWords.toInt(nullptr, 0)
                      | (flagWords.contains("continued") ? __KXSDK::flagContinued : 0);
    m_server.setStampSeparator(field(3).at(0).toLatin1());
    log().logMessage(field(1).toInt(), flags, field(4));
    EXPECT_EQ(mainFile(), field(5) + QLatin1Char('\n'));
}

INSTANTIATE_TEST_SUITE_P(Format, SdkLogLine, ::testing::ValuesIn(goldenRows("sdkLogLines.txt")), rowName);

// Whatever keeps a line out of the files, a critical line still raises the flag and lifts the mute.
TEST_F(SdkLog, SilencedLinesStillLetCriticalRaiseTheFlag)
{
    for (const QString silencer : {"no config", "category off", "muted"}) {
        SCOPED_TRACE(silencer.toStdString());
        Server server;
        __KXSDK &channel = *server.sdkInterface();
        const bool isMuteOnly = silencer == "muted";
        if (silencer == "no config")
            channel.config = nullptr;
        // The server's switches, one byte per category from 256428 of its configuration, written at that
        // literal place: an offset wrong in both the SDK and the server stand-in would pass otherwise.
        for (const int category : {0, 5})
            server.configRecord()[256428 + category] = silencer != "category off";
        server.setLogMuted(true);
        // No crash text is looked for in a line that is not written.
        channel.logMessage(5, 0, isMuteOnly ? "page_fault" : "PAGE_FAULT in job");
        channel.logMessage(1, 0, "quiet");
        EXPECT_EQ(channel.criticalFailure, 0);
        EXPECT_EQ(channel.logMuted, 1);
        channel.logMessage(0, 0, "disk gone");
        channel.logMessage(17, kBare, "after");
        channel.logMessage(2, kBare, "late");
        EXPECT_EQ(channel.criticalFailure, 1);
        EXPECT_EQ(channel.logMuted, 0);
        QStringList written = {"after", "WRN late"};
        if (isMuteOnly)
            written.prepend(kStamp + "| CRF (CRITICAL FAILURE) - disk gone");
        EXPECT_EQ(server.mainLog().pendingEntries(), silencer == "no config" ? QStringList() : written);
        EXPECT_EQ(server.errorLog().pendingEntries().size(), isMuteOnly ? 1 : 0);
    }
}

using SdkLogCrash = SdkLogLine;

TEST_P(SdkLogCrash, UnmutesAndFlushesTheMainLogAtOnce)
{
    const QString text = field(1);
    const bool isCrash = field(2) == QLatin1String("crash");
    m_server.setLogMuted(true);
    log().logMessage(5, 0, text);
    EXPECT_EQ(log().criticalFailure, isCrash ? 1 : 0);
    EXPECT_EQ(log().logMuted, isCrash ? 0 : 1);
    // The log file's auto-flush count, at byte 512, drops to 0: the line reaches the file without a flush.
    EXPECT_EQ(kx::readAt<quint32>(&m_server.mainLog(), 512), isCrash ? 0u : _kxLogfile::DefaultAutoFlushCount);
    EXPECT_EQ(onDisk(Server::mainLogFileName()),
              isCrash ? kStamp + QStringLiteral("|     ") + text + QLatin1Char('\n') : QString());
    EXPECT_EQ(errorFile(), QString());
}

INSTANTIATE_TEST_SUITE_P(Texts, SdkLogCrash, ::testing::ValuesIn(goldenRows("sdkLogCrashTexts.txt")), rowName);

// A crash text cut short where the line ends, and readable memory with it: nothing past the line is
// read, and the line is no crash report.
TEST_F(SdkLog, CrashTextCutShortAtTheEndOfReadableMemoryIsNoCrash)
{
    Pages pages(2 * kPageSize);
    pages.protectPageOf(kPageSize);
    for (const QString cut : {"Access violatio", "worker PAGE_FAUL", "std::bad_alloc:bad allocatio"}) {
        SCOPED_TRACE(cut.toStdString());
        QChar *const units = reinterpret_cast<QChar *>(pages.bytes() + kPageSize) - cut.size();
        std::copy(cut.begin(), cut.end(), units);
        m_server.setLogMuted(true);
        log().logMessage(5, 0, QString::fromRawData(units, cut.size()));
        EXPECT_EQ(log().criticalFailure, 0);
        EXPECT_EQ(log().logMuted, 1);
    }
}

TEST_F(SdkLog, ErrorFileGetsHeaderAndLineForCategoriesZeroAndOne)
{
    log().logMessage(1, 0, QStringLiteral("no licence"));
    EXPECT_EQ(kx::readAt<quint32>(&m_server.mainLog(), 512), _kxLogfile::DefaultAutoFlushCount);
    log().logMessage(0, kBare, QStringLiteral("disk gone")); // a critical line is a crash report of its own
    EXPECT_EQ(kx::readAt<quint32>(&m_server.mainLog(), 512), 0u);
    log().logMessage(2, 0, QStringLiteral("late"));
    log().logMessage(17, 0, QStringLiteral("queued"));
    log().logMessage(1, kBare, QStringLiteral("bare"));
    EXPECT_EQ(errorFile(), kErrorHead + kStamp + "| ERR no licence\r\n" + kErrorHead
                               + "CRF (CRITICAL FAILURE) - disk gone\r\n" + kErrorHead + "ERR bare\r\n");
}

TEST_F(SdkLog, OverlongErrorLineIsCutInTheErrorFileOnly)
{
    const QString head = kStamp + QStringLiteral("| ERR ");
    for (const int lineLength : {2500000, 2500001}) {
        SCOPED_TRACE(lineLength);
        QFile::remove(path(Server::mainLogFileName()));
        QFile::remove(path(Server::errorLogFileName()));
        const QString line = head + QString(lineLength - int(head.size()), QLatin1Char('x'));
        log().logMessage(1, 0, line.mid(head.size()));
        const QString body = lineLength > 2500000 ? "!!!MESSAGE TRUNCATED!!!! " + line.left(500) : line;
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
    EXPECT_EQ(errorFile(), "[" + QString(capacity, 'n') + "]   8.4.03\r\nERR x\r\n");
}

// Categories below the split category stay in the main file; every line goes to the split file.
TEST_F(SdkLog, SplitCategoryDividesTheLines)
{
    const struct { int category; const char *main, *split; } cases[] = {
        {-1, "c0|c1|c2|c3|c17|c63|", ""},
        {0, "", "c0|c1|c2|c3|c17|c63|"},
        {3, "c0|c1|c2|", "c0|c1|c2|c3|c17|c63|"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.category);
        QFile::remove(path(Server::mainLogFileName()));
        QFile::remove(path(Server::splitLogFileName()));
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

// As the SDK constructs it, before a server fills it in: no logs, not muted, no split, "|" after the stamp.
TEST(SdkLogChannel, ConstructedChannelHoldsOnlyItsDefaults)
{
    // Over bytes that are not 0: every member must be written by the construction itself.
    std::vector<std::max_align_t> storage(sizeof(__KXSDK) / sizeof(std::max_align_t) + 1);
    std::memset(storage.data(), 0xEE, storage.size() * sizeof(std::max_align_t));
    __KXSDK *const channel = new (storage.data()) __KXSDK;
    const auto *bytes = reinterpret_cast<const unsigned char *>(channel);
    for (std::size_t at = kx::SdkLog::kMembersOffset; at < kx::SdkLog::kSize; ++at) {
        const int expected = at == kx::SdkLog::kStampSeparatorOffset ? '|'
                             : at == kx::SdkLog::kSplitCategoryOffset ? 0xFF : 0;
        EXPECT_EQ(bytes[at], expected) << "byte " << at;
        if (bytes[at] != expected)
            break;
    }
    channel->~__KXSDK();
}

TEST(ServerStandIn, RefusesASplitCategoryWithoutASplitFile)
{
    Server server;
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
