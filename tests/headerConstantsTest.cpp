#include "kxJobOptionDefinitions.h"
#include "kxKeywordConstants.h"
#include "kxLetterConstants.h"
#include "kxLineBreakConstants.h"
#include "kxMarkerConstants.h"
#include "kxSharedNameSlots.h"

#include <gtest/gtest.h>

#include <QtCore/QSet>

#include <iterator>
#include <utility>
#include <vector>

namespace {

TEST(HeaderConstants, IdAlphabetsLackTheConfusableCharacters)
{
    EXPECT_EQ(kIdAlphabetUpper.size(), 36);
    EXPECT_EQ(kIdAlphabetLower.size(), 24);
    for (QChar missing : {QLatin1Char('I'), QLatin1Char('0')})
        EXPECT_FALSE(kIdAlphabetUpper.contains(missing));
    for (QChar missing : {QLatin1Char('i'), QLatin1Char('m')})
        EXPECT_FALSE(kIdAlphabetLower.contains(missing));
    // No character twice, or two IDs would share a text.
    EXPECT_EQ(QSet<QChar>(kIdAlphabetUpper.begin(), kIdAlphabetUpper.end()).size(), 36);
    EXPECT_EQ(QSet<QChar>(kIdAlphabetLower.begin(), kIdAlphabetLower.end()).size(), 24);
}

TEST(HeaderConstants, TextsAreExact)
{
    EXPECT_EQ(kLineBreak, QStringLiteral("\r\n"));
    EXPECT_EQ(kLineBreakBytes, QByteArray("\r\n"));
    EXPECT_EQ(kPathSeparator, QStringLiteral("\\"));
    EXPECT_EQ(QString::fromLatin1(kLetterC.constData(), kLetterC.length()), QStringLiteral("C"));
    EXPECT_EQ(kUpdateMarker.toQString(), QStringLiteral("?update?"));
    EXPECT_EQ(kNoProjectRootAccessMarker.toQString(), QStringLiteral("!NoProjectRootAccess!"));
    const std::pair<const QString *, const char *> keywords[] = {
        {&kNoCheckFileName, "no_check.file"}, {&kExecOnceFileName, "execOnce.file"},
        {&kExecEachClientFileName, "execEachClient.file"}, {&kExecuteKeyword, "Execute"},
        {&kPythonKeyword, "Python"}, {&kCommandJobKeyword, "CommandJob"},
        {&kEnvFileKeyword, "kxEnvFile"}, {&kEnvLineKeyword, "kxEnvLine"}, {&kEnvListKeyword, "kxEnvList"},
        {&kSubmitterParameterKeyword, "kxSubmitterParameter"}, {&kSubmitClientGroupKeyword, "SubmitClientGroup"},
        {&kNoSceneExistCheckKeyword, "NoSceneExistCheck"}, {&kAddCmdFlagsKeyword, "AddCmdFlags"}};
    for (const auto &[constant, expected] : keywords)
        EXPECT_EQ(*constant, QLatin1String(expected));
}

TEST(JobOptionDefinitions, ScanStopsAtNineteenNamedRows)
{
    int named = 0;
    while (named < kx::kJobOptionDefinitionCount && !jobOptionDefinitions[named].name.isEmpty())
        ++named;
    EXPECT_EQ(named, 19);
    for (int row = 19; row < kx::kJobOptionDefinitionCount; ++row) {
        const JobOptionDefinition &d = jobOptionDefinitions[row];
        EXPECT_TRUE(d.name.isEmpty());
        EXPECT_EQ(d.group | d.kind | d.flagA | d.flagB | d.defaultValue | d.minValue | d.maxValue, 0);
        for (const auto &label : d.valueLabels)
            EXPECT_TRUE(label.isEmpty());
    }
}

TEST(JobOptionDefinitions, NamedRowsKeepTheirBounds)
{
    for (int row = 0; row < 19; ++row) {
        const JobOptionDefinition &d = jobOptionDefinitions[row];
        EXPECT_LE(d.minValue, d.defaultValue) << row;
        EXPECT_LE(d.defaultValue, d.maxValue) << row;
        EXPECT_EQ(d.extraWord, 0) << row;
        bool hasLabels = false;
        for (const auto &label : d.valueLabels)
            hasLabels = hasLabels || !label.isEmpty();
        const bool isColor = d.name.toQString() == QLatin1String("Color");
        EXPECT_EQ(d.kind, hasLabels || isColor ? 2 : 1) << row;
    }
}

struct OptionRow
{
    const char *name;
    int group, kind, flagA, flagB, defaultValue, minValue, maxValue;
    std::vector<const char *> labels;
};

TEST(JobOptionDefinitions, EveryNamedRow)
{
    constexpr int kNoLimit = 2147483647;
    const OptionRow rows[] = {
        {"Number of Preview frames", 1, 1, 0, 0, 7, 1, 18, {}},
        {"Max Clients At A Time", 1, 1, 0, 1, 1500, 1, 1500, {}},
        {"Required Memory (GB)", 1, 1, 0, 1, 0, 0, 500, {}},
        {"Max Frame Time (minutes)", 1, 1, 0, 1, 0, 0, 7200, {}},
        {"Min File Size Kb", 1, 1, 0, 1, 0, 0, kNoLimit, {}},
        {"Max Crashes", 1, 1, 0, 1, 30, 0, kNoLimit, {}},
        {"Max Thresholds", 1, 1, 0, 1, 30, 0, kNoLimit, {}},
        {"Render Verbose", 3, 2, 0, 1, 0, 0, 6,
         {"Default", "No Verbose", "Errors & Warnings", "Information", "Progress", "Debug"}},
        {"Render Quality", 3, 2, 0, 1, 0, 0, kNoLimit, {"Default", "Preview", "Normal", "Production", "Best"}},
        {"Color", 2, 2, 1, 1, 13, 0, kNoLimit, {}},
        {"Approve Job", 2, 2, 0, 1, 0, 0, kNoLimit, {"-", "After Preview", "After frames done", "After both"}},
        {"Re-Execute Job After Hours", 2, 1, 0, 1, 0, 0, kNoLimit, {}},
        {"Start Multiple Instances", 1, 1, 0, 1, 1, 1, 10, {}},
        {"Override Image Width", 3, 1, 1, 0, 0, 0, 100000, {}},
        {"Override Image Height", 3, 1, 1, 0, 0, 0, 100000, {}},
        {"Restrict Core Count", 3, 1, 1, 1, 0, 0, 256, {}},
        {"Restrict Memory (GB)", 3, 1, 1, 1, 0, 0, 1000, {}},
        {"Required GPU Memory (GB)", 1, 1, 0, 1, 0, 0, 500, {}},
        {"Required Core Count", 1, 1, 0, 0, 0, 0, 256, {}},
    };
    static_assert(std::size(rows) == 19);
    // This file's own table and the one the SDK library carries for its users.
    const std::pair<const char *, const JobOptionDefinition *> tables[] = {
        {"included", jobOptionDefinitions}, {"library", kx::jobOptionDefinitionTable()}};
    for (const auto &[tableName, table] : tables) {
        for (std::size_t row = 0; row < std::size(rows); ++row) {
            const OptionRow &r = rows[row];
            const JobOptionDefinition &d = table[row];
            SCOPED_TRACE(QStringLiteral("%1 table: %2").arg(QLatin1String(tableName), QLatin1String(r.name)).toStdString());
            EXPECT_EQ(d.name.toQString(), QLatin1String(r.name));
            EXPECT_EQ(d.group, r.group);
            EXPECT_EQ(d.kind, r.kind);
            EXPECT_EQ(d.flagA, r.flagA);
            EXPECT_EQ(d.flagB, r.flagB);
            EXPECT_EQ(d.defaultValue, r.defaultValue);
            EXPECT_EQ(d.minValue, r.minValue);
            EXPECT_EQ(d.maxValue, r.maxValue);
            for (std::size_t slot = 0; slot < 6; ++slot) {
                const QString expected = slot < r.labels.size() ? QLatin1String(r.labels[slot]) : QString();
                EXPECT_EQ(d.valueLabels[slot].toQString(), expected) << slot;
            }
        }
    }
}

TEST(SharedNameSlots, HoldsFortyFourEmptyNames)
{
    _kxString<50> *names = kx::sharedNameSlots();
    ASSERT_NE(names, nullptr);
    for (int i = 0; i < kx::kSharedNameSlotCount; ++i)
        EXPECT_TRUE(names[i].isEmpty());
}

} // namespace
