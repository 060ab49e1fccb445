// The four exports' frames: results, the information record's bytes, the checks
// made before any work.
#include "notifyTestHost.h"

#include "kxStringField.h"
#include "pluginInfo.h"

#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kPattern = 0xAB;

class PluginExports : public NotifyTestHost
{
protected:
    // An information record full of a pattern, so every byte left alone shows.
    std::vector<unsigned char> infoRecord(quint16 version, __KXSDK *sdkInterface)
    {
        std::vector<unsigned char> bytes(sizeof(_kxPluginInfo), kPattern);
        kx::writeAt<quint16>(bytes.data(), 0, version);
        kx::writeAt(bytes.data(), 504, sdkInterface);
        return bytes;
    }
    int info(std::vector<unsigned char> &bytes) { return module.info(reinterpret_cast<_kxPluginInfo *>(bytes.data())); }
    const QString kStartLine = QStringLiteral("pNotify kxMessage started for job {KT9a}");
};

TEST_F(PluginExports, InitAndExitSucceedInAnyOrder)
{
    for (int round = 0; round < 3; ++round)
        for (int (kx::server::PluginModule::*call)() const : {&kx::server::PluginModule::exit, &kx::server::PluginModule::exit, &kx::server::PluginModule::init,
                                                &kx::server::PluginModule::init})
            EXPECT_EQ((module.*call)(), 1);
}

// Each string gets its count, its units and one zero unit; every other byte
// keeps the server's pattern. A mismatch of the record's version writes only
// the version; one of the SDK's (or no SDK) keeps the identity but gives no verdict.
TEST_F(PluginExports, InfoBytes)
{
    const std::size_t qtLength = std::min<std::size_t>(std::strlen(qVersion()), 25);
    const struct {
        std::size_t offset;
        QString text;
    } fields[] = {{18, QStringLiteral("kxMessage")}, {124, QStringLiteral("KX, Talvenhorst")},
                  {330, QStringLiteral("1.0")}, {386, QStringLiteral(" 8.4.03")},
                  {442, QString::fromLatin1(qVersion()).left(25)}};
    enum Sdk { Good, SdkVersion, SdkVersionCopy, NoSdk, RecordVersion };
    for (const Sdk which : {Good, SdkVersion, SdkVersionCopy, NoSdk, RecordVersion}) {
        SCOPED_TRACE(int(which));
        for (const quint16 version : {quint16(0), quint16(0xC003), quint16(0xC005), quint16(0xFFFF), quint16(0xC004)}) {
            if ((which == RecordVersion) == (version == 0xC004))
                continue;
            kx::server::SdkObject server;
            if (which == SdkVersion)
                kx::writeAt<quint16>(server.bytes(), 28, 3845);
            if (which == SdkVersionCopy)
                kx::writeAt<quint32>(server.bytes(), 24076, 3845);
            auto bytes = infoRecord(version, which == NoSdk ? nullptr : server.sdkInterface());
            auto expected = bytes;
            EXPECT_EQ(info(bytes), which == Good ? 1 : 5);
            kx::writeAt<quint16>(expected.data(), 0, 0xC004);
            if (which != RecordVersion) {
                kx::writeAt<quint16>(expected.data(), 2, 1);
                for (const auto &f : fields) {
                    kx::writeAt<quint16>(expected.data(), f.offset, quint16(f.text.size()));
                    for (int i = 0; i <= f.text.size(); ++i)
                        kx::writeAt<char16_t>(expected.data(), f.offset + 4 + 2 * std::size_t(i),
                                              i < f.text.size() ? f.text[i].unicode() : 0);
                }
                ASSERT_EQ(fields[4].text.size(), int(qtLength));
            }
            if (which == Good) {
                expected[498] = 0;
                kx::writeAt<quint32>(expected.data(), 512, 0);
            }
            EXPECT_EQ(bytes, expected);
        }
    }
    EXPECT_EQ(module.info(nullptr), 5);
}

