// Resolution of the recipient list against the client table, delivery to the
// message boxes, and the call's lines and results, through the loaded module.
#include "notifyTestHost.h"

#include "kxStringField.h"
#include "notifyJob.h"
#include "records/kxClientRecord.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

using DeliverToRecipientsTest = NotifyTestHost;

QString summary(const QString &list, int count, bool sent)
{
    const QString what = sent ? QStringLiteral("send to '%1'.") : QStringLiteral("NOT SEND. '%1' not found.");
    const QString line = QStringLiteral("{KT9a} kxNotifyKXMessage %1 (  n:%2|||\n)");
    return line.arg(what.arg(list), QString::number(count));
}

struct ReachCase
{
    const char16_t *list;
    std::vector<const char *> names;
    const char *marks;
    const char16_t *shown = nullptr;
};

// Lists are read as UTF-16: a character outside Latin-1 compares as "?" (a
// surrogate pair as two); a leading byte-order mark is not part of the first
// name, nor of the list in the lines (`shown`). Names of the same letter case.
const ReachCase kReachCases[] = {
    {u"render01;render02", {"render00", "render01", "render02"}, "-++"},
    {u"render01;render01", {"render01"}, "+"},                      // named twice, reached once
    {u"render01", {"render01", "render02", "render01"}, "+-+"},     // every client bearing the name
    {u"render01; render02", {"render01", "render02"}, "+-"},        // the blank is part of the name
    {u"nobody;;", {"render01", ""}, "-+"},                          // empty parts are names too
    {u"nobody;", {""}, "+"},
    {u"render0102", {"render0103", "render01"}, "--"},
    {u"nobody", {"render01", "render02"}, "--"},
    {u"render01", {}, ""},
    {u"\xe9t\xe9", {"\xe9t\xe9", "?t?"}, "+-"},
    {u"\u20ac;\U0001F600;caf\u00e9;\u00e9t\u00e9", {"?", "??", "caf?", "\xe9t\xe9"}, "++-+"},
    {u"\uFEFFrender01;render02", {"render01", "render02"}, "++", u"render01;render02"},
    // A full list of 49 separators and a name: the 50th part still counts.
    {u";;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;r", {"r", "s"}, "+-"},
};

// The stand-in's isEqual ignores the letter case of Latin-1, and nothing else.
const ReachCase kStandInLetterCaseCases[] = {
    {u"render01", {"RENDER01"}, "+"},
    {u"caf\xe9-render", {"CAF\xc9-RENDER", "caf\xe9-render", "caf\xc9-render"}, "+++"},
    {u"render01@host", {"RENDER01`host", "render01@hosT"}, "-+"},   // other characters must agree
    {u"\xe9t\xe9", {"\xc9T\xc9", "?t?"}, "+-"},
};

void expectReached(NotifyTestHost &host, const ReachCase &c)
{
    auto &log = *host.recording();
    const QString list = QStringView(c.list).toString();
    const QString shown = c.shown ? QStringView(c.shown).toString() : list;
    SCOPED_TRACE(list.toStdString());
    kx::server::ClientTableBuilder table;
    for (const char *name : c.names)
        table.addClient(QString::fromLatin1(name));
    EXPECT_EQ(host.reached(table, list), c.marks);
    const bool any = std::strchr(c.marks, '+') != nullptr;
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[0].text, QStringLiteral("pNotify kxMessage started for job {KT9a}"));
    EXPECT_TRUE(log.lines[1].text.startsWith(QStringLiteral("{KT9a} kxNotifyKXMessage send to '") + shown
                                             + QLatin1Char('\n')));
    EXPECT_EQ(log.lines[2].mainLogFlushes, log.lines[1].mainLogFlushes + 1); // flushed before the summary
    EXPECT_EQ(log.lines[2].category, any ? 17 : 2);
    EXPECT_EQ(log.lines[2].flags, 0);
    EXPECT_EQ(log.lines[2].text, summary(shown, int(c.names.size()), any));
}

TEST_F(DeliverToRecipientsTest, WhoIsReached)
{
    for (const ReachCase &c : kReachCases)
        expectReached(*this, c);
}

TEST_F(DeliverToRecipientsTest, LetterCaseIgnoredByTheStandInRuntime)
{
    for (const ReachCase &c : kStandInLetterCaseCases)
        expectReached(*this, c);
}

