// A server stand-in for driving pNotify through the loaded module: SDK object
// with a recording log, a job record {KT9a} at progress 200, a client table.
#ifndef NOTIFYTESTHOST_H
#define NOTIFYTESTHOST_H

#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxServerSdkObject.h"
#include "recordingLog.h"

#include <gtest/gtest.h>

#include <string>

class NotifyTestHost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kxtest::fixCurrentTime(1709647650000); // 2024-03-05 14:07:30 UTC
        ASSERT_TRUE(module.load()) << module.errorString().toStdString();
        log = &sdk.installLog<RecordingLog>();
        sdk.setClientTable(clients.table());
        job.setId(1, 123456789);
        job.setProgressCode(200);
        params = kx::NotifyParams::make(sdk.sdkInterface(), job.record());
    }
    void TearDown() override { kxtest::fixCurrentTime(0); }

public:
    int notify() { return module.notify(&params); }
    RecordingLog *recording() const { return log; }
    // The line after the start line carries the list and the composed text.
    QString textLine() const { return log->lines.size() > 1 ? log->lines[1].text : QString(); }
    QString composedText() const { return textLine().section(QLatin1Char('\n'), 1); }
    const RecordingLog::Line &lastLine() const { return log->lines.back(); }

    // pNotify for `list` over `table`; one mark a client: '+' its box holds
    // exactly the text, '-' it is empty, '?' anything else.
    std::string reached(kx::server::ClientTableBuilder &table, const QString &list)
    {
        sdk.setClientTable(table.table());
        job.setRecipients(list);
        log->lines.clear();
        EXPECT_EQ(notify(), 1);
        std::string marks;
        for (int i = 0; i < table.clientCount(); ++i) {
            const QString box = table.messageBox(i);
            marks += box.isEmpty() ? '-' : box == composedText() ? '+' : '?';
        }
        return marks;
    }

protected:
    kx::server::PluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    kx::server::SdkObject sdk;
    kx::server::JobRecordBuilder job;
    kx::server::ClientTableBuilder clients;
    _kxNotifyParams params{};
    RecordingLog *log = nullptr;
};

#endif // NOTIFYTESTHOST_H
