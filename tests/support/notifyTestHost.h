// A server stand-in for driving pNotify through the loaded module: SDK object
// with a recording log, a job record, a client table.
#ifndef NOTIFYTESTHOST_H
#define NOTIFYTESTHOST_H

#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxServerSdkObject.h"
#include "recordingLog.h"

#include <gtest/gtest.h>

#include <vector>

class NotifyTestHost : public ::testing::Test
{
protected:
    // 2024-03-05 14:07:30 UTC.
    static constexpr qint64 kFixedTime = 1709647650000;
    static constexpr const char *kTimeText = "2024-03-05 14:07";

    void SetUp() override
    {
        kxSetFixedCurrentTime(kFixedTime);
        ASSERT_TRUE(module.load()) << module.errorString().toStdString();
        log = &sdk.installLog<RecordingLog>();
        sdk.setClientTable(clients.table());
        job.setId(1, 123456789); // {KT9a}
        job.setProgressCode(200);
        params.sdk = sdk.sdkInterface();
        params.job = job.record();
    }

    void TearDown() override { kxSetFixedCurrentTime(0); }

    int notify() { return module.notify(&params); }

    // The lines written after the start line and the composed text's line.
    QString textLine() const { return log->lines.size() > 1 ? log->lines[1].text : QString(); }
    const RecordingLog::Line &lastLine() const { return log->lines.back(); }

    // The text for the current job, as it appears in the send-to line.
    QString composedText() const
    {
        const QString line = textLine();
        const auto feed = line.indexOf(QLatin1Char('\n'));
        return feed < 0 ? QString() : line.mid(feed + 1);
    }

    kx::server::PluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    kx::server::SdkObject sdk;
    kx::server::JobRecordBuilder job;
    kx::server::ClientTableBuilder clients;
    _kxNotifyParams params{};
    RecordingLog *log = nullptr;
};

#endif // NOTIFYTESTHOST_H
