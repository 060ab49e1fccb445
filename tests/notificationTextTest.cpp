// The notification text and its log line, through the loaded module.
#include "notifyTestHost.h"

#include "kxStringField.h"
#include "records/kxJobRecord.h"

#include <algorithm>
#include <vector>

namespace {

QString letters(int count)
{
    QString units;
    for (int i = 0; i < count; ++i)
        units += QLatin1Char(char('a' + i % 26));
    return units;
}

class NotificationTextTest : public NotifyTestHost
{
protected:
    void SetUp() override
    {
        NotifyTestHost::SetUp();
        clients.addClient(QStringLiteral("render01"));
        job.setRecipients(QStringLiteral("render01"));
    }
    static QString expected(const QString &info, const QString &scene, const QString &image,
                            const char *point = "finished")
    {
        return QStringLiteral("2024-03-05 14:07\nJob {KT9a} [%1] %2. \nScene:%3 \nImage:%4")
            .arg(info, QLatin1String(point), scene, image);
    }
    // The text of one call, checked to be in the box as well (its lines cut at 250).
    QString text()
    {
        log->lines.clear();
        clients.setMessageBox(0, QString());
        EXPECT_EQ(notify(), 1);
        EXPECT_EQ(log->lines.size(), 3u);
        EXPECT_EQ(log->lines[1].category, 17);
        EXPECT_EQ(log->lines[1].flags, 0);
        if (composedText().size() < 2400) {
            EXPECT_EQ(clients.messageBox(0).remove(QLatin1Char('\n')), composedText().remove(QLatin1Char('\n')));
        }
        return composedText();
    }
};

TEST_F(NotificationTextTest, FieldsAndProgressFillTheirPlaces)
{
    EXPECT_EQ(text(), QStringLiteral("2024-03-05 14:07\nJob {KT9a} [] finished. \nScene: \nImage:"));
    EXPECT_TRUE(textLine().startsWith(QStringLiteral("{KT9a} kxNotifyKXMessage send to 'render01\n2024")));
    const struct {
        quint8 code;
        const char *point;
    } points[] = {{0, "preview frames done"}, {120, "preview frames done"}, {121, "frames done"},
                  {179, "frames done"}, {180, "finished"}, {255, "finished"}};
    for (const auto &c : points) {
        job.setProgressCode(c.code);
        EXPECT_EQ(text(), expected({}, {}, {}, c.point)) << int(c.code);
    }
    job.setProgressCode(200);
    job.setInfoText(QStringLiteral("lighting pass"));
    job.setScene(QStringLiteral("/shots/sq010/sh020.scn"));
    job.setImage(QStringLiteral("/renders/sh020/beauty.####"));
    job.setImageExtension(QStringLiteral(".exr"));
    EXPECT_EQ(text(), expected(QStringLiteral("lighting pass"), QStringLiteral("/shots/sq010/sh020.scn"),
                               QStringLiteral("/renders/sh020/beauty.####.exr")));
}

// Texts are read as QString::fromUtf16 reads them, then reduced to Latin-1
// ("?" for anything else); a zero character ends the text; a "%6" a field
// brings in is filled by a later substitution.
TEST_F(NotificationTextTest, SceneTexts)
{
    const struct {
        std::vector<char16_t> units;
        QString scene;
    } cases[] = {
        {{0xFEFF, u'/', u'p', u'/', u's'}, QStringLiteral("/p/s")}, // leading mark dropped
        {{0xFFFE, 0x2F00, 0x7000}, QStringLiteral("/p")},           // swapped: swaps the rest
        {{u'/', 0xFEFF, u'p'}, QStringLiteral("/?p")},              // further in: a character
        {{0xFEFF}, QString()},
        {{u'c', u'a', u'f', 0xE9, u' ', 0x0421, 0xD83D, 0xDE00}, QStringLiteral("caf\u00e9 ???")},
        {{u'x', u'%', u'6', u'y'}, QStringLiteral("x.exry")},
    };
    job.setImage(QStringLiteral("img"));
    job.setImageExtension(QStringLiteral(".exr"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scene.toStdString());
        kx::writeAt<quint16>(job.bytes(), kx::Job::kSceneOffset, quint16(c.units.size()));
        for (std::size_t i = 0; i < c.units.size(); ++i)
            kx::writeAt<char16_t>(job.bytes(), kx::Job::kSceneOffset + 4 + 2 * i, c.units[i]);
        EXPECT_EQ(text(), expected({}, c.scene, QStringLiteral("img.exr")));
    }
    job.setScene(QString::fromUtf16(u"ab\0cd", 5));
    EXPECT_EQ(text(), QStringLiteral("2024-03-05 14:07\nJob {KT9a} [] finished. \nScene:ab"));
    job.setScene(letters(1200)); // a count a server can store arrives whole
    EXPECT_EQ(text(), expected({}, letters(1200), QStringLiteral("img.exr")));
}

// A stored count is read whole up to the room before the next field, the
// last unit of the room included; the next field's count never is (counts
// of 0 and the recipient list's 8 would show as characters). The recipient
// list is read up to its capacity of 50.
TEST_F(NotificationTextTest, CountsAroundTheRoomOfEachField)
{
    const struct {
        std::size_t offset;
        int room;
    } fields[] = {{kx::Job::kSceneOffset, 1507}, {kx::Job::kImageOffset, 501},
                  {kx::Job::kImageExtensionOffset, 11330}, {kx::Job::kInfoTextOffset, 107}};
    for (const auto &field : fields)
        for (int i = 0; i < field.room; ++i)
            kx::writeAt<quint16>(job.bytes(), field.offset + 4 + 2 * std::size_t(i), u'a' + quint16(i % 26));
    const QString list = QStringLiteral("render01;") + QString(41, QLatin1Char('r'));
    job.setRecipients(list);
    kx::writeAt<quint16>(job.bytes(), kx::Job::kRecipientListOffset + 4 + 2 * 50, u'X');
    for (std::size_t f = 0; f < 4; ++f) {
        for (const int count : {fields[f].room - 1, fields[f].room, fields[f].room + 1, 30000, 0xFFFF}) {
            SCOPED_TRACE(testing::Message() << fields[f].offset << " count " << count);
            for (const auto &other : fields)
                kx::writeAt<quint16>(job.bytes(), other.offset, 0);
            kx::writeAt<quint16>(job.bytes(), fields[f].offset, quint16(count));
            kx::writeAt<quint16>(job.bytes(), kx::Job::kRecipientListOffset, quint16(count));
            const QString units = letters(std::min(count, fields[f].room));
            EXPECT_EQ(text(), expected(f == 3 ? units : QString(), f == 0 ? units : QString(),
                                       f == 1 || f == 2 ? units : QString()));
            EXPECT_EQ(textLine().section(QLatin1Char('\n'), 0, 0),
                      QStringLiteral("{KT9a} kxNotifyKXMessage send to '") + list);
        }
    }
}

} // namespace