// Mended: a count that does not fit the table's clients. Negative counts
// (from 32768 on, as stored) reach nobody; entries behind the server's
// clients are null and skipped; a null entry inside is skipped too; the
// summary shows the count as stored.
TEST_F(DeliverToRecipientsTest, CorruptClientCountAndNullEntries)
{
    const struct {
        qint16 count;
        int nullEntry;
        const char *marks;
    } cases[] = {
        {-1, -1, "---"}, {-32768, -1, "---"}, {0, -1, "---"}, {1, -1, "+--"}, {2, -1, "++-"},
        {100, -1, "+++"}, {32767, -1, "+++"}, {3, 1, "+-+"}, {3, 0, "-++"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " null " << c.nullEntry);
        kx::server::ClientTableBuilder table;
        for (int i = 0; i < 3; ++i)
            table.addClient(QStringLiteral("render01"), kx::server::ClientTableBuilder::ClientRecord::Zeroed);
        table.setCount(c.count);
        if (c.nullEntry >= 0)
            table.setClientAt(c.nullEntry, nullptr);
        EXPECT_EQ(reached(table, QStringLiteral("render01")), c.marks);
        EXPECT_EQ(lastLine().text, summary(QStringLiteral("render01"), c.count, std::strchr(c.marks, '+')));
    }
}

// Mended: a client name stored longer than its field of 50 is read as 50
// characters; leftovers behind a name's terminator are not compared.
TEST_F(DeliverToRecipientsTest, ClientNameBytesBeyondTheName)
{
    const QString fifty(50, QLatin1Char('n'));
    for (const QString &name : {QStringLiteral("abc"), QStringLiteral("abcdefgh"), QStringLiteral("abcdefghi"),
                                QStringLiteral("render01"), fifty})
        clients.addClient(name);
    for (int i = 0; i < 3; ++i) { // a renamed client keeps the old name's tail
        const int length = kx::readAt<quint16>(clients.client(i), kx::Client::kNameOffset);
        for (int k = length + 1; k < 12; ++k)
            clients.client(i)[kx::Client::kNameOffset + 2 + std::size_t(k)] = 'Z';
    }
    kx::writeAt<quint16>(clients.client(3), kx::Client::kNameOffset, 0xFFFF);
    kx::writeAt<quint16>(clients.client(4), kx::Client::kNameOffset, 300);
    EXPECT_EQ(reached(clients, QStringLiteral("abc;abcdefgh;abcdefghj")), "++---");
    for (int i = 0; i < 5; ++i)
        clients.setMessageBox(i, QString());
    EXPECT_EQ(reached(clients, fifty), "----+");
}

// The box gets an empty line, then the text laid out in lines of 250; the
// oldest characters go where the box would overflow (mended: a stored length
// above 2 500 is read as 2 500, nothing behind the field is written). A text
// longer than a box is cut to 2 500 first; the line feeds then push as many
// characters off its end.
TEST_F(DeliverToRecipientsTest, BoxBytesAfterTheAppend)
{
    clients.addClient(QStringLiteral("render01"));
    clients.addClient(QStringLiteral("render02"));
    job.setScene(QString(244, QLatin1Char('s'))); // "Scene:" + 244 + " " is a line of 251
    clients.setMessageBox(0, QStringLiteral("earlier"));
    clients.setMessageBox(1, QString(2500, QLatin1Char('b')));
    unsigned char *client = clients.client(1);
    const std::size_t behind = kx::Client::kMessageBoxOffset + sizeof(kx::Client::MessageBoxField);
    std::memset(client + behind, 0x5A, 64);
    kx::writeAt<quint16>(client, kx::Client::kMessageBoxOffset, 0xFFFF);
    ASSERT_EQ(reached(clients, QStringLiteral("render01;render02")), "??");
    QString laidOut = composedText();
    laidOut.insert(laidOut.indexOf(QStringLiteral("Scene:")) + 250, QLatin1Char('\n'));
    EXPECT_EQ(clients.messageBox(0), QStringLiteral("earlier\n\n") + laidOut);
    EXPECT_EQ(clients.messageBox(1),
              QString(2497 - laidOut.size(), QLatin1Char('b')) + QStringLiteral("\n\n") + laidOut);
    EXPECT_EQ(kx::readAt<quint16>(client, kx::Client::kMessageBoxOffset), 2499);
    EXPECT_EQ(kx::readAt<char16_t>(client, kx::Client::kMessageBoxOffset + 4 + 2 * 2499), 0);
    for (std::size_t i = 0; i < 64; ++i)
        ASSERT_EQ(client[behind + i], 0x5A) << i;
}

