// kxhost run as a process where a golden case (tests/golden/kxhost) cannot show it: runs at
// the same time, and outcomes that vary with the memory given.
#include "testFiles.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QFileInfo>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>
#include <utility>
#include <vector>

namespace {
using kxtest::readFile;

const auto words = [](const char *line) { return QString::fromLatin1(line).split(QLatin1Char(' ')); };

class Kxhost : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(KXHOST_EXAMPLES_DIR "/jobs.json"), path("jobs.json")));
        write("farm.json", readFile(QStringLiteral(KXHOST_EXAMPLES_DIR "/farm.json")));
    }
    QString path(const char *name) const { return m_folder.filePath(QString::fromLatin1(name)); }
    void write(const char *name, const QByteArray &bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    // kxhost started by /bin/sh after `shell` (limits a process cannot set for its child): its
    // status and standard error; a shell that ends in exit 99 cannot set them up here.
    std::pair<int, QString> run(const char *arguments, const QString &shell = {}) const
    {
        QProcess process;
        process.setWorkingDirectory(m_folder.path());
        const QStringList head{QStringLiteral("-c"), shell + " exec \"$@\"", "sh", KXHOST_BINARY_PATH};
        process.start(QStringLiteral("/bin/sh"), head + words(arguments));
        const bool ended = process.waitForFinished(180000) && process.exitStatus() == QProcess::NormalExit;
        return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardError())};
    }
    QString box(int client) const
    {
        const QJsonArray clients = QJsonDocument::fromJson(readFile(path("farm.json")))["clients"].toArray();
        return clients.at(client)[QLatin1String("messageBox")].toString();
    }

    // Runs of kxhost started together in the run folder; each must end with status 0.
    std::vector<QByteArray> runTogether(const std::vector<QStringList> &commands) const
    {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const QStringList &arguments : commands) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->setWorkingDirectory(m_folder.path());
            runs.back()->start(KXHOST_BINARY_PATH, arguments);
        }
        std::vector<QByteArray> outputs;
        for (const auto &run : runs) { // waiting for one may already have seen another finish
            EXPECT_TRUE(run->state() == QProcess::NotRunning || run->waitForFinished(60000));
            EXPECT_EQ(run->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().constData();
            outputs.push_back(run->readAllStandardOutput());
        }
        return outputs;
    }

    QTemporaryDir m_folder;
};

// Two people saving runs on one farm at the same moment, also one through a symbolic link to
// it: both runs' texts stay, each run shows only its own lines.
TEST_F(Kxhost, ConcurrentSavesKeepEveryDelivery)
{
    write("jobs-a.json", R"({"events": [
        {"jobId": "{KT9a}", "progressCode": 200, "recipients": "render01;render02"},
        {"jobId": "{KT9b}", "progressCode": 200, "recipients": "render02"}]})");
    write("jobs-b.json", R"({"events": [
        {"jobId": "{KUAb}", "progressCode": 200, "recipients": "render01;render02"},
        {"jobId": "{KUBc}", "progressCode": 200, "recipients": "render01"}]})");
#if defined(_WIN32)
    // A link made here would be a shortcut file, which no save follows.
    const std::vector<const char *> seconds{"farm.json"};
#else
    ASSERT_TRUE(QFile::link(QStringLiteral("farm.json"), path("link.json")));
    const std::vector<const char *> seconds{"farm.json", "link.json"};
#endif
    for (const char *second : seconds) {
        for (int repetition = 0; repetition < 10; ++repetition) {
            SCOPED_TRACE(std::string(second) + " " + std::to_string(repetition));
            write("farm.json", R"({"logFolder": "logs",
                                "clients": [{"name": "render01"}, {"name": "render02"}]})");
            const std::vector<QByteArray> out =
                runTogether({words("notify farm.json --job jobs-a.json --save"),
                             words("notify") << second << words("--job jobs-b.json --save")});
            for (const char *job : {"{KT9a}", "{KUAb}", "{KUBc}"})
                EXPECT_TRUE(box(0).contains(QLatin1String(job))) << job;
            for (const char *job : {"{KT9a}", "{KT9b}", "{KUAb}"})
                EXPECT_TRUE(box(1).contains(QLatin1String(job))) << job;
            for (const char *job : {"{KUAb}", "{KUBc}"})
                EXPECT_FALSE(out[0].contains(QByteArray("started for job ") + job));
            for (const char *job : {"{KT9a}", "{KT9b}"})
                EXPECT_FALSE(out[1].contains(QByteArray("started for job ") + job));
            EXPECT_FALSE(QFile::exists(path("farm.json.lock")));
#if !defined(_WIN32)
            EXPECT_TRUE(QFileInfo(path("link.json")).isSymLink()) << "the save replaced the link";
#endif
        }
    }
}

