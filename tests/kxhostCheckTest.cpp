// kxhost check against plug-ins broken on purpose (tests/brokenPlugins): each is caught by the
// check named for its fault, which the same plug-in without the fault passes.
#include "testFiles.h"

#include <QtCore/QDir>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

namespace {
struct Case
{
    const char *plugin;     // kxBroken_<plugin> in the broken plug-ins' folder
    const char *check;      // the one check run
    const char *verdict;
    const char *reasonPart; // found in the reason
    int exitStatus;
    const char *timeLimit = "300";
};

const Case kCases[] = {
    {"conforming", "exports", "pass", "exactly pInit, pInfo, pNotify and pExit", 0},
    {"fifthExport", "exports", "warn", "exports 1 more function: pVersion", 0},
    {"conforming", "notify-frame", "pass", "8 wrong job markers", 0},
    {"markerResult", "notify-frame", "fail", "pNotify returned 1 for the job marker at byte 0 not 1033, not 5", 1},
    {"exceptionEscapes", "notify-frame", "fail", "an exception left pNotify (the server's log failed) when the log threw", 1},
    {"nullCallCrash", "notify-frame", "fail", "during: pNotify with a null call record", 1},
    {"conforming", "writes", "pass", "appended to the two named boxes", 0},
    {"boxOverrun", "writes", "fail", "during: pNotify for a job naming two of three clients", 1},
    {"conforming", "no-state", "pass", "the same event twice", 0},
    {"keepsJobPointer", "no-state", "fail", "during: pNotify for another job, on fresh records", 1},
    {"conforming", "load-unload", "pass", "the library unmapped after each", 0},
    {"leakOnLoad", "load-unload", "fail", "the memory grew by", 1},
    {"conforming", "init-exit", "pass", "1 from each of 11 calls", 0},
    {"hangsInExit", "init-exit", "fail", "did not end within 10 s during: pExit as call 1 of the sequence", 1, "10"},
    // Without containment a fault ends the process: a warning, not a failure. However the
    // process ended (a signal, an exception code, a sanitizer's report), the step is named.
    {"conforming", "bad-lengths", "warn", "during: pNotify with a client pointer into an inaccessible page", 0},
    {"conforming", "info", "pass", "identity within capacities", 0},
    {"conforming", "threads", "pass", "every result, log line and box", 0},
    // Caught by comparing, not by a fault.
    {"writesIntoJob", "writes", "fail", "pNotify wrote where it must not: the job record changed at byte 76330", 1},
    {"countsCalls", "no-state", "fail", "the same event logged line 1 differently the second time", 1},
    {"infoWritesTail", "info", "fail", "pInfo wrote byte 516 of the record, which it must not touch", 1},
    {"sharesTextBuffer", "threads", "fail", "the message boxes differ from those of its calls alone", 1},
    {"infoSkipsSdkCheck", "info", "fail", "pInfo returned 1 for a null SDK pointer, not 5", 1},
    {"infoFillsFirst", "info", "fail", "pInfo wrote byte 18 of the record for record version 0x0000", 1},
    {"noRecipientIsOne", "notify-frame", "fail", "pNotify returned 1 for an empty recipient list, not 14", 1},
    {"replacesBox", "writes", "fail", "render01's message box lost its earlier text instead of being appended to", 1},
    {"deliversToAll", "writes", "fail", "client 2's record changed at byte 69848 (its message box)", 1},
    {"trustsListLength", "bad-lengths", "fail", "during: pNotify with the job's recipient list holding a stored length of 65535",
     1},
    {"readsPastTable", "writes", "fail", "during: pNotify for a job naming two of three clients", 1},
    {"chatty", "init-exit", "pass", "1 from each of 11 calls", 0},
    {"abortsInInfo", "info", "fail", "during: pInfo with record version 0x0000", 1},
    {"exitsInNotify", "writes", "fail", "the process ended with status 0 during: pNotify for a job naming two", 1},
#if !defined(_WIN32)
    {"staysLoaded", "load-unload", "fail", "cycle 1: the library stays mapped after it was unloaded", 1},
#endif
};

void PrintTo(const Case &c, std::ostream *out)
{
    *out << c.plugin << " / " << c.check;
}

QString pluginPath(const char *name)
{
    return QDir(QStringLiteral(KX_BROKEN_PLUGIN_DIR))
        .filePath(QStringLiteral("kxBroken_%1" KX_MODULE_SUFFIX).arg(QLatin1String(name)));
}

// kxhost check's whole suite on a plug-in: its exit status and the JSON report's summary.
QJsonObject runWholeSuite(const QString &plugin, int *exitStatus)
{
    QTemporaryDir folder;
    const QString json = folder.filePath(QStringLiteral("report.json"));
    QProcess process;
    process.start(QStringLiteral(KXHOST_BINARY_PATH),
                  {QStringLiteral("check"), plugin, QStringLiteral("--cycles"), QStringLiteral("40"),
                   QStringLiteral("--json"), json});
    process.waitForFinished(1800000);
    *exitStatus = process.exitCode();
    return QJsonDocument::fromJson(kxtest::readFile(json)).object();
}

TEST(KxhostCheckSuite, SdkExamplePassesEveryCheck)
{
    int status = -1;
    const QJsonObject report = runWholeSuite(QStringLiteral(KX_SDK_EXAMPLE_PATH), &status);
    EXPECT_EQ(status, 0);
    const QJsonObject summary = report.value(QStringLiteral("summary")).toObject();
    EXPECT_EQ(summary.value(QStringLiteral("checks")).toInt(), 10);
    EXPECT_EQ(summary.value(QStringLiteral("fail")).toInt(), 0);
    EXPECT_EQ(summary.value(QStringLiteral("warn")).toInt(), 0) << QJsonDocument(report).toJson().toStdString();
}

// A plug-in that cannot be loaded: status 2, one message, no table and no report.
TEST(KxhostCheckSuite, PluginThatCannotBeLoadedEndsTheRunWithStatus2)
{
#if defined(_WIN32)
    const char *const crashReason = ""; // the loader itself takes the fault
#else
    const char *const crashReason = "during: loading the plug-in";
#endif
    for (const auto &[plugin, message] : {std::pair{"crashesOnLoad", crashReason}, std::pair{"lacksExit", "pExit"}}) {
        QTemporaryDir folder;
        const QString json = folder.filePath(QStringLiteral("report.json"));
        QProcess process;
        process.start(QStringLiteral(KXHOST_BINARY_PATH),
                      {QStringLiteral("check"), pluginPath(plugin), QStringLiteral("--json"), json});
        ASSERT_TRUE(process.waitForFinished(600000));
        EXPECT_EQ(process.exitCode(), 2) << plugin;
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty()) << plugin;
        const QString error = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(error.contains(QStringLiteral("cannot be loaded as a notification module: ")) && error.contains(QLatin1String(message)))
            << error.toStdString();
        EXPECT_FALSE(QFile::exists(json)) << plugin;
    }
}

