// The four exports' frames: results, the information record's bytes, the checks
// made before any work.
#include "notifyTestHost.h"

#include "kxStringField.h"
#include "testFiles.h"

#include <algorithm>
#include <vector>

namespace {

using PluginExports = NotifyTestHost;

TEST_F(PluginExports, InitAndExitSucceedInAnyOrder)
{
    using Module = kx::server::PluginModule;
    for (int round = 0; round < 3; ++round)
        for (int (Module::*call)() const : {&Module::exit, &Module::exit, &Module::init, &Module::init})
            EXPECT_EQ((module.*call)(), 1);
}

TEST_F(PluginExports, QtVersionLongerThanItsFieldIsCut)
{
    std::vector<unsigned char> bytes(sizeof(_kxString<25>) + 8, 0xAB);
    auto field = kx::stringField<_kxString<25>>(bytes.data(), 0);
    const char *longVersion = "6.4.2-with-a-very-long-build-suffix";
    field.store(longVersion);
    EXPECT_EQ(kx::readAt<quint16>(bytes.data(), 0), 25);
    EXPECT_EQ(kx::readAt<quint16>(bytes.data(), 2), 0xABAB);
    EXPECT_EQ(field.text(), QString::fromLatin1(longVersion).left(25));
    EXPECT_EQ(kx::readAt<char16_t>(bytes.data(), 4 + 2 * 25), 0);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + sizeof(_kxString<25>), bytes.end()),
              std::vector<unsigned char>(8, 0xAB));
    field.store("\xE9t"); // the units behind the terminator stay
    EXPECT_EQ(field.text(), QString::fromLatin1("\xE9t"));
    EXPECT_EQ(kx::readAt<char16_t>(bytes.data(), 10), char16_t(longVersion[3]));
}

// Null records: 5, nothing logged. A broken marker of the job (codes at 0, 4,
// 8, 12; words at 2, 6, 10, 14 that must not be 0) or of the SDK object (the
// word at 30, the end marker): 5 after the start line. An empty list: 14 with
// a warning, no flush. A list that matches nobody: 1.
TEST_F(PluginExports, NotifyResults)
{
    const QString startLine = QStringLiteral("pNotify kxMessage started for job {KT9a}");
    EXPECT_EQ(module.notify(nullptr), 5);
    _kxNotifyParams noJob = kx::NotifyParams::make(sdk.sdkInterface(), nullptr);
    EXPECT_EQ(module.notify(&noJob), 5);
    _kxNotifyParams noSdk = kx::NotifyParams::make(nullptr, job.record());
    EXPECT_EQ(module.notify(&noSdk), 5);
    EXPECT_TRUE(log->lines.empty());

    job.setRecipients(QStringLiteral("render01"));
    for (std::size_t offset = 0; offset <= 18; offset += 2) {
        SCOPED_TRACE(offset);
        kx::server::SdkObject server;
        RecordingLog &lines = server.installLog<RecordingLog>();
        const auto good = kx::readAt<quint16>(job.bytes(), offset);
        if (offset < 16)
            kx::writeAt<quint16>(job.bytes(), offset, offset % 4 == 0 ? quint16(good + 1) : quint16(0));
        else if (offset == 16)
            kx::writeAt<quint16>(server.bytes(), 30, 0);
        else
            kx::writeAt<quint32>(server.bytes(), 24188, 0x0A23D23D);
        _kxNotifyParams call = kx::NotifyParams::make(server.sdkInterface(), job.record());
        EXPECT_EQ(module.notify(&call), 5);
        kx::writeAt<quint16>(job.bytes(), offset, good);
        ASSERT_EQ(lines.lines.size(), 1u);
        EXPECT_EQ(lines.lines[0].category, 17);
        EXPECT_EQ(lines.lines[0].flags, 0);
        EXPECT_EQ(lines.lines[0].text, startLine);
    }

    job.setRecipients(QStringLiteral("nobody"));
    EXPECT_EQ(notify(), 1);
    log->lines.clear();
    job.setRecipients(QString());
    EXPECT_EQ(notify(), 14);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_EQ(log->lines[0].text, startLine);
    EXPECT_EQ(log->lines[1].category, 2);
    EXPECT_EQ(log->lines[1].flags, 0);
    EXPECT_EQ(log->lines[1].text, QStringLiteral("pNotify kxMessage: No Client Name specified"));
    EXPECT_EQ(kxtest::flushCount(sdk.mainLog()), 1u); // the one call that delivered
}

// Written from tests/golden/jobRecord.txt, not through the offsets the module and the server stand-in
// share: a wrong offset in both would go unseen otherwise. At an odd address.
TEST_F(PluginExports, JobWrittenByteByByteIsReadFromItsPlaces)
{
    const std::vector<unsigned char> image = kxtest::goldenImage("jobRecord.txt", 76336);
    std::vector<unsigned char> storage(1 + image.size());
    unsigned char *record = storage.data() + 1;
    std::copy(image.begin(), image.end(), record);
    clients.addClient(QStringLiteral("render01"));
    sdk.setClientTable(clients.table());
    params = kx::NotifyParams::make(sdk.sdkInterface(), reinterpret_cast<_kxJob *>(record));
    EXPECT_EQ(notify(), 1);
    ASSERT_FALSE(log->lines.empty());
    EXPECT_EQ(log->lines[0].text, QStringLiteral("pNotify kxMessage started for job {KT9a}"));
    EXPECT_EQ(clients.messageBox(0), _kxTime(true).asStringDateHourMin()
                                         + QStringLiteral("\nJob {KT9a} [lighting] finished. \nScene:/shots/a.scn"
                                                          " \nImage:/render/a_0001.exr"));
}

} // namespace