// Two farms that share a log folder, run at once: each run shows the lines it wrote and no
// line of the other's, however the writes of the two interleave in the shared files.
TEST_F(Kxhost, FarmsSharingALogFolderEachShowTheirOwnLines)
{
#if defined(_WIN32)
    GTEST_SKIP() << "under wine, two processes appending to one file overwrite each other's lines";
#endif
    QJsonArray events[2];
    for (int i = 0; i < 150; ++i) {
        events[0].append(QJsonObject{{"jobId", "{KT9a}"}, {"progressCode", 200}, {"recipients", "render01"}});
        events[1].append(QJsonObject{{"jobId", "{KUAb}"}, {"progressCode", 200}, {"recipients", "render01"}});
    }
    write("jobs-a.json", QJsonDocument(QJsonObject{{"events", events[0]}}).toJson());
    write("jobs-b.json", QJsonDocument(QJsonObject{{"events", events[1]}}).toJson());
    write("farm-b.json", readFile(path("farm.json")));
    for (int repetition = 0; repetition < 3; ++repetition) {
        SCOPED_TRACE(repetition);
        const std::vector<QByteArray> out = runTogether(
            {words("notify farm.json --job jobs-a.json"), words("notify farm-b.json --job jobs-b.json")});
        EXPECT_EQ(out[0].count("started for job {KT9a}"), 150);
        EXPECT_EQ(out[0].count("{KUAb}"), 0);
        EXPECT_EQ(out[1].count("started for job {KUAb}"), 150);
        EXPECT_EQ(out[1].count("{KT9a}"), 0);
    }
    // Both wrote every line into the shared file.
    const QByteArray log = readFile(path("logs/kxserver.log"));
    EXPECT_EQ(log.count("started for job {KT9a}"), 3 * 150);
    EXPECT_EQ(log.count("started for job {KUAb}"), 3 * 150);
}

#ifndef Q_OS_WIN
// However little memory there is, kxhost ends with a message, never with an abort.
TEST_F(Kxhost, LackOfMemoryEndsTheRunWithAMessage)
{
    if (readFile(KXHOST_BINARY_PATH).contains("__asan_init"))
        GTEST_SKIP() << "an address sanitizer needs more address space than these limits leave";
    const QByteArray before = readFile(path("farm.json"));
    int limitedRuns = 0;
    for (const int kilobytes : {60000, 80000, 100000, 120000, 150000, 200000, 300000, 600000}) {
        for (const char *arguments : {"notify farm.json --job jobs.json --save",
                                      "notify --clients 32767 --job jobs.json --log-folder logs"}) {
            SCOPED_TRACE(std::to_string(kilobytes) + " KiB: " + arguments);
            const QString limit = QStringLiteral("ulimit -v %1 || exit 99;").arg(kilobytes);
            const auto [status, err] = run(arguments, limit);
            if (status == 99)
                GTEST_SKIP() << "this shell cannot limit the address space";
            if (err.contains(QStringLiteral("error while loading shared libraries")))
                continue; // too little to load the libraries: the loader's failure
            ++limitedRuns;
            EXPECT_TRUE(status == 0 || status == 1) << status << qPrintable(err);
            if (status == 1) {
                EXPECT_TRUE(err.startsWith(QStringLiteral("kxhost: "))) << qPrintable(err);
                EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << qPrintable(err);
                EXPECT_EQ(readFile(path("farm.json")), before);
            }
            write("farm.json", before);
        }
    }
    EXPECT_GT(limitedRuns, 4);
}
#endif
} // namespace
