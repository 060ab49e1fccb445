// The server's records at the places the tables in tests/golden give, not through the offsets the
// module and the server stand-in share: a wrong offset in both would go unseen otherwise. What the
// stand-in builds is compared with the tables; what the module reads is written from them.
#include "notifyTestHost.h"
#include "testFiles.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using kxtest::GoldenNames;
using kxtest::goldenMismatch;
using kxtest::goldenRows;
using kxtest::putGolden;

QByteArray number(const void *pointer)
{
    return QByteArray::number(quint64(quintptr(pointer)));
}

// Room for a record of the server's at an odd address: no field of it is naturally aligned.
struct OddStorage
{
    OddStorage(std::size_t size, unsigned char fill) : storage(size + 1, fill) {}
    unsigned char *bytes() { return storage.data() + 1; }
    Bytes storage;
};

constexpr std::size_t kInfoRoom = 600; // more than the information record
constexpr quint16 kInfoVersion = 0xC004;

class RecordLayouts : public NotifyTestHost
{
protected:
    // The information record as the server passes it, every byte it does not set 0xAB.
    OddStorage infoCall(int version, const void *sdkInterface)
    {
        OddStorage info(kInfoRoom, 0xAB);
        putGolden(info.bytes(), kInfoRoom, goldenRows("pluginInfo.txt", "call"),
                  {{"version", QByteArray::number(version)}, {"sdk", number(sdkInterface)}});
        return info;
    }
    int info(OddStorage &record) { return module.info(reinterpret_cast<_kxPluginInfo *>(record.bytes())); }
};

TEST_F(RecordLayouts, ServerStandInLaysOutTheSdkObjectClientTableAndClients)
{
    EXPECT_EQ(static_cast<void *>(sdk.sdkInterface()),
              sdk.bytes() + goldenRows("sdkObject.txt", "interface").at(0).offset);
    const GoldenNames sdkNames = {{"mainLog", number(&sdk.mainLog())}, {"clientTable", number(clients.table())}};
    for (const char *section : {"info", "notify", "fields"})
        EXPECT_EQ(goldenMismatch(sdk.bytes(), goldenRows("sdkObject.txt", section), sdkNames), "") << section;

    for (const char *name : {"render01", "render02", "render03"})
        clients.addClient(QString::fromLatin1(name));
    clients.setMessageBox(1, QStringLiteral("earlier"));
    EXPECT_EQ(goldenMismatch(reinterpret_cast<const unsigned char *>(clients.table()), goldenRows("clientTable.txt"),
                             {{"count", "3"}, {"client0", number(clients.client(0))},
                              {"client1", number(clients.client(1))}, {"client2", number(clients.client(2))}}),
              "");
    EXPECT_EQ(goldenMismatch(clients.client(1), goldenRows("client.txt"), {{"name", "render02"}, {"box", "earlier"}}),
              "");
}

// Each byte of a guard, changed on its own, fails the one export that checks that guard.
TEST_F(RecordLayouts, EachSdkGuardByteFailsTheExportThatChecksIt)
{
    clients.addClient(QStringLiteral("render01"));
    job.setRecipients(QStringLiteral("render01"));
    for (const char *section : {"info", "notify"}) {
        for (const kxtest::GoldenRow &row : goldenRows("sdkObject.txt", section)) {
            for (int i = 0; i < row.kind.toInt(); ++i) {
                SCOPED_TRACE(testing::Message() << section << " byte " << row.offset + std::size_t(i));
                unsigned char &byte = sdk.bytes()[row.offset + std::size_t(i)];
                byte ^= 0xFF;
                OddStorage record = infoCall(kInfoVersion, sdk.sdkInterface());
                EXPECT_EQ(info(record), section == std::string("info") ? 5 : 1);
                EXPECT_EQ(notify(), section == std::string("notify") ? 5 : 1);
                byte ^= 0xFF;
            }
        }
    }
    OddStorage record = infoCall(kInfoVersion, sdk.sdkInterface());
    EXPECT_EQ(info(record), 1);
    EXPECT_EQ(notify(), 1);
}

