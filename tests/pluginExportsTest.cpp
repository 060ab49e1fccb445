#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxStringField.h"
#include "kxServerSdkObject.h"
#include "pluginInfo.h"
#include "recordingLog.h"

#include <gtest/gtest.h>

#include <QtCore/QtGlobal>

#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kPattern = 0xAB;

class PluginExports : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        module = new kx::server::PluginModule(QStringLiteral(KX_PLUGIN_MODULE_PATH));
        ASSERT_TRUE(module->load()) << module->errorString().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete module;
        module = nullptr;
    }

    // An information record full of a pattern, so every byte the plug-in
    // leaves alone can be told apart.
    std::vector<unsigned char> infoRecord(quint16 version, __KXSDK *sdk)
    {
        std::vector<unsigned char> bytes(sizeof(_kxPluginInfo), kPattern);
        kx::writeAt<quint16>(bytes.data(), 0, version);
        kx::writeAt(bytes.data(), 504, sdk);
        return bytes;
    }
    int callInfo(std::vector<unsigned char> &bytes)
    {
        return module->info(reinterpret_cast<_kxPluginInfo *>(bytes.data()));
    }
    static QString stringField(const std::vector<unsigned char> &bytes, std::size_t offset)
    {
        return kx::stringField<_kxString<100>>(bytes.data(), offset).text();
    }

    static kx::server::PluginModule *module;
};
kx::server::PluginModule *PluginExports::module = nullptr;

TEST_F(PluginExports, InitAndExitSucceedInAnyOrder)
{
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(module->exit(), 1);
        EXPECT_EQ(module->exit(), 1);
        EXPECT_EQ(module->init(), 1);
        EXPECT_EQ(module->init(), 1);
    }
}

TEST_F(PluginExports, InfoFillsIdentityAndTouchesNothingElse)
{
    kx::server::SdkObject sdk;
    auto bytes = infoRecord(0xC004, sdk.sdkInterface());
    const auto before = bytes;
    ASSERT_EQ(callInfo(bytes), 1);

    EXPECT_EQ(kx::readAt<quint16>(bytes.data(), 0), 0xC004);
    EXPECT_EQ(kx::readAt<quint16>(bytes.data(), 2), 1);
    EXPECT_EQ(stringField(bytes, 18), QStringLiteral("kxMessage"));
    EXPECT_EQ(stringField(bytes, 124), QStringLiteral("KX, Talvenhorst"));
    EXPECT_EQ(stringField(bytes, 330), QStringLiteral("1.0"));
    EXPECT_EQ(stringField(bytes, 386), QStringLiteral(" 8.4.03"));
    EXPECT_EQ(stringField(bytes, 442), QString::fromLatin1(qVersion()).left(25));
    EXPECT_EQ(bytes[498], 0);
    EXPECT_EQ(kx::readAt<quint32>(bytes.data(), 512), 0u);

    // Each string gets its count, its units and one zero unit; the rest of the
    // field, and every byte outside the fields, keeps the server's pattern.
    struct Field { std::size_t offset; int length; };
    const Field fields[] = {{18, 9}, {124, 15}, {330, 3}, {386, 7},
                            {442, int(std::min<std::size_t>(std::strlen(qVersion()), 25))}};
    std::vector<bool> written(bytes.size(), false);
    for (std::size_t i : {0, 1, 2, 3, 498, 512, 513, 514, 515})
        written[i] = true;
    for (std::size_t i = 504; i < 512; ++i)
        written[i] = true; // the SDK pointer, read only
    for (const Field &f : fields) {
        written[f.offset] = written[f.offset + 1] = true;
        for (std::size_t i = f.offset + 4; i < f.offset + 4 + 2 * std::size_t(f.length + 1); ++i)
            written[i] = true;
        EXPECT_EQ(kx::readAt<char16_t>(bytes.data(), f.offset + 4 + 2 * std::size_t(f.length)), 0);
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!written[i]) {
            EXPECT_EQ(bytes[i], before[i]) << "byte " << i;
        }
    }
}

