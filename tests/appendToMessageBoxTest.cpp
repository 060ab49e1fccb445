// Line layout, separator and trim of a client's message box.
#include "appendToMessageBox.h"

#include <gtest/gtest.h>

namespace {

using kx::MessageBox;

QString text(const MessageBox &s)
{
    return s.toQString();
}

MessageBox boxOf(const QString &content)
{
    MessageBox box;
    box.assign(content);
    return box;
}

QString run(int length, QChar c = QLatin1Char('x'))
{
    return QString(length, c);
}

TEST(AppendToMessageBoxTest, EmptyBoxTakesTheTextWithoutSeparator)
{
    MessageBox box;
    // Leftovers behind the terminator of an emptied box do not survive.
    box.assign(QStringLiteral("old"));
    box.setLength(0);
    MessageBox message = boxOf(QStringLiteral("line one\nline two"));
    kx::appendToMessageBox(box, message);
    EXPECT_EQ(text(box), QStringLiteral("line one\nline two"));
    EXPECT_EQ(box.at(box.length()), 0);
    for (int i = box.length(); i <= MessageBox::capacity(); ++i)
        ASSERT_EQ(box.at(i), 0) << i;
}

TEST(AppendToMessageBoxTest, SeparatorPrecedesEvenAnEmptyText)
{
    MessageBox box = boxOf(QStringLiteral("earlier"));
    MessageBox empty;
    kx::appendToMessageBox(box, empty);
    EXPECT_EQ(text(box), QStringLiteral("earlier\n\n"));

    MessageBox message = boxOf(QStringLiteral("next"));
    kx::appendToMessageBox(box, message);
    EXPECT_EQ(text(box), QStringLiteral("earlier\n\n\n\nnext"));
}

TEST(AppendToMessageBoxTest, LinesAreCutAt250Characters)
{
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {run(250), run(250)},
        {run(251), run(250) + QLatin1Char('\n') + run(1)},
        {run(600), run(250) + QLatin1Char('\n') + run(250) + QLatin1Char('\n') + run(100)},
        // Existing line feeds start a new count; a carriage return does not.
        {run(10) + QLatin1Char('\n') + run(250) + QLatin1Char('\n') + run(251, QLatin1Char('y')),
         run(10) + QLatin1Char('\n') + run(250) + QLatin1Char('\n') + run(250, QLatin1Char('y'))
             + QLatin1Char('\n') + QLatin1Char('y')},
        {run(200) + QLatin1Char('\r') + run(100),
         run(200) + QLatin1Char('\r') + run(49) + QLatin1Char('\n') + run(51)},
        {QStringLiteral("\n\n"), QStringLiteral("\n\n")},
    };
    for (const auto &c : cases) {
        MessageBox box;
        MessageBox message = boxOf(c.in);
        kx::appendToMessageBox(box, message);
        EXPECT_EQ(text(box), c.out) << c.in.size();
        // The caller's copy keeps the inserted line feeds.
        EXPECT_EQ(text(message), c.out);
    }
}

TEST(AppendToMessageBoxTest, FullTextLosesItsTailToInsertedLineFeeds)
{
    MessageBox box;
    MessageBox message = boxOf(run(2500));
    kx::appendToMessageBox(box, message);
    // Nine line feeds fit in behind 250-character pieces; as many characters fall off the end.
    QString expected;
    for (int piece = 0; piece < 9; ++piece)
        expected += run(250) + QLatin1Char('\n');
    expected += run(2500 - 9 * 251);
    EXPECT_EQ(text(box), expected);
    EXPECT_EQ(box.length(), 2500);
}

TEST(AppendToMessageBoxTest, TrimFigures)
{
    const struct {
        int boxLength;
        int textLength;
        int removed;     // oldest box characters dropped
        int keptOfText;  // text characters that fit
        int finalLength;
    } cases[] = {
        {2398, 100, 0, 100, 2500},
        {2399, 100, 2, 100, 2499},
        {2400, 100, 3, 100, 2499},
        {1, 2500, 1, 2498, 2500},
        {2500, 2500, 2500, 2498, 2500},
        {2500, 0, 3, 0, 2499},
    };
    for (const auto &c : cases) {
        QString old;
        for (int i = 0; i < c.boxLength; ++i)
            old += QChar(u'a' + i % 26);
        // The text's lines are short so that the layout leaves it alone.
        QString added;
        for (int i = 0; i < c.textLength; ++i)
            added += i % 100 == 99 ? QChar(u'\n') : QChar(u'0' + i % 10);
        MessageBox box = boxOf(old);
        MessageBox message = boxOf(added);
        kx::appendToMessageBox(box, message);
        EXPECT_EQ(box.length(), c.finalLength) << c.boxLength << "+" << c.textLength;
        EXPECT_EQ(text(box), old.mid(c.removed) + QStringLiteral("\n\n") + added.left(c.keptOfText))
            << c.boxLength << "+" << c.textLength;
        EXPECT_EQ(box.at(box.length()), 0);
    }
}

TEST(AppendToMessageBoxTest, OversizedStoredLengthIsReadAsCapacity)
{
    // A box whose stored length claims 4000 characters holds 2500 as far as the append goes.
    MessageBox box = boxOf(run(2500, QLatin1Char('b')));
    auto *bytes = reinterpret_cast<unsigned char *>(&box);
    bytes[0] = 0xA0;
    bytes[1] = 0x0F;
    MessageBox message = boxOf(run(100, QLatin1Char('m')));
    kx::appendToMessageBox(box, message);
    EXPECT_EQ(box.storedLength(), 2499);
    EXPECT_EQ(text(box), run(2397, QLatin1Char('b')) + QStringLiteral("\n\n") + run(100, QLatin1Char('m')));
}

// The lengths, not zero units, end box and text: a zero inside either is an
// ordinary character.
TEST(AppendToMessageBoxTest, ZeroUnitsInsideAreKept)
{
    MessageBox box = boxOf(QString::fromUtf16(u"a\0b", 3));
    MessageBox message = boxOf(QString::fromUtf16(u"c\0d", 3));
    kx::appendToMessageBox(box, message);
    EXPECT_EQ(box.length(), 8);
    EXPECT_EQ(text(box), QString::fromUtf16(u"a\0b\n\nc\0d", 8));
    EXPECT_EQ(box.at(8), 0);
}

} // namespace
