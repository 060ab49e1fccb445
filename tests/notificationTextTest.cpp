// The notification text and its log line, through the loaded module.
#include "notifyTestHost.h"

#include "kxRecordAccess.h"
#include "records/kxJobRecord.h"

namespace {

class NotificationTextTest : public NotifyTestHost
{
protected:
    void SetUp() override
    {
        NotifyTestHost::SetUp();
        job.setRecipients(QStringLiteral("render01"));
    }

    QString expectedText(const char *point, const QString &info, const QString &scene,
                         const QString &image) const
    {
        return QString::fromLatin1(kTimeText) + QStringLiteral("\nJob {KT9a} [") + info + QStringLiteral("] ")
               + QLatin1String(point) + QStringLiteral(". \nScene:") + scene + QStringLiteral(" \nImage:") + image;
    }
};

TEST_F(NotificationTextTest, EmptyFieldsStillGiveFourLines)
{
    ASSERT_EQ(notify(), 1);
    ASSERT_EQ(log->lines.size(), 3u);
    EXPECT_EQ(log->lines[1].category, 17);
    EXPECT_EQ(log->lines[1].flags, 0);
    EXPECT_EQ(composedText(), QStringLiteral("2024-03-05 14:07\nJob {KT9a} [] finished. \nScene: \nImage:"));
}

TEST_F(NotificationTextTest, ProgressCodeSelectsTheNotificationPoint)
{
    const struct {
        quint8 code;
        const char *point;
    } cases[] = {{0, "preview frames done"}, {120, "preview frames done"}, {121, "frames done"},
                 {179, "frames done"},       {180, "finished"},            {255, "finished"}};
    for (const auto &c : cases) {
        log->lines.clear();
        job.setProgressCode(c.code);
        ASSERT_EQ(notify(), 1);
        EXPECT_EQ(composedText(), expectedText(c.point, {}, {}, {})) << int(c.code);
    }
}

TEST_F(NotificationTextTest, FieldsFillTheirPlaces)
{
    job.setInfoText(QStringLiteral("lighting pass"));
    job.setScene(QStringLiteral("/shots/sq010/sh020.scn"));
    job.setImage(QStringLiteral("/renders/sh020/beauty.####"));
    job.setImageExtension(QStringLiteral(".exr"));
    ASSERT_EQ(notify(), 1);
    EXPECT_EQ(composedText(), expectedText("finished", QStringLiteral("lighting pass"),
                                           QStringLiteral("/shots/sq010/sh020.scn"),
                                           QStringLiteral("/renders/sh020/beauty.####.exr")));
}

TEST_F(NotificationTextTest, LogLineCarriesTheListAsStoredAndTheText)
{
    job.setRecipients(QStringLiteral("render01;render02"));
    ASSERT_EQ(notify(), 1);
    EXPECT_EQ(textLine(), QStringLiteral("{KT9a} kxNotifyKXMessage send to 'render01;render02\n")
                              + expectedText("finished", {}, {}, {}));
}

TEST_F(NotificationTextTest, ReducedToLatin1)
{
    // Latin-1 letters stay, everything else becomes "?", in the log and in the box.
    clients.addClient(QStringLiteral("render01"));
    job.setScene(QStringLiteral("caf\u00e9 \u0421\u0446\u0435\u043d\u0430"));
    job.setImage(QStringLiteral("\U0001F600"));
    ASSERT_EQ(notify(), 1);
    const QString expected =
        expectedText("finished", {}, QStringLiteral("caf\u00e9 ?????"), QStringLiteral("??"));
    EXPECT_EQ(composedText(), expected);
    EXPECT_EQ(clients.messageBox(0), expected);
}

TEST_F(NotificationTextTest, ZeroCharacterEndsTheText)
{
    clients.addClient(QStringLiteral("render01"));
    job.setScene(QString::fromUtf16(u"ab\0cd", 5));
    job.setImage(QStringLiteral("img"));
    ASSERT_EQ(notify(), 1);
    const QString expected = QString::fromLatin1(kTimeText) + QStringLiteral("\nJob {KT9a} [] finished. \nScene:ab");
    EXPECT_EQ(composedText(), expected);
    EXPECT_EQ(clients.messageBox(0), expected);
}

TEST_F(NotificationTextTest, PlaceholderInAFieldIsFilledByALaterSubstitution)
{
    job.setScene(QStringLiteral("x%6y"));
    job.setImage(QStringLiteral("img"));
    job.setImageExtension(QStringLiteral(".exr"));
    ASSERT_EQ(notify(), 1);
    EXPECT_EQ(composedText(), expectedText("finished", {}, QStringLiteral("x.exry"), QStringLiteral("img.exr")));
}

// Stored lengths above a field's capacity are read as the capacity.
TEST_F(NotificationTextTest, OversizedStoredLengthsReadAsCapacity)
{
    const QString scene(1000, QLatin1Char('s'));
    const QString image(500, QLatin1Char('i'));
    const QString extension(500, QLatin1Char('e'));
    const QString info(100, QLatin1Char('n'));
    job.setScene(scene);
    job.setImage(image);
    job.setImageExtension(extension);
    job.setInfoText(info);
    // Text right behind each terminator, where an over-long read would continue.
    const QString recipients = QStringLiteral("render01;") + QString(41, QLatin1Char('r'));
    job.setRecipients(recipients);
    for (std::size_t offset : {kx::Job::kSceneOffset, kx::Job::kImageOffset, kx::Job::kImageExtensionOffset,
                               kx::Job::kInfoTextOffset, kx::Job::kRecipientListOffset}) {
        kx::writeAt<quint16>(job.bytes(), offset, 0xFFFF);
    }
    kx::writeAt<quint16>(job.bytes(), kx::Job::kSceneOffset + 4 + 2 * 1000, u'X');
    kx::writeAt<quint16>(job.bytes(), kx::Job::kInfoTextOffset + 4 + 2 * 100, u'X');
    kx::writeAt<quint16>(job.bytes(), kx::Job::kRecipientListOffset + 4 + 2 * 50, u'X');

    ASSERT_EQ(notify(), 1);
    EXPECT_EQ(composedText(), expectedText("finished", info, scene, image + extension));
    EXPECT_EQ(textLine().section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("{KT9a} kxNotifyKXMessage send to '") + recipients);
}

TEST_F(NotificationTextTest, ExceptionFromTheLogEndsTheCallWithoutDelivery)
{
    clients.addClient(QStringLiteral("render01"));
    log->throwAtLine = 1; // the line that carries the text
    EXPECT_EQ(notify(), 6);
    EXPECT_EQ(log->lines.size(), 1u);
    EXPECT_TRUE(clients.messageBox(0).isEmpty());
    EXPECT_EQ(sdk.mainLog().flushCount(), 0u);
}

} // namespace
