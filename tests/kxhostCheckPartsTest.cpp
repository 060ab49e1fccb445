// The pieces kxhost check stands on: records against inaccessible pages, the
// comparison that names what a call changed, the masking of times, the
// verdict read back from a check's process, and the export table reader.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckPlatform.h"
#include "kxCheckReport.h"
#include "kxCheckRunner.h"
#include "kxRecordArena.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>

namespace {
using namespace kx::check;

// Sizes and guard offsets around page boundaries.
struct Placement
{
    std::size_t size, guardOffset;
};
const std::size_t kPage = pageSize();
const Placement kPlacements[] = {
    {1, 1},
    {16, 16},
    {520, 520},
    {kPage, kPage},
    {kPage + 1, kPage},
    {3 * kPage, kPage},
    {3 * kPage + 7, kPage + 3},
    {kx::Client::kRecordSize, kx::Client::kMessageBoxOffset + sizeof(kx::Client::MessageBoxField)},
    {kx::Job::kRecordSize, kx::Job::kRecipientListOffset + sizeof(kx::Job::RecipientListField)},
};

void PrintTo(const Placement &p, std::ostream *out)
{
    *out << p.size << " bytes, guard at " << p.guardOffset;
}

class RecordArenaPlacement : public ::testing::TestWithParam<Placement>
{
};

TEST_P(RecordArenaPlacement, GuardPageBeginsAtTheGuardOffset)
{
    const auto [size, guardOffset] = GetParam();
    RecordArena arena;
    const PlacedRecord record = arena.place(size, guardOffset);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(record.bytes + guardOffset) % kPage, 0u);
    EXPECT_EQ(record.guardOffset, guardOffset);
    EXPECT_EQ(record.guardEnd, std::min(size, guardOffset + kPage));
    EXPECT_TRUE(record.isAccessible(guardOffset - 1));
    EXPECT_FALSE(record.isAccessible(guardOffset));
    // Every accessible byte can be written and reads back; the snapshot holds exactly those.
    record.fillWithPattern();
    const QByteArray bytes = record.snapshot();
    EXPECT_EQ(std::size_t(bytes.size()), size - (record.guardEnd - record.guardOffset));
    EXPECT_EQ(static_cast<unsigned char>(bytes.front()), record.bytes[0]);
    if (record.guardEnd < size) {
        EXPECT_EQ(static_cast<unsigned char>(bytes.back()), record.bytes[size - 1]);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RecordArenaPlacement, ::testing::ValuesIn(kPlacements));

TEST(RecordArena, PatternTellsNeighbouringBytesApart)
{
    RecordArena arena;
    const PlacedRecord record = arena.place(600);
    record.fillWithPattern();
    int same = 0;
    for (std::size_t i = 1; i < record.size; ++i)
        same += record.bytes[i] == record.bytes[i - 1];
    EXPECT_EQ(same, 0);
}

#if GTEST_HAS_DEATH_TEST
TEST(RecordArenaDeathTest, AccessAtTheGuardOffsetFaults)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RecordArena arena;
    const PlacedRecord record = arena.place(3 * kPage, kPage + 5);
    record.bytes[kPage + 4] = 1;
    record.bytes[kPage + 5 + kPage] = 1; // behind the guard page: the record goes on
    EXPECT_DEATH(record.bytes[kPage + 5] = 1, "");
    EXPECT_DEATH((void)*static_cast<volatile unsigned char *>(record.bytes + kPage + 5), "");
}

TEST(RecordArenaDeathTest, PagesBeforeAndBehindTheRecordFault)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RecordArena arena;
    // Both ends on page boundaries: the pages around are the guards themselves.
    const PlacedRecord record = arena.place(2 * kPage, kPage);
    EXPECT_DEATH((void)*static_cast<volatile unsigned char *>(record.bytes - 1), "");
    EXPECT_DEATH(record.bytes[2 * kPage] = 1, "");
}

