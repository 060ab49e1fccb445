// kxhost's log channel: what it records for each file is what reached that file, and the
// channel's file pointers are the server's own again after every line, whatever the line's
// category (the error file gets only categories 0 and 1, the split file every line once set).
#include "kxRecordingLogChannel.h"
#include "kxServerSdkObject.h"
#include "testFiles.h"

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Line
{
    int category;
    const char *text;
};

TEST(RecordingLogChannel, RecordsWhatEachFileReceivesAndKeepsTheServersFiles)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    kx::server::SdkObject server;
    auto &channel = server.installLog<kx::host::RecordingLogChannel>();
    server.openLogFiles(folder.path());
    server.setSplitCategory(20);
    _kxLogfile *const files[] = {&server.mainLog(), &server.errorLog(), server.splitLog()};
    const Line lines[] = {{17, "progress"}, {2, "warning"}, {1, "error"}, {25, "split only"},
                          {0, "critical"}, {17, "after the critical line"}};
    for (const Line &line : lines) {
        SCOPED_TRACE(line.text);
        channel.logMessage(line.category, 0, QString::fromLatin1(line.text));
        // Copied out first: the members are packed, a reference to them would be misaligned.
        _kxLogfile *const now[] = {channel.mainLog, channel.errorLog, channel.splitLog};
        EXPECT_EQ(now[0], files[0]);
        EXPECT_EQ(now[1], files[1]);
        EXPECT_EQ(now[2], files[2]);
    }
    // The critical line makes the main file flush at every entry, as the channel has it.
    EXPECT_EQ(files[0]->autoFlushCount(), 0u);
    QStringList recorded[3];
    for (int i = 0; i < 3; ++i) {
        recorded[i] = channel.takeEntries(files[i]);
        files[i]->flush();
        QString written;
        for (const QString &entry : recorded[i])
            written += entry.endsWith(QLatin1Char('\n')) ? entry : entry + QLatin1Char('\n');
        EXPECT_EQ(kxtest::readFile(files[i]->filePath()), written.toUtf8()) << i;
        EXPECT_TRUE(channel.takeEntries(files[i]).isEmpty()) << "taken twice";
    }
    EXPECT_EQ(recorded[0].size(), 5); // all but the split-only line
    EXPECT_EQ(recorded[1].size(), 2); // the error and the critical line
    EXPECT_EQ(recorded[2].size(), 6);
}

} // namespace
