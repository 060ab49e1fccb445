#include "kxJobOptionDefinitions.h"
#include "kxKeywordConstants.h"
#include "kxLetterConstants.h"
#include "kxLineBreakConstants.h"
#include "kxMarkerConstants.h"
#include "kxSharedNameSlots.h"

#include <gtest/gtest.h>

#include <QtCore/QSet>

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
    EXPECT_EQ(kExecEachClientFileName, QStringLiteral("execEachClient.file"));
    EXPECT_EQ(kSubmitterParameterKeyword, QStringLiteral("kxSubmitterParameter"));
}

TEST(JobOptionDefinitions, ScanStopsAtNineteenNamedRows)
{
    int named = 0;
    while (named < kJobOptionDefinitionCount && !jobOptionDefinitions[named].name.isEmpty())
        ++named;
    EXPECT_EQ(named, 19);
    for (int row = 19; row < kJobOptionDefinitionCount; ++row) {
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
    int row;
    const char *name;
    int defaultValue, minValue, maxValue;
};

TEST(JobOptionDefinitions, RowsThatAreEasyToGetWrong)
{
    const OptionRow rows[] = {{0, "Number of Preview frames", 7, 1, 18},
                              {1, "Max Clients At A Time", 1500, 1, 1500},
                              {7, "Render Verbose", 0, 0, 6},
                              {12, "Start Multiple Instances", 1, 1, 10},
                              {4, "Min File Size Kb", 0, 0, 2147483647}};
    for (const OptionRow &r : rows) {
        const JobOptionDefinition &d = jobOptionDefinitions[r.row];
        EXPECT_EQ(d.name.toQString(), QLatin1String(r.name));
        EXPECT_EQ(d.defaultValue, r.defaultValue) << r.name;
        EXPECT_EQ(d.minValue, r.minValue) << r.name;
        EXPECT_EQ(d.maxValue, r.maxValue) << r.name;
    }
    const JobOptionDefinition &verbose = jobOptionDefinitions[7];
    EXPECT_EQ(verbose.valueLabels[2].toQString(), QStringLiteral("Errors & Warnings"));
    EXPECT_EQ(verbose.valueLabels[5].toQString(), QStringLiteral("Debug"));
    const JobOptionDefinition &quality = jobOptionDefinitions[8];
    EXPECT_EQ(quality.valueLabels[4].toQString(), QStringLiteral("Best"));
    EXPECT_TRUE(quality.valueLabels[5].isEmpty());
    EXPECT_EQ(jobOptionDefinitions[10].valueLabels[0].toQString(), QStringLiteral("-"));
}

TEST(SharedNameSlots, HoldsFortyFourEmptyNames)
{
    _kxString<50> *names = kx::sharedNameSlots();
    ASSERT_NE(names, nullptr);
    for (int i = 0; i < kx::kSharedNameSlotCount; ++i)
        EXPECT_TRUE(names[i].isEmpty());
}

} // namespace