TEST(RecordArenaDeathTest, RetiredRecordsFaultAndKeepTheirAddresses)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RecordArena arena;
    const PlacedRecord first = arena.place(64);
    first.bytes[0] = 1;
    arena.retire();
    EXPECT_DEATH((void)*static_cast<volatile unsigned char *>(first.bytes), "");
    const PlacedRecord second = arena.place(64);
    EXPECT_NE(second.bytes, first.bytes);
}
#endif

// One byte changed by "the plug-in", and the change the farm names.
struct Change
{
    const char *what;
    unsigned char *(*where)(CheckFarm &);
    std::size_t offset;
    std::vector<bool> boxMayChange;
    const char *expected; // empty: no change reported
};

unsigned char *paramsOf(CheckFarm &farm) { return reinterpret_cast<unsigned char *>(farm.params()); }
unsigned char *sdkOf(CheckFarm &farm) { return farm.sdkObject(); }
unsigned char *jobOf(CheckFarm &farm) { return farm.job(); }
unsigned char *tableOf(CheckFarm &farm) { return farm.table(); }
unsigned char *secondClientOf(CheckFarm &farm) { return farm.client(1); }

const std::size_t kBox = kx::Client::kMessageBoxOffset;
const Change kChanges[] = {
    {"call record", paramsOf, 3, {}, "the call record changed at byte 3"},
    {"SDK object's first byte", sdkOf, 0, {}, "the SDK object changed at byte 0"},
    {"job's first byte", jobOf, 0, {}, "the job record changed at byte 0"},
    {"SDK object's last byte", sdkOf, kx::ServerSdk::kRecordSize - 1, {}, "the SDK object changed at byte 24191"},
    {"job's progress code", jobOf, kx::Job::kProgressCodeOffset, {}, "the job record changed at byte 76329"},
    {"table count", tableOf, kx::ClientTable::kCountOffset, {}, "the client table changed at byte 1238"},
    {"last client pointer", tableOf, kx::ClientTable::kClientsOffset + 8 * 2 + 7, {},
     "the client table changed at byte 169108039"},
    {"a box that may change", secondClientOf, kBox + 10, {false, true}, ""},
    {"the box's last byte", secondClientOf, kBox + 5005, {false, true}, ""},
    {"a box that may not", secondClientOf, kBox + 10, {true, false}, "client 2's record changed at byte 69858 (its message box)"},
    {"the byte before the box", secondClientOf, kBox - 1, {false, true}, "client 2's record changed at byte 69847"},
    {"the client's name", secondClientOf, kx::Client::kNameOffset + 2, {false, true},
     "client 2's record changed at byte 107740"},
    {"the client's last byte", secondClientOf, kx::Client::kRecordSize - 1, {}, "client 2's record changed at byte 107791"},
};

class FarmChange : public ::testing::TestWithParam<Change>
{
};