using KxhostCheck = ::testing::TestWithParam<Case>;

TEST_P(KxhostCheck, NamedCheckGivesItsVerdict)
{
    const Case &c = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString json = folder.filePath(QStringLiteral("report.json"));
    QProcess process;
    process.start(QStringLiteral(KXHOST_BINARY_PATH),
                  {QStringLiteral("check"), pluginPath(c.plugin), QStringLiteral("--only"), QLatin1String(c.check),
                   QStringLiteral("--cycles"), QStringLiteral("60"), QStringLiteral("--time-limit"),
                   QLatin1String(c.timeLimit), QStringLiteral("--json"), json});
    ASSERT_TRUE(process.waitForFinished(600000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), c.exitStatus) << out.toStdString() << process.readAllStandardError().toStdString();

    const QJsonObject report = QJsonDocument::fromJson(kxtest::readFile(json)).object();
    const QJsonArray checks = report.value(QStringLiteral("checks")).toArray();
    ASSERT_EQ(checks.size(), 1) << out.toStdString();
    const QJsonObject check = checks.first().toObject();
    EXPECT_EQ(check.value(QStringLiteral("name")).toString(), QLatin1String(c.check));
    EXPECT_EQ(check.value(QStringLiteral("verdict")).toString(), QLatin1String(c.verdict)) << out.toStdString();
    EXPECT_TRUE(check.value(QStringLiteral("reason")).toString().contains(QLatin1String(c.reasonPart)))
        << check.value(QStringLiteral("reason")).toString().toStdString();
    EXPECT_EQ(report.value(QStringLiteral("exitStatus")).toInt(), c.exitStatus);
    const QJsonObject summary = report.value(QStringLiteral("summary")).toObject();
    EXPECT_EQ(summary.value(QStringLiteral("checks")).toInt(), 1);
    EXPECT_EQ(summary.value(QLatin1String(c.verdict)).toInt(), 1);
    // The table shows the same row.
    EXPECT_TRUE(out.contains(QStringLiteral("\n%1").arg(QLatin1String(c.check)).leftJustified(15) + QLatin1String(c.verdict)))
        << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(BrokenPlugins, KxhostCheck, ::testing::ValuesIn(kCases), [](const auto &param) {
    std::string name = std::string(param.param.plugin) + "_" + param.param.check;
    for (char &c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
} // namespace