TEST_F(PluginExports, InfoVersionMismatchWritesOnlyTheVersion)
{
    kx::server::SdkObject sdk;
    for (quint16 version : {quint16(0), quint16(0xC003), quint16(0xC005), quint16(0xFFFF)}) {
        auto bytes = infoRecord(version, sdk.sdkInterface());
        auto expected = bytes;
        kx::writeAt<quint16>(expected.data(), 0, 0xC004);
        EXPECT_EQ(callInfo(bytes), 5) << version;
        EXPECT_EQ(bytes, expected) << version;
    }
}

TEST_F(PluginExports, InfoSdkMismatchKeepsIdentityButNoVerdict)
{
    struct Case { const char *what; std::size_t offset; int width; };
    const Case cases[] = {{"version at 28", 28, 2}, {"version copy at 24076", 24076, 4}};
    for (const Case &c : cases) {
        kx::server::SdkObject sdk;
        if (c.width == 2)
            kx::writeAt<quint16>(sdk.bytes(), c.offset, 3845);
        else
            kx::writeAt<quint32>(sdk.bytes(), c.offset, 3845);
        auto bytes = infoRecord(0xC004, sdk.sdkInterface());
        EXPECT_EQ(callInfo(bytes), 5) << c.what;
        EXPECT_EQ(stringField(bytes, 18), QStringLiteral("kxMessage")) << c.what;
        EXPECT_EQ(stringField(bytes, 442), QString::fromLatin1(qVersion()).left(25)) << c.what;
        EXPECT_EQ(bytes[498], kPattern) << c.what;
        EXPECT_EQ(kx::readAt<quint32>(bytes.data(), 512), 0xABABABABu) << c.what;
    }
}

TEST_F(PluginExports, InfoWithNullSdkIsAMismatch)
{
    auto bytes = infoRecord(0xC004, nullptr);
    EXPECT_EQ(callInfo(bytes), 5);
    EXPECT_EQ(stringField(bytes, 18), QStringLiteral("kxMessage"));
    EXPECT_EQ(bytes[498], kPattern);
    EXPECT_EQ(module->info(nullptr), 5);
}

class NotifyFrame : public PluginExports
{
protected:
    NotifyFrame() : log(sdk.installLog<RecordingLog>())
    {
        job.setId(1, 123456789);
        job.setRecipients(QStringLiteral("nobody"));
        sdk.setClientTable(clients.table());
    }
    int notify()
    {
        _kxNotifyParams params{sdk.sdkInterface(), job.record()};
        return module->notify(&params);
    }

    kx::server::SdkObject sdk;
    RecordingLog &log;
    kx::server::JobRecordBuilder job;
    kx::server::ClientTableBuilder clients;
};

const QString kStartLine = QStringLiteral("pNotify kxMessage started for job {KT9a}");