TEST_P(FarmChange, FirstChangeNamesRecordAndOffset)
{
    const Change &change = GetParam();
    RecordArena arena;
    CheckFarm farm(arena, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    const CheckFarm::Snapshot before = farm.snapshot();
    change.where(farm)[change.offset] ^= 0x40;
    EXPECT_EQ(farm.firstChange(before, farm.snapshot(), change.boxMayChange).toStdString(), change.expected);
}

INSTANTIATE_TEST_SUITE_P(Bytes, FarmChange, ::testing::ValuesIn(kChanges), [](const auto &param) {
    std::string name = param.param.what;
    for (char &c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

TEST(CheckFarm, RecordsAsTheServerLaysThemOut)
{
    RecordArena arena;
    CheckFarm farm(arena, {QStringLiteral("render01"), QStringLiteral("render02")});
    using namespace kx::ServerSdk;
    EXPECT_EQ(kx::readAt<quint16>(farm.sdkObject(), kVersionOffset), kVersion);
    EXPECT_EQ(kx::readAt<quint16>(farm.sdkObject(), kLayoutMarkerOffset), kLayoutMarker);
    EXPECT_EQ(kx::readAt<quint32>(farm.sdkObject(), kVersionCopyOffset), kVersion);
    EXPECT_EQ(kx::readAt<quint32>(farm.sdkObject(), kEndMarkerOffset), kEndMarker);
    EXPECT_EQ(kx::readAt<unsigned char *>(farm.sdkObject(), kClientTableOffset), farm.table());
    EXPECT_EQ(kx::readAt<void *>(farm.params(), kx::NotifyParams::kSdkPointerOffset),
              static_cast<void *>(farm.sdkObject() + kInterfaceOffset));
    EXPECT_EQ(kx::readAt<void *>(farm.params(), kx::NotifyParams::kJobPointerOffset), static_cast<void *>(farm.job()));
    EXPECT_EQ(kx::readAt<qint16>(farm.table(), kx::ClientTable::kCountOffset), 2);
    EXPECT_EQ(kx::readAt<unsigned char *>(farm.table(), kx::ClientTable::kClientsOffset + 8), farm.client(1));
    EXPECT_EQ(kx::stringField<kx::Client::NameField>(farm.client(1), kx::Client::kNameOffset).text(),
              QStringLiteral("render02"));
    EXPECT_EQ(farm.messageBox(0), FarmLayout().earlierMessage);
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers)
        EXPECT_EQ(kx::readAt<quint16>(farm.job(), marker.codeOffset), marker.code);
}

struct Masking
{
    const char *text, *masked;
};
const Masking kMaskings[] = {
    {"2026-12-06 06:42", "<time>"},
    {"2026-12-06 06:42:49.601| line", "<time>| line"},
    {"at 2026-12-06T06:42:49 and 07:01:02", "at <time> and <time>"},
    {"job {KT9a} 200", "job {KT9a} 200"},
    {"12:30 is no time stamp alone", "12:30 is no time stamp alone"},
};

TEST(WithTimesMasked, MasksStampsAndKeepsTheRest)
{
    for (const Masking &m : kMaskings)
        EXPECT_EQ(withTimesMasked(QString::fromLatin1(m.text)).toStdString(), m.masked) << m.text;
}

// A check's report file and how its process ended, read back as the suite reads it.
struct Ending
{
    const char *name;
    const char *report;
    ChildEnd end;
    Verdict verdict;
    const char *reason;
};
const Ending kEndings[] = {
    {"finished", "step fail a\nverdict pass all fine\n", {}, Verdict::Pass, "all fine"},
    {"finished with a warning", "verdict warn one more export\n", {}, Verdict::Warn, "one more export"},
    {"crashed in a step that fails", "step fail first\nstep fail second\n", {ChildEnd::Crashed, 0, "signal 11"},
     Verdict::Fail, "crashed (signal 11) during: second"},
    {"crashed in a step that warns", "step warn unreadable client\n", {ChildEnd::Crashed, 0, "signal 11"}, Verdict::Warn,
     "crashed (signal 11) during: unreadable client (containing a fault is the plug-in's choice)"},
    {"crashed after its verdict", "verdict pass fine\n", {ChildEnd::Crashed, 0, "signal 6"}, Verdict::Fail,
     "crashed (signal 6)"},
    {"timed out in a step that warns", "step warn slow\n", {ChildEnd::TimedOut, 0, {}}, Verdict::Fail,
     "did not end within 7 s during: slow"},
    {"ended without a verdict", "step fail calling\n", {ChildEnd::Finished, 0, {}}, Verdict::Fail,
     "the process ended with status 0 during: calling"},
    {"ended with another status", "step fail calling\nverdict pass fine\n", {ChildEnd::Finished, 3, {}}, Verdict::Fail,
     "the process ended with status 3 during: calling"},
    {"verdict cut short", "step fail calling\nverdict pass all fi", {ChildEnd::Finished, 0, {}}, Verdict::Fail,
     "the process ended with status 0 during: calling"},
    {"not started", "", {ChildEnd::NotStarted, 0, "no such program"}, Verdict::Fail,
     "the check's process could not be started: no such program"},
    {"a line of no known kind", "verdict maybe so\nstep fail x\n", {ChildEnd::Crashed, 0, "signal 11"}, Verdict::Fail,
     "crashed (signal 11) during: x"},
};

TEST(VerdictOf, ReportAndEndGiveTheVerdict)
{
    for (const Ending &e : kEndings) {
        const CheckResult result = verdictOf(QByteArray(e.report), e.end, 7);
        EXPECT_EQ(verdictName(result.verdict), verdictName(e.verdict)) << e.name;
        EXPECT_EQ(result.reason.toStdString(), e.reason) << e.name;
    }
}

TEST(CheckContext, WorstFindingGivesVerdictAndReason)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("report"));
    {
        CheckContext context(CheckOptions{}, path);
        context.step(QStringLiteral("one\nline"), Verdict::Warn);
        context.warn(QStringLiteral("first warning"));
        context.fail(QStringLiteral("first failure"));
        context.fail(QStringLiteral("second failure"));
        context.passWith(QStringLiteral("not shown"));
        context.finish();
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "step warn one line\nverdict fail first failure (and 2 more findings)\n");
}

TEST(CheckContext, OneFindingIsTheReasonAlone)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("report"));
    {
        CheckContext context(CheckOptions{}, path);
        context.warn(QStringLiteral("only warning"));
        context.finish();
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "verdict warn only warning\n");
}

