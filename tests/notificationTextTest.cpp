// The notification text and its log line, through the loaded module.
#include "notifyTestHost.h"

#include "kxStringField.h"
#include "records/kxJobRecord.h"

#include <algorithm>
#include <ios>
#include <vector>

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

TEST_F(NotificationTextTest, SceneOf1200CharactersArrivesWhole)
{
    QString scene;
    for (int i = 0; i < 1200; ++i)
        scene += QLatin1Char(char('a' + i % 26));
    clients.addClient(QStringLiteral("render01"));
    job.setScene(scene);
    ASSERT_EQ(kx::readAt<quint16>(job.bytes(), kx::Job::kSceneOffset), 1200);
    ASSERT_EQ(notify(), 1);
    const QString expected = expectedText("finished", {}, scene, {});
    EXPECT_EQ(composedText(), expected);
    // The box holds the same text, laid out in lines of 250.
    EXPECT_EQ(clients.messageBox(0).remove(QLatin1Char('\n')), QString(expected).remove(QLatin1Char('\n')));
}

// A stored count is read whole up to the room before the next field: the
// fields below fill the record from the scene to the recipient list, each
// count corrupt, so one unit more would read the next field's count.
TEST_F(NotificationTextTest, EachCountIsReadUpToTheNextField)
{
    const struct {
        std::size_t offset;
        int room;
        char fill;
    } fields[] = {
        {kx::Job::kSceneOffset, 1507, 's'},
        {kx::Job::kImageOffset, 501, 'i'},
        {kx::Job::kImageExtensionOffset, 11330, 'e'},
        {kx::Job::kInfoTextOffset, 107, 'n'},
    };
    ASSERT_EQ(kx::Job::kSceneMaxUnits, 1507);
    ASSERT_EQ(kx::Job::kImageMaxUnits, 501);
    ASSERT_EQ(kx::Job::kImageExtensionMaxUnits, 11330);
    ASSERT_EQ(kx::Job::kInfoTextMaxUnits, 107);
    for (const auto &field : fields) {
        const std::size_t end = field.offset + 4 + 2 * std::size_t(field.room);
        ASSERT_TRUE(end == kx::Job::kImageOffset || end == kx::Job::kImageExtensionOffset
                    || end == kx::Job::kInfoTextOffset || end == kx::Job::kRecipientListOffset);
        for (int i = 0; i < field.room; ++i)
            kx::writeAt<quint16>(job.bytes(), field.offset + 4 + 2 * std::size_t(i), quint16(field.fill));
    }
    const QString recipients = QStringLiteral("render01;") + QString(41, QLatin1Char('r'));
    job.setRecipients(recipients);
    kx::writeAt<quint16>(job.bytes(), kx::Job::kRecipientListOffset + 4 + 2 * 50, u'X');
    for (const quint16 count : {quint16(0xFFFF), quint16(30000)}) {
        SCOPED_TRACE(count);
        for (const auto &field : fields)
            kx::writeAt<quint16>(job.bytes(), field.offset, count);
        kx::writeAt<quint16>(job.bytes(), kx::Job::kRecipientListOffset, count);
        log->lines.clear();
        ASSERT_EQ(notify(), 1);
        EXPECT_EQ(composedText(), expectedText("finished", QString(107, QLatin1Char('n')),
                                               QString(1507, QLatin1Char('s')),
                                               QString(501, QLatin1Char('i')) + QString(11330, QLatin1Char('e'))));
        EXPECT_EQ(textLine().section(QLatin1Char('\n'), 0, 0),
                  QStringLiteral("{KT9a} kxNotifyKXMessage send to '") + recipients);
    }
}

// Counts one below, at and one above each field's room: the last unit of the
// room is read, the next field's count never is (the counts there, 0 and the
// recipient list's 8, would show as characters).
TEST_F(NotificationTextTest, CountsAroundTheRoomOfEachField)
{
    enum Place { Scene, Image, Extension, Info };
    const struct {
        std::size_t offset;
        int room;
        Place place;
    } fields[] = {
        {kx::Job::kSceneOffset, 1507, Scene},
        {kx::Job::kImageOffset, 501, Image},
        {kx::Job::kImageExtensionOffset, 11330, Extension},
        {kx::Job::kInfoTextOffset, 107, Info},
    };
    for (const auto &field : fields) {
        for (int i = 0; i < field.room; ++i)
            kx::writeAt<quint16>(job.bytes(), field.offset + 4 + 2 * std::size_t(i), u'a' + quint16(i % 26));
    }
    for (const auto &field : fields) {
        for (const int delta : {-1, 0, 1}) {
            SCOPED_TRACE(testing::Message() << field.offset << " count room" << std::showpos << delta);
            for (const auto &other : fields)
                kx::writeAt<quint16>(job.bytes(), other.offset, 0);
            kx::writeAt<quint16>(job.bytes(), field.offset, quint16(field.room + delta));
            QString read;
            for (int i = 0; i < std::min(field.room + delta, field.room); ++i)
                read += QLatin1Char(char('a' + i % 26));
            log->lines.clear();
            ASSERT_EQ(notify(), 1);
            EXPECT_EQ(composedText(),
                      expectedText("finished", field.place == Info ? read : QString(),
                                   field.place == Scene ? read : QString(),
                                   field.place == Image || field.place == Extension ? read : QString()));
        }
    }
}

// Texts are read as QString::fromUtf16 reads them: a leading byte-order mark
// is dropped, a swapped one swaps the units behind it, and a mark further in
// is a character like any other (outside Latin-1: "?").
TEST_F(NotificationTextTest, TextsAreReadAsUtf16WithItsByteOrderMark)
{
    const struct {
        const char *what;
        std::vector<char16_t> units;
        QString scene;
    } cases[] = {
        {"leading mark dropped", {0xFEFF, u'/', u'p', u'/', u's'}, QStringLiteral("/p/s")},
        {"swapped mark swaps the rest", {0xFFFE, 0x2F00, 0x7000}, QStringLiteral("/p")},
        {"mark further in kept", {u'/', 0xFEFF, u'p'}, QStringLiteral("/?p")},
        {"only a mark", {0xFEFF}, QString()},
        {"plain text", {u'/', u'p'}, QStringLiteral("/p")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        kx::writeAt<quint16>(job.bytes(), kx::Job::kSceneOffset, quint16(c.units.size()));
        for (std::size_t i = 0; i < c.units.size(); ++i)
            kx::writeAt<char16_t>(job.bytes(), kx::Job::kSceneOffset + 4 + 2 * i, c.units[i]);
        log->lines.clear();
        ASSERT_EQ(notify(), 1);
        EXPECT_EQ(composedText(), expectedText("finished", {}, c.scene, {}));
    }
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