TEST_F(NotifyFrame, NullRecordsAreAMismatchAndLogNothing)
{
    EXPECT_EQ(module->notify(nullptr), 5);
    _kxNotifyParams noJob{sdk.sdkInterface(), nullptr};
    EXPECT_EQ(module->notify(&noJob), 5);
    _kxNotifyParams noSdk{nullptr, job.record()};
    EXPECT_EQ(module->notify(&noSdk), 5);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(NotifyFrame, EachJobMarkerIsCheckedAfterTheStartLine)
{
    // Offsets 0, 4, 8, 12 hold codes; 2, 6, 10, 14 words that must not be 0.
    for (std::size_t offset = 0; offset < 16; offset += 2) {
        kx::server::JobRecordBuilder broken;
        broken.setId(1, 123456789);
        broken.setRecipients(QStringLiteral("render01"));
        const quint16 good = kx::readAt<quint16>(broken.bytes(), offset);
        kx::writeAt<quint16>(broken.bytes(), offset, offset % 4 == 0 ? quint16(good + 1) : quint16(0));
        log.lines.clear();
        _kxNotifyParams params{sdk.sdkInterface(), broken.record()};
        EXPECT_EQ(module->notify(&params), 5) << "offset " << offset;
        ASSERT_EQ(log.lines.size(), 1u) << "offset " << offset;
        EXPECT_EQ(log.lines[0].category, 17);
        EXPECT_EQ(log.lines[0].flags, 0);
        EXPECT_EQ(log.lines[0].text, kStartLine);
    }
}

TEST_F(NotifyFrame, SdkGuardsAreCheckedAfterTheStartLine)
{
    struct Case { const char *what; std::size_t offset; int width; };
    const Case cases[] = {{"layout marker at 30", 30, 2}, {"end marker at 24188", 24188, 4}};
    for (const Case &c : cases) {
        kx::server::SdkObject broken;
        auto &brokenLog = broken.installLog<RecordingLog>();
        if (c.width == 2)
            kx::writeAt<quint16>(broken.bytes(), c.offset, 0);
        else
            kx::writeAt<quint32>(broken.bytes(), c.offset, 0x0A23D23D);
        _kxNotifyParams params{broken.sdkInterface(), job.record()};
        EXPECT_EQ(module->notify(&params), 5) << c.what;
        ASSERT_EQ(brokenLog.lines.size(), 1u) << c.what;
        EXPECT_EQ(brokenLog.lines[0].text, kStartLine) << c.what;
    }
}

TEST_F(NotifyFrame, EmptyRecipientListWarnsWithoutFlushing)
{
    job.setRecipients(QString());
    const quint64 flushes = sdk.mainLog().flushCount();
    EXPECT_EQ(notify(), 14);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0].text, kStartLine);
    EXPECT_EQ(log.lines[1].category, 2);
    EXPECT_EQ(log.lines[1].flags, 0);
    EXPECT_EQ(log.lines[1].text, QStringLiteral("pNotify kxMessage: No Client Name specified"));
    EXPECT_EQ(sdk.mainLog().flushCount(), flushes);
}

TEST_F(NotifyFrame, ExceptionFromTheLogEndsTheCallWithSix)
{
    log.throwAtLine = 0;
    EXPECT_EQ(notify(), 6);
    job.setRecipients(QString());
    EXPECT_EQ(notify(), 6);
}

TEST_F(NotifyFrame, RecipientsMatchingNoClientStillSucceed)
{
    EXPECT_EQ(notify(), 1);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].text, kStartLine);
}

} // namespace

namespace {

TEST(PluginInfoField, LongTextIsCutToTheCapacityAndTerminated)
{
    // A Qt version text of more than 25 characters keeps its first 25.
    std::vector<unsigned char> field(sizeof(_kxString<25>) + 8, kPattern);
    const char *longVersion = "6.4.2-with-a-very-long-build-suffix";
    kx::stringField<_kxString<25>>(field.data(), 0).store(longVersion);
    EXPECT_EQ(kx::readAt<quint16>(field.data(), 0), 25);
    EXPECT_EQ(kx::readAt<quint16>(field.data(), 2), 0xABAB); // the reserved field is the server's
    EXPECT_EQ(kx::stringField<_kxString<25>>(field.data(), 0).text(), QString::fromLatin1(longVersion).left(25));
    EXPECT_EQ(kx::readAt<char16_t>(field.data(), 4 + 2 * 25), 0);
    for (std::size_t i = sizeof(_kxString<25>); i < field.size(); ++i)
        EXPECT_EQ(field[i], kPattern) << i;

    // A short text leaves the units behind its terminator alone.
    kx::stringField<_kxString<25>>(field.data(), 0).store("\xE9t");
    EXPECT_EQ(kx::stringField<_kxString<25>>(field.data(), 0).text(), QString::fromLatin1("\xE9t"));
    EXPECT_EQ(kx::readAt<char16_t>(field.data(), 8), 0);
    EXPECT_EQ(kx::readAt<char16_t>(field.data(), 10), char16_t(longVersion[3])); // the old text stays
}

} // namespace
