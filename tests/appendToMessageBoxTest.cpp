// Line layout, separator and trim of a client's message box.
#include "appendToMessageBox.h"
#include "kxStringField.h"

#include <gtest/gtest.h>

namespace {

using kx::MessageBox;

QString run(int length, char c = 'x') { return QString(length, QLatin1Char(c)); }

MessageBox boxHolding(const QString &text)
{
    MessageBox box;
    kx::stringOf(box).assign(text);
    return box;
}

QString textOf(const MessageBox &box) { return kx::stringOf(box).text(); }

// An empty box takes the text without separator (leftovers behind an emptied
// box's terminator do not survive); lines are cut at 250, a line feed starts
// a new count, a carriage return does not; the caller's copy keeps the cuts.
void expectLaidOut(const QString &in, const QString &out)
{
    MessageBox box = boxHolding(QStringLiteral("old"));
    kx::stringOf(box).setLength(0);
    MessageBox message = boxHolding(in);
    kx::appendToMessageBox(box, message);
    EXPECT_EQ(textOf(box), out) << in.size();
    EXPECT_EQ(textOf(message), out);
    for (int i = kx::stringOf(box).length(); i <= kx::kMessageBoxCapacity; ++i)
        ASSERT_EQ(kx::stringOf(box).unit(i), 0) << i;
}

TEST(AppendToMessageBoxTest, LinesAreCutAt250Characters)
{
    const QString nl = QStringLiteral("\n");
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {run(250), run(250)},
        {run(251), run(250) + nl + run(1)},
        {run(600), run(250) + nl + run(250) + nl + run(100)},
        {run(10) + nl + run(250) + nl + run(251, 'y'),
         run(10) + nl + run(250) + nl + run(250, 'y') + nl + run(1, 'y')},
        {run(200) + QLatin1Char('\r') + run(100), run(200) + QLatin1Char('\r') + run(49) + nl + run(51)},
        {QStringLiteral("\n\n"), QStringLiteral("\n\n")},
        {nl + run(251), nl + run(250) + nl + run(1)}, // a line feed first ends an empty line
        {QString::fromUtf16(u"c\0d", 3), QString::fromUtf16(u"c\0d", 3)},
    };
    for (const auto &c : cases)
        expectLaidOut(c.in, c.out);
}

// A full text loses its tail to the nine line feeds that fit in, as the
// stand-in's insert drops what is pushed past the capacity.
TEST(AppendToMessageBoxTest, FullTextLosesItsTailWithTheStandInRuntime)
{
    expectLaidOut(run(2500), (run(250) + QStringLiteral("\n")).repeated(9) + run(2500 - 9 * 251));
}

// The box keeps its newest characters: an empty line, then as much of the
// text as fits; a trimmed box ends one short of its capacity. Lengths, not
// zero units, end box and text. A stored length above 2 500 is read as 2 500.
TEST(AppendToMessageBoxTest, TrimFigures)
{
    const struct {
        int boxLength;
        int textLength;
        int removed;    // oldest box characters dropped
        int keptOfText; // text characters that fit
        int finalLength;
        quint16 storedLength;
    } cases[] = {
        {3, 0, 0, 0, 5, 3},           {3, 3, 0, 3, 8, 3},
        {2398, 100, 0, 100, 2500, 2398}, {2399, 100, 2, 100, 2499, 2399},
        {2400, 100, 3, 100, 2499, 2400}, {1, 2500, 1, 2498, 2500, 1},
        {2500, 2500, 2500, 2498, 2500, 2500}, {2500, 0, 3, 0, 2499, 2500},
        {2500, 100, 103, 100, 2499, 4000}, {2500, 100, 103, 100, 2499, 0xFFFF},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.boxLength << "+" << c.textLength << " stored " << c.storedLength);
        QString old;
        for (int i = 0; i < c.boxLength; ++i)
            old += i == 1 ? QChar(0) : QChar(u'a' + i % 26);
        QString added; // short lines, so that the layout leaves the text alone
        for (int i = 0; i < c.textLength; ++i)
            added += i % 100 == 99 ? QChar(u'\n') : i == 1 ? QChar(0) : QChar(u'0' + i % 10);
        MessageBox box = boxHolding(old);
        kx::writeAt<quint16>(&box, 0, c.storedLength);
        MessageBox message = boxHolding(added);
        kx::appendToMessageBox(box, message);
        EXPECT_EQ(kx::stringOf(box).storedLength(), c.finalLength);
        EXPECT_EQ(textOf(box), old.mid(c.removed) + QStringLiteral("\n\n") + added.left(c.keptOfText));
        EXPECT_EQ(kx::stringOf(box).unit(kx::stringOf(box).length()), 0);
    }
}

} // namespace
