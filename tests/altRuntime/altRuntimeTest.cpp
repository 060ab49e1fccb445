// What this runtime library's own choices make of the module and the SDK:
// its time texts in the log lines and the notification, its exact isEqual,
// its insert that refuses what does not fit, its own field at 512.
#include "notifyTestHost.h"

#include "appendToMessageBox.h"
#include "kxStringField.h"

namespace {

// 2024-03-05 14:07:30 UTC, as NotifyTestHost fixes it.
const QString kStamp = QStringLiteral("05.03.2024 14:07:30,000");

using AltRuntime = NotifyTestHost;

TEST_F(AltRuntime, LogLinesCarryThisRuntimesTimeText)
{
    kx::server::SdkObject server;
    server.setLogName(QStringLiteral("farm01"));
    __KXSDK &channel = *server.sdkInterface();
    channel.logMessage(17, 0, QStringLiteral("progress"));
    channel.logMessage(2, 0, QStringLiteral("warning"));
    channel.logMessage(3, 0, QStringLiteral("two\nlines"));
    channel.logMessage(1, __KXSDK::flagBare, QStringLiteral("bare"));
    const QString indent(22, QLatin1Char(' '));
    EXPECT_EQ(server.mainLog().entries(),
              QStringList({kStamp + QStringLiteral("|     progress"), kStamp + QStringLiteral("| WRN warning"),
                           kStamp + QStringLiteral("|     two\n") + indent + QStringLiteral("lines"),
                           QStringLiteral("ERR bare")}));
    EXPECT_EQ(server.errorLog().entries(), QStringList{QStringLiteral("[farm01]   8.4.03\r\nERR bare\r\n")});
}

// The channel sets the main log's field at 512 to 0 by its place, whatever it means to the runtime.
TEST_F(AltRuntime, CrashReportZeroesTheFieldAt512)
{
    kx::server::SdkObject server;
    __KXSDK &channel = *server.sdkInterface();
    channel.logMessage(17, 0, QStringLiteral("first"));
    channel.logMessage(17, 0, QStringLiteral("second"));
    EXPECT_EQ(kx::readAt<quint32>(&server.mainLog(), 512), 2u);
    channel.logMessage(5, 0, QStringLiteral("a PAGE_FAULT here")); // zeroed, then this line counted
    EXPECT_EQ(kx::readAt<quint32>(&server.mainLog(), 512), 1u);
    EXPECT_EQ(server.mainLog().entries().size(), 3);
}

TEST_F(AltRuntime, ExactNamesAreReachedAndTheTextHasThisRuntimesTime)
{
    kx::server::ClientTableBuilder table;
    for (const char *name : {"render01", "render02", "RENDER01"})
        table.addClient(QString::fromLatin1(name));
    EXPECT_EQ(reached(table, QStringLiteral("render01;RENDER02")), "+--");
    EXPECT_TRUE(composedText().startsWith(QStringLiteral("05.03.2024 14:07\nJob {KT9a} [] finished. \n")))
        << composedText().toStdString();
    EXPECT_EQ(lastLine().category, 17);
}

// Each line feed the layout asks for does not fit, so none is inserted; the scan still ends.
TEST(AltRuntimeInsert, FullTextKeepsItsCharactersWhenNoLineFeedFits)
{
    kx::MessageBox box;
    kx::MessageBox text;
    kx::stringOf(text).assign(QString(2500, QLatin1Char('x')));
    kx::appendToMessageBox(box, text);
    EXPECT_EQ(kx::stringOf(box).text(), QString(2500, QLatin1Char('x')));
}

} // namespace