// pInfo writes its version always, its identity after a version match and its verdict only once the
// SDK object passed too; every other byte keeps the server's.
TEST_F(RecordLayouts, PluginInfoWritesOnlyItsFields)
{
    const GoldenNames identity = {{"qtVersion", QByteArray(qVersion()).left(25)}};
    enum Case { Accepted, OtherVersion, BrokenSdkGuard, NoSdk };
    for (const Case which : {Accepted, OtherVersion, BrokenSdkGuard, NoSdk}) {
        for (const int version : {0, 0xC003, 0xC005, 0xFFFF, int(kInfoVersion)}) {
            if ((which == OtherVersion) == (version == kInfoVersion))
                continue;
            SCOPED_TRACE(testing::Message() << which << " version " << version);
            const std::size_t guard = goldenRows("sdkObject.txt", "info").at(0).offset;
            sdk.bytes()[guard] ^= which == BrokenSdkGuard ? 0xFF : 0;
            OddStorage record = infoCall(version, which == NoSdk ? nullptr : sdk.sdkInterface());
            Bytes expected = record.storage;
            putGolden(expected.data() + 1, kInfoRoom, goldenRows("pluginInfo.txt", "version"));
            if (which != OtherVersion)
                putGolden(expected.data() + 1, kInfoRoom, goldenRows("pluginInfo.txt", "identity"), identity);
            if (which == Accepted)
                putGolden(expected.data() + 1, kInfoRoom, goldenRows("pluginInfo.txt", "verdict"));
            EXPECT_EQ(info(record), which == Accepted ? 1 : 5);
            sdk.bytes()[guard] ^= which == BrokenSdkGuard ? 0xFF : 0;
            EXPECT_EQ(record.storage, expected);
        }
    }
    EXPECT_EQ(module.info(nullptr), 5);
}

TEST_F(RecordLayouts, NotifyCallRecordIsReadFromItsPlaces)
{
    clients.addClient(QStringLiteral("render01"));
    job.setRecipients(QStringLiteral("render01"));
    const GoldenNames names = {{"sdk", number(sdk.sdkInterface())}, {"job", number(job.record())}};
    EXPECT_EQ(goldenMismatch(reinterpret_cast<const unsigned char *>(&params), goldenRows("notifyParams.txt"), names),
              "");
    OddStorage call(16, 0xAB);
    putGolden(call.bytes(), 16, goldenRows("notifyParams.txt"), names);
    EXPECT_EQ(module.notify(reinterpret_cast<_kxNotifyParams *>(call.bytes())), 1);
    EXPECT_EQ(clients.messageBox(0), composedText());
}

// A table of two clients, a third one behind its count, all written from the tables: the named
// clients within the count are reached, each box as its own history leaves it.
TEST_F(RecordLayouts, ClientsWrittenByteByByteAreFoundAndReached)
{
    const std::vector<kxtest::GoldenRow> tableRows = goldenRows("clientTable.txt");
    std::size_t tableSize = 0;
    for (const kxtest::GoldenRow &row : tableRows)
        tableSize = std::max(tableSize, row.offset + std::size_t(row.kind.toInt()));
    // Zeroed pages that nobody touches cost nothing.
    const std::unique_ptr<unsigned char, void (*)(void *)> table(static_cast<unsigned char *>(std::calloc(1, tableSize)),
                                                                 std::free);
    ASSERT_TRUE(table);
    constexpr std::size_t kClientRoom = 110000; // more than a client record
    const char *names[3][2] = {{"render02", "kept"}, {"render01", "earlier"}, {"render01", ""}};
    std::vector<OddStorage> records(3, OddStorage(kClientRoom, 0));
    for (std::size_t i = 0; i < 3; ++i)
        putGolden(records[i].bytes(), kClientRoom, goldenRows("client.txt"),
                  {{"name", names[i][0]}, {"box", names[i][1]}});
    putGolden(table.get(), tableSize, tableRows,
              {{"count", "2"}, {"client0", number(records[0].bytes())}, {"client1", number(records[1].bytes())},
               {"client2", number(records[2].bytes())}});
    sdk.setClientTable(reinterpret_cast<_kxClientTable *>(table.get()));
    job.setRecipients(QStringLiteral("render01"));

    EXPECT_EQ(notify(), 1);
    const QByteArray text = composedText().toLatin1();
    const QByteArray boxes[3] = {"kept", "earlier\n\n" + text, ""};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(goldenMismatch(records[i].bytes(), goldenRows("client.txt"), {{"name", names[i][0]}, {"box", boxes[i]}}),
                  "")
            << i;
    EXPECT_TRUE(lastLine().text.contains(QLatin1String(" kxNotifyKXMessage send to 'render01'. (  n:2|||")));
}

} // namespace
