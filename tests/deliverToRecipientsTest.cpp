// Resolution of the recipient list against the client table and delivery to
// the message boxes, through the loaded module.
#include "notifyTestHost.h"

#include "appendToMessageBox.h"
#include "kxStringField.h"
#include "notifyJob.h"
#include "records/kxClientRecord.h"
#include "records/kxJobRecord.h"

#include <memory>

namespace {

const QString kSentPrefix = QStringLiteral("{KT9a} kxNotifyKXMessage send to '");
const QString kNotSentPrefix = QStringLiteral("{KT9a} kxNotifyKXMessage NOT SEND. '");

class DeliverToRecipientsTest : public NotifyTestHost
{
protected:
    QString sentLine(const QString &list, int count) const
    {
        return kSentPrefix + list + QStringLiteral("'. (  n:") + QString::number(count) + QStringLiteral("|||\n)");
    }
    QString notFoundLine(const QString &list, int count) const
    {
        return kNotSentPrefix + list + QStringLiteral("' not found. (  n:") + QString::number(count)
               + QStringLiteral("|||\n)");
    }
    void addClients(std::initializer_list<const char *> names)
    {
        for (const char *name : names)
            clients.addClient(QString::fromLatin1(name));
    }
    std::vector<QString> boxes() const
    {
        std::vector<QString> result;
        for (int i = 0; i < clients.clientCount(); ++i)
            result.push_back(const_cast<kx::server::ClientTableBuilder &>(clients).messageBox(i));
        return result;
    }
};

TEST_F(DeliverToRecipientsTest, WhoIsReached)
{
    const struct {
        const char *list;
        std::vector<const char *> clientNames;
        std::vector<bool> reached;
    } cases[] = {
        {"render01;render02", {"render00", "render01", "render02"}, {false, true, true}},
        // Named twice, reached once.
        {"render01;render01", {"render01"}, {true}},
        // Every client bearing the name.
        {"render01", {"render01", "render02", "render01"}, {true, false, true}},
        // The blank is part of the second name.
        {"render01; render02", {"render01", "render02"}, {true, false}},
        // Empty parts are names too, and reach a client with an empty name.
        {"nobody;;", {"render01", ""}, {false, true}},
        {"nobody;", {""}, {true}},
        // Letter case does not matter, in Latin-1 either; other characters must agree.
        {"render01", {"RENDER01"}, {true}},
        {"caf\xe9-render", {"CAF\xc9-RENDER", "caf\xe9-render", "caf\xc9-render"}, {true, true, true}},
        {"render01@host", {"RENDER01`host", "render01@hosT"}, {false, true}},
        {"render0102", {"render0103", "render01"}, {false, false}},
        {"nobody", {"render01", "render02"}, {false, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.list);
        kx::server::ClientTableBuilder table;
        for (const char *name : c.clientNames)
            table.addClient(QString::fromLatin1(name));
        sdk.setClientTable(table.table());
        job.setRecipients(QString::fromLatin1(c.list));
        log->lines.clear();
        ASSERT_EQ(notify(), 1);
        const QString text = composedText();
        ASSERT_FALSE(text.isEmpty());
        bool any = false;
        for (std::size_t i = 0; i < c.reached.size(); ++i) {
            EXPECT_EQ(table.messageBox(int(i)), c.reached[i] ? text : QString()) << i;
            any = any || c.reached[i];
        }
        const int count = int(c.clientNames.size());
        EXPECT_EQ(lastLine().category, any ? 17 : 2);
        EXPECT_EQ(lastLine().flags, 0);
        EXPECT_EQ(lastLine().text, any ? sentLine(QString::fromLatin1(c.list), count)
                                       : notFoundLine(QString::fromLatin1(c.list), count));
    }
}

TEST_F(DeliverToRecipientsTest, LinesOfTheCall)
{
    addClients({"render01", "render02"});
    job.setRecipients(QStringLiteral("render01;render02"));
    ASSERT_EQ(notify(), 1);
    ASSERT_EQ(log->lines.size(), 3u);
    EXPECT_EQ(log->lines[0].text, QStringLiteral("pNotify kxMessage started for job {KT9a}"));
    EXPECT_TRUE(log->lines[1].text.startsWith(kSentPrefix + QStringLiteral("render01;render02\n")));
    EXPECT_EQ(log->lines[2].text, sentLine(QStringLiteral("render01;render02"), 2));
}

TEST_F(DeliverToRecipientsTest, EmptyTableReachesNobody)
{
    job.setRecipients(QStringLiteral("render01"));
    ASSERT_EQ(notify(), 1);
    EXPECT_EQ(lastLine().category, 2);
    EXPECT_EQ(lastLine().text, notFoundLine(QStringLiteral("render01"), 0));
}

TEST_F(DeliverToRecipientsTest, NewTextFollowsEarlierMessagesAfterAnEmptyLine)
{
    addClients({"render01"});
    clients.setMessageBox(0, QStringLiteral("earlier"));
    job.setRecipients(QStringLiteral("render01"));
    ASSERT_EQ(notify(), 1);
    EXPECT_EQ(clients.messageBox(0), QStringLiteral("earlier\n\n") + composedText());
}

TEST_F(DeliverToRecipientsTest, EachClientGetsTheTextLaidOutAfresh)
{
    addClients({"render01", "render02"});
    job.setRecipients(QStringLiteral("render01;render02"));
    // "Scene:" + 243 characters + " " makes a line of 250, one more makes 251.
    job.setScene(QString(244, QLatin1Char('s')));
    ASSERT_EQ(notify(), 1);
    const QString text = composedText();
    QString laidOut = text;
    laidOut.insert(text.indexOf(QStringLiteral("Scene:")) + 250, QLatin1Char('\n'));
    EXPECT_EQ(clients.messageBox(0), laidOut);
    EXPECT_EQ(clients.messageBox(1), laidOut);
}

TEST_F(DeliverToRecipientsTest, MainLogIsFlushedFirst)
{
    job.setRecipients(QStringLiteral("nobody"));
    ASSERT_EQ(notify(), 1);
    ASSERT_EQ(log->lines.size(), 3u);
    EXPECT_EQ(log->lines[1].mainLogFlushes, 0u);
    EXPECT_EQ(log->lines[2].mainLogFlushes, 1u);
}

TEST_F(DeliverToRecipientsTest, FailingFlushLeavesEveryBoxAlone)
{
    // The server's own log channel, writing to a file that cannot be opened.
    sdk.installLog<__KXSDK>();
    sdk.setMainLog(std::make_unique<_kxLogfile>(QStringLiteral("/nonexistent-directory/main.log")));
    addClients({"render01"});
    job.setRecipients(QStringLiteral("render01"));
    EXPECT_EQ(notify(), 6);
    EXPECT_TRUE(clients.messageBox(0).isEmpty());
}

TEST_F(DeliverToRecipientsTest, ExceptionFromTheSummaryKeepsWhatWasDelivered)
{
    addClients({"render01"});
    job.setRecipients(QStringLiteral("render01"));
    log->throwAtLine = 2;
    EXPECT_EQ(notify(), 6);
    EXPECT_FALSE(clients.messageBox(0).isEmpty());
}

TEST_F(DeliverToRecipientsTest, TextLongerThanABoxIsCutBeforeTheAppend)
{
    // Each "%6" in the scene receives the whole second image part.
    addClients({"render01"});
    job.setRecipients(QStringLiteral("render01"));
    QString scene;
    for (int i = 0; i < 10; ++i)
        scene += QStringLiteral("%6");
    job.setScene(scene);
    job.setImageExtension(QString(500, QLatin1Char('e')));
    ASSERT_EQ(notify(), 1);
    const QString text = composedText();
    ASSERT_GT(text.size(), 5000);

    kx::MessageBox expected;
    kx::MessageBox cut;
    cut.assign(text.left(2500));
    kx::appendToMessageBox(expected, cut);
    EXPECT_EQ(clients.messageBox(0), expected.toQString());
    EXPECT_EQ(clients.messageBox(0).size(), 2500);
}

TEST_F(DeliverToRecipientsTest, LeftoversBehindAShortNameDoNotCount)
{
    // A renamed client keeps the old name's tail behind the terminator.
    addClients({"abc", "abcdefgh", "abcdefghi"});
    for (int i = 0; i < 3; ++i) {
        const int length = kx::readAt<quint16>(clients.client(i), kx::Client::kNameOffset);
        for (int k = length + 1; k < 12; ++k)
            clients.client(i)[kx::Client::kNameOffset + 2 + std::size_t(k)] = 'Z';
    }
    job.setRecipients(QStringLiteral("ABC;abcdefgh;abcdefghj"));
    ASSERT_EQ(notify(), 1);
    const QString text = composedText();
    EXPECT_EQ(clients.messageBox(0), text);
    EXPECT_EQ(clients.messageBox(1), text);
    EXPECT_TRUE(clients.messageBox(2).isEmpty());
}

// The count is a signed 16-bit number: from 32768 on it is negative, and the
// table has no clients to walk.
TEST_F(DeliverToRecipientsTest, CountAbove32767IsNegative)
{
    addClients({"render01"});
    clients.table()->count = qint16(-32768);
    job.setRecipients(QStringLiteral("render01"));
    ASSERT_EQ(notify(), 1);
    EXPECT_TRUE(clients.messageBox(0).isEmpty());
    EXPECT_EQ(lastLine().category, 2);
    EXPECT_EQ(lastLine().text, notFoundLine(QStringLiteral("render01"), -32768));
}

// A server whose SDK object has no client table or no main log is broken:
// the call ends with 6 before any box changes, without a summary line and
// without a memory fault (the plug-in's code throws; nothing is read through
// the null pointer).
TEST_F(DeliverToRecipientsTest, BrokenSdkObjectEndsTheCallBeforeAnyBox)
{
    const struct {
        const char *what;
        bool hasTable;
        bool hasMainLog;
        quint64 flushes;
    } cases[] = {
        {"no client table", false, true, 1},
        {"no main log", true, false, 0},
        {"neither", false, false, 0},
    };
    addClients({"render01", "render02"});
    clients.setMessageBox(1, QStringLiteral("earlier"));
    job.setRecipients(QStringLiteral("render01;render02"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const quint64 flushesBefore = sdk.mainLog().flushCount();
        sdk.setClientTable(c.hasTable ? clients.table() : nullptr);
        log->mainLog = c.hasMainLog ? &sdk.mainLog() : nullptr;
        log->lines.clear();
        EXPECT_EQ(notify(), 6);
        EXPECT_EQ(clients.messageBox(0), QString());
        EXPECT_EQ(clients.messageBox(1), QStringLiteral("earlier"));
        ASSERT_EQ(log->lines.size(), 2u);
        EXPECT_TRUE(log->lines[1].text.startsWith(kSentPrefix));
        EXPECT_EQ(sdk.mainLog().flushCount() - flushesBefore, c.flushes);

        // Without the module's catch-all: an exception, not a fault.
        log->lines.clear();
        EXPECT_THROW(kx::notifyJob(&params), std::exception);
    }
}

// Mended: a null entry in the table's pointer array is skipped.
TEST_F(DeliverToRecipientsTest, NullTableEntryIsSkipped)
{
    addClients({"render01", "render01", "render01"});
    clients.table()->clients[1] = nullptr;
    job.setRecipients(QStringLiteral("render01"));
    ASSERT_EQ(notify(), 1);
    const QString text = composedText();
    EXPECT_EQ(clients.messageBox(0), text);
    EXPECT_TRUE(clients.messageBox(1).isEmpty());
    EXPECT_EQ(clients.messageBox(2), text);
    EXPECT_EQ(lastLine().text, sentLine(QStringLiteral("render01"), 3));
}

// Mended: a client name whose stored length exceeds 50 is read as 50 characters.
TEST_F(DeliverToRecipientsTest, OversizedClientNameIsReadAsCapacity)
{
    const QString name(50, QLatin1Char('n'));
    addClients({"render01"});
    clients.addClient(name);
    kx::writeAt<quint16>(clients.client(0), kx::Client::kNameOffset, 0xFFFF);
    kx::writeAt<quint16>(clients.client(1), kx::Client::kNameOffset, 300);
    job.setRecipients(name);
    ASSERT_EQ(notify(), 1);
    EXPECT_TRUE(clients.messageBox(0).isEmpty());
    EXPECT_EQ(clients.messageBox(1), composedText());
}

// Mended: a message box whose stored length exceeds 2500 is read as 2500
// characters, and nothing behind the field is written.
TEST_F(DeliverToRecipientsTest, OversizedMessageBoxIsReadAsCapacity)
{
    addClients({"render01"});
    clients.setMessageBox(0, QString(2500, QLatin1Char('b')));
    unsigned char *client = clients.client(0);
    const std::size_t behind = kx::Client::kMessageBoxOffset + sizeof(kx::Client::MessageBoxField);
    std::memset(client + behind, 0x5A, 64);
    kx::writeAt<quint16>(client, kx::Client::kMessageBoxOffset, 0xFFFF);
    job.setRecipients(QStringLiteral("render01"));
    ASSERT_EQ(notify(), 1);
    const QString text = composedText();
    const QString box = clients.messageBox(0);
    EXPECT_EQ(box.size(), 2499);
    EXPECT_EQ(box, QString(2497 - text.size(), QLatin1Char('b')) + QStringLiteral("\n\n") + text);
    for (std::size_t i = 0; i < 64; ++i)
        ASSERT_EQ(client[behind + i], 0x5A) << i;
}

// Mended: a count that does not fit the table's clients. Negative counts
// reach nobody; entries behind the server's clients are null and skipped;
// the summary shows the count as stored.
TEST_F(DeliverToRecipientsTest, CorruptClientCount)
{
    const struct {
        qint16 count;
        std::vector<bool> reached;
    } cases[] = {
        {-1, {false, false}},
        {-32768, {false, false}},
        {0, {false, false}},
        {1, {true, false}},
        {100, {true, true}},
        {32767, {true, true}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.count);
        kx::server::ClientTableBuilder table;
        table.addClient(QStringLiteral("render01"), kx::server::ClientTableBuilder::ClientRecord::Zeroed);
        table.addClient(QStringLiteral("render01"), kx::server::ClientTableBuilder::ClientRecord::Zeroed);
        table.table()->count = c.count;
        sdk.setClientTable(table.table());
        job.setRecipients(QStringLiteral("render01"));
        log->lines.clear();
        ASSERT_EQ(notify(), 1);
        const QString text = composedText();
        for (std::size_t i = 0; i < c.reached.size(); ++i)
            EXPECT_EQ(table.messageBox(int(i)), c.reached[i] ? text : QString()) << i;
        EXPECT_EQ(lastLine().text, c.reached[0] ? sentLine(QStringLiteral("render01"), c.count)
                                                : notFoundLine(QStringLiteral("render01"), c.count));
    }
}

// The list is read as QString::fromUtf16 reads it: a leading byte-order mark
// is not part of the first name, nor of the list in the summary line.
TEST_F(DeliverToRecipientsTest, LeadingByteOrderMarkIsNotPartOfTheFirstName)
{
    addClients({"render01", "render02"});
    job.setRecipients(QStringLiteral("\uFEFFrender01;render02"));
    ASSERT_EQ(kx::readAt<char16_t>(job.bytes(), kx::Job::kRecipientListOffset + 4), char16_t(0xFEFF));
    ASSERT_EQ(notify(), 1);
    const QString text = composedText();
    EXPECT_EQ(clients.messageBox(0), text);
    EXPECT_EQ(clients.messageBox(1), text);
    EXPECT_TRUE(log->lines[1].text.startsWith(kSentPrefix + QStringLiteral("render01;render02\n")));
    EXPECT_EQ(lastLine().text, sentLine(QStringLiteral("render01;render02"), 2));
}

// Names outside Latin-1 are compared as their 8-bit form, each such
// character a "?"; a surrogate pair is two of them.
TEST_F(DeliverToRecipientsTest, RecipientNamesOutsideLatin1)
{
    addClients({"?", "??", "caf?", "\xe9t\xe9"});
    const QString list = QStringLiteral("\u20ac;\U0001F600;caf\u00e9;\u00c9T\u00c9");
    job.setRecipients(list);
    ASSERT_EQ(notify(), 1);
    const QString text = composedText();
    EXPECT_EQ(clients.messageBox(0), text);
    EXPECT_EQ(clients.messageBox(1), text);
    EXPECT_TRUE(clients.messageBox(2).isEmpty());
    EXPECT_EQ(clients.messageBox(3), text);
    EXPECT_EQ(lastLine().text, sentLine(list, 4));
}

} // namespace