// With the stand-in's insert, line feeds pushed past the capacity drop the text's last characters.
TEST_F(DeliverToRecipientsTest, OverlongTextCutByTheStandInRuntime)
{
    clients.addClient(QStringLiteral("render01"));
    job.setScene(QStringLiteral("%6%6%6%6%6%6%6%6%6%6")); // each "%6" receives the whole extension
    job.setImageExtension(QString(500, QLatin1Char('e')));
    ASSERT_EQ(reached(clients, QStringLiteral("render01")), "?");
    const QString text = composedText();
    ASSERT_GT(text.size(), 5000);
    QString expected = text.left(2500 - 9); // its line from "Scene:" on takes nine line feeds
    for (auto at = text.indexOf(QStringLiteral("Scene:")) + 250; at < expected.size(); at += 251)
        expected.insert(at, QLatin1Char('\n'));
    EXPECT_EQ(clients.messageBox(0), expected);
}

// A log that throws ends the call with 6, wherever it throws; what was
// delivered before stays, nothing after it happens. A main log that cannot be
// written, or an SDK object without client table or main log, ends the call
// with 6 before any box changes (an exception inside, never a fault).
TEST_F(DeliverToRecipientsTest, FailuresEndTheCallWith6)
{
    enum Setup { Throw0, Throw1, Throw2, EmptyListThrow1, FlushFails, NoTable, NoMainLog, Neither };
    const struct {
        Setup setup;
        const char *marks;
        std::size_t lines;
        quint64 flushes;
    } cases[] = {
        {Throw0, "-e", 0, 0}, {Throw1, "-e", 1, 0}, {Throw2, "+e", 2, 1}, {EmptyListThrow1, "-e", 1, 0},
        {FlushFails, "-e", 2, 0}, {NoTable, "-e", 2, 1}, {NoMainLog, "-e", 2, 0}, {Neither, "-e", 2, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.setup));
        kx::server::SdkObject server;
        RecordingLog &lines = server.installLog<RecordingLog>();
        if (c.setup == FlushFails) { // the server's own channel, writing to a file that cannot be opened
            server.installLog<__KXSDK>();
            server.setMainLog(std::make_unique<_kxLogfile>(QStringLiteral("/nonexistent-directory/main.log")));
        }
        kx::server::ClientTableBuilder table;
        table.addClient(QStringLiteral("render01"));
        table.addClient(QStringLiteral("render02"));
        table.setMessageBox(1, QStringLiteral("e"));
        server.setClientTable(c.setup == NoTable || c.setup == Neither ? nullptr : table.table());
        if (c.setup == NoMainLog || c.setup == Neither)
            lines.mainLog = nullptr;
        lines.throwAtLine = c.setup == Throw0 ? 0 : c.setup == Throw2 ? 2 : c.setup <= EmptyListThrow1 ? 1 : -1;
        job.setRecipients(c.setup == EmptyListThrow1 ? QString() : QStringLiteral("render01;render02"));
        _kxNotifyParams call = kx::NotifyParams::make(server.sdkInterface(), job.record());
        EXPECT_EQ(module.notify(&call), 6);
        if (c.setup != FlushFails) {
            EXPECT_EQ(lines.lines.size(), c.lines);
            EXPECT_EQ(kxtest::flushCount(server.mainLog()), c.flushes);
        }
        const QString text = c.marks[0] == '+' ? lines.lines[1].text.section(QLatin1Char('\n'), 1) : QString();
        EXPECT_EQ(table.messageBox(0), text);
        EXPECT_EQ(table.messageBox(1), text.isEmpty() ? QStringLiteral("e") : QStringLiteral("e\n\n") + text);
        if (c.setup >= NoTable) { // without the module's catch-all: an exception, not a fault
            lines.lines.clear();
            EXPECT_THROW(kx::notifyJob(&call), std::exception);
        }
    }
}

} // namespace