TEST(JsonReport, HoldsEveryCheckAndTheSummary)
{
    CheckOptions options;
    options.pluginPath = QStringLiteral("plugin.so");
    const std::vector<CheckResult> results = {{"exports", "the exports", Verdict::Warn, "one more", 1.26},
                                              {"writes", "the writes", Verdict::Fail, "a byte", 20}};
    const QJsonObject report = QJsonDocument::fromJson(jsonReport(options, results)).object();
    EXPECT_EQ(report.value("format").toString(), QStringLiteral("kxhost-check 1"));
    EXPECT_TRUE(report.value("plugin").toString().endsWith(QStringLiteral("/plugin.so")));
    EXPECT_EQ(report.value("options").toObject().value("threads").toInt(), 4);
    const QJsonArray checks = report.value("checks").toArray();
    ASSERT_EQ(checks.size(), 2);
    EXPECT_EQ(checks[0].toObject().value("verdict").toString(), QStringLiteral("warn"));
    EXPECT_EQ(checks[0].toObject().value("milliseconds").toDouble(), 1.3);
    EXPECT_EQ(checks[1].toObject().value("reason").toString(), QStringLiteral("a byte"));
    EXPECT_EQ(report.value("summary").toObject().value("fail").toInt(), 1);
    EXPECT_EQ(report.value("exitStatus").toInt(), 1);
    EXPECT_EQ(summaryLine(results), QStringLiteral("2 checks: 0 pass, 1 fail, 1 warn, 0 skip"));
}

TEST(ExportedNames, ModuleExportsItsFourFunctions)
{
    const ExportedNames names = exportedNames(QStringLiteral(KX_PLUGIN_MODULE_PATH));
    EXPECT_TRUE(names.error.isEmpty()) << names.error.toStdString();
    QStringList functions = names.functions;
    functions.sort();
    EXPECT_EQ(functions, (QStringList{"pExit", "pInfo", "pInit", "pNotify"}));
    EXPECT_TRUE(names.data.isEmpty()) << names.data.join(' ').toStdString();
}

TEST(ExportedNames, ToolchainSymbolsAreNoExportsOfThePlugin)
{
    for (const char *name : {"_init", "_fini", "_ZTIFivE", "_ZTSFivE", "_ZTV7QObject", "_ZTT3Foo", "_ZGVZ1fvE1x"})
        EXPECT_TRUE(isToolchainSymbol(QLatin1String(name))) << name;
    for (const char *name : {"pVersion", "_Z5pInitv", "init", "_ZN3Foo3barEv", "_ZTX"})
        EXPECT_FALSE(isToolchainSymbol(QLatin1String(name))) << name;
}

TEST(ExportedNames, FilesThatAreNoLibraryAreRefused)
{
    QTemporaryDir folder;
    const QString text = folder.filePath(QStringLiteral("text.so"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a library\n");
    file.close();
    EXPECT_FALSE(exportedNames(text).error.isEmpty());
    EXPECT_FALSE(exportedNames(folder.filePath(QStringLiteral("missing.so"))).error.isEmpty());
    EXPECT_FALSE(exportedNames(folder.path()).error.isEmpty());
}
} // namespace