TEST_F(PluginExports, QtVersionLongerThanItsFieldIsCut)
{
    std::vector<unsigned char> field(sizeof(_kxString<25>) + 8, kPattern);
    const char *longVersion = "6.4.2-with-a-very-long-build-suffix";
    kx::stringField<_kxString<25>>(field.data(), 0).store(longVersion);
    EXPECT_EQ(kx::readAt<quint16>(field.data(), 0), 25);
    EXPECT_EQ(kx::readAt<quint16>(field.data(), 2), 0xABAB);
    EXPECT_EQ(kx::stringField<_kxString<25>>(field.data(), 0).text(), QString::fromLatin1(longVersion).left(25));
    EXPECT_EQ(kx::readAt<char16_t>(field.data(), 4 + 2 * 25), 0);
    for (std::size_t i = sizeof(_kxString<25>); i < field.size(); ++i)
        EXPECT_EQ(field[i], kPattern) << i;
    kx::stringField<_kxString<25>>(field.data(), 0).store("\xE9t"); // the units behind the terminator stay
    EXPECT_EQ(kx::stringField<_kxString<25>>(field.data(), 0).text(), QString::fromLatin1("\xE9t"));
    EXPECT_EQ(kx::readAt<char16_t>(field.data(), 10), char16_t(longVersion[3]));
}

// Null records: 5, nothing logged. A broken marker of the job (codes at 0, 4,
// 8, 12; words at 2, 6, 10, 14 that must not be 0) or of the SDK object: 5
// after the start line. An empty list: 14 with a warning, no flush. A list
// that matches nobody: 1.
TEST_F(PluginExports, NotifyResults)
{
    EXPECT_EQ(module.notify(nullptr), 5);
    _kxNotifyParams noJob{sdk.sdkInterface(), nullptr};
    EXPECT_EQ(module.notify(&noJob), 5);
    _kxNotifyParams noSdk{nullptr, job.record()};
    EXPECT_EQ(module.notify(&noSdk), 5);
    EXPECT_TRUE(log->lines.empty());

    job.setRecipients(QStringLiteral("render01"));
    for (std::size_t offset = 0; offset < 16 + 2; offset += 2) {
        SCOPED_TRACE(offset);
        kx::server::SdkObject server;
        RecordingLog &lines = server.installLog<RecordingLog>();
        kx::server::JobRecordBuilder broken;
        broken.setId(1, 123456789);
        broken.setRecipients(QStringLiteral("render01"));
        if (offset < 16) {
            const quint16 good = kx::readAt<quint16>(broken.bytes(), offset);
            kx::writeAt<quint16>(broken.bytes(), offset, offset % 4 == 0 ? quint16(good + 1) : quint16(0));
        }
        kx::writeAt<quint16>(server.bytes(), 30, offset == 16 ? 0 : kx::readAt<quint16>(server.bytes(), 30));
        _kxNotifyParams call{server.sdkInterface(), broken.record()};
        EXPECT_EQ(module.notify(&call), 5);
        kx::server::SdkObject endBroken;
        RecordingLog &endLines = endBroken.installLog<RecordingLog>();
        kx::writeAt<quint32>(endBroken.bytes(), 24188, 0x0A23D23D);
        _kxNotifyParams endCall{endBroken.sdkInterface(), job.record()};
        EXPECT_EQ(module.notify(&endCall), 5);
        for (const RecordingLog *l : {&lines, &endLines}) {
            ASSERT_EQ(l->lines.size(), 1u);
            EXPECT_EQ(l->lines[0].category, 17);
            EXPECT_EQ(l->lines[0].flags, 0);
            EXPECT_EQ(l->lines[0].text, kStartLine);
        }
    }

    job.setRecipients(QStringLiteral("nobody"));
    EXPECT_EQ(notify(), 1);
    log->lines.clear();
    job.setRecipients(QString());
    EXPECT_EQ(notify(), 14);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_EQ(log->lines[0].text, kStartLine);
    EXPECT_EQ(log->lines[1].category, 2);
    EXPECT_EQ(log->lines[1].flags, 0);
    EXPECT_EQ(log->lines[1].text, QStringLiteral("pNotify kxMessage: No Client Name specified"));
    EXPECT_EQ(sdk.mainLog().flushCount(), 1u); // the one call that delivered
}

} // namespace
