// kxhost run as a process on real files, where a golden case
// (tests/golden/kxhost, kxhostGoldenTest) cannot show it: saved boxes, runs
// at the same time, held locks, and the limits, mounts and permissions a
// test must set up around the process.
//
// The cases named Delivery* check message boxes and the delivery log lines;
// they need the plug-in's delivery to be in the module.
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLockFile>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#if defined(_WIN32)
#  include <windows.h>
#  include <vector>
#endif

namespace {
struct KxhostRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

KxhostRun runKxhost(const QStringList &arguments, const QString &workingFolder = QString())
{
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.start(QStringLiteral(KXHOST_BINARY_PATH), arguments);
    KxhostRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
#if defined(_WIN32)
    // The C runtime writes a line end as CR LF to a pipe.
    run.out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    run.err.replace(QLatin1String("\r\n"), QLatin1String("\n"));
#endif
    return run;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void writeJson(const QString &path, const QJsonObject &object)
{
    writeFile(path, QJsonDocument(object).toJson());
}

QJsonObject readJson(const QString &path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

QString messageBox(const QString &farmPath, int client)
{
    return readJson(farmPath).value(QStringLiteral("clients")).toArray().at(client).toObject()
        .value(QStringLiteral("messageBox")).toString();
}

QJsonObject farmOf(const QStringList &names, const QString &logFolder = QStringLiteral("logs"))
{
    QJsonArray clients;
    for (const QString &name : names)
        clients.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("messageBox"), QString()}});
    return QJsonObject{{QStringLiteral("logFolder"), logFolder}, {QStringLiteral("clients"), clients}};
}

QJsonObject farmWithLog(const QJsonObject &log, const QString &logFolder = QStringLiteral("logs"))
{
    QJsonObject farm = farmOf({QStringLiteral("render01")}, logFolder);
    farm.insert(QStringLiteral("log"), log);
    return farm;
}

QJsonObject eventOf(const QString &jobId, int progressCode, const QString &recipients)
{
    return QJsonObject{{QStringLiteral("jobId"), jobId},
                       {QStringLiteral("progressCode"), progressCode},
                       {QStringLiteral("scene"), QStringLiteral("/scenes/s.scn")},
                       {QStringLiteral("recipients"), recipients}};
}

QJsonObject jobsOf(const QJsonArray &events)
{
    return QJsonObject{{QStringLiteral("events"), events}};
}

// The text the plug-in composes, its time line matched loosely.
QString notificationPattern(const QString &jobLine, const QString &scene, const QString &image)
{
    return QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\\n") + QRegularExpression::escape(jobLine)
           + QStringLiteral("\\n") + QRegularExpression::escape(QStringLiteral("Scene:") + scene + QLatin1Char(' '))
           + QStringLiteral("\\n") + QRegularExpression::escape(QStringLiteral("Image:") + image);
}

bool matchesWhole(const QString &text, const QString &pattern)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

class Kxhost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        const QDir examples(QStringLiteral(KXHOST_EXAMPLES_DIR));
        ASSERT_TRUE(QFile::copy(examples.filePath(QStringLiteral("farm.json")), path("farm.json")));
        ASSERT_TRUE(QFile::copy(examples.filePath(QStringLiteral("jobs.json")), path("jobs.json")));
        QFile::setPermissions(path("farm.json"), QFile::ReadOwner | QFile::WriteOwner);
    }
    QString path(const char *name) const { return m_folder.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_folder;
};

TEST_F(Kxhost, DeliverySecondSavedRunAppendsAfterTheSeparator)
{
    writeJson(path("farm.json"), farmOf({QStringLiteral("render01"), QStringLiteral("render02")}));
    writeJson(path("jobs.json"), jobsOf({eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render02"))}));
    const QStringList arguments{QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json"),
                                QStringLiteral("--save")};
    ASSERT_EQ(runKxhost(arguments).exitCode, 0);
    const QString first = messageBox(path("farm.json"), 1);
    const QString text = notificationPattern(QStringLiteral("Job {KT9a} [] finished. "), QStringLiteral("/scenes/s.scn"),
                                             QString());
    ASSERT_TRUE(matchesWhole(first, text)) << qPrintable(first);

    ASSERT_EQ(runKxhost(arguments).exitCode, 0);
    const QString second = messageBox(path("farm.json"), 1);
    EXPECT_TRUE(second.startsWith(first + QStringLiteral("\n\n"))) << qPrintable(second);
    EXPECT_TRUE(matchesWhole(second.mid(first.size() + 2), text)) << qPrintable(second);
    EXPECT_TRUE(messageBox(path("farm.json"), 0).isEmpty());
}

TEST_F(Kxhost, DeliveryManyEventsTrimTheOldestTextAway)
{
    writeJson(path("farm.json"), farmOf({QStringLiteral("render01")}));
    QJsonArray events;
    for (int i = 0; i < 40; ++i) {
        QJsonObject event = eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render01"));
        event.insert(QStringLiteral("infoText"), QStringLiteral("event %1").arg(i, 2, 10, QLatin1Char('0')));
        events.append(event);
    }
    writeJson(path("jobs.json"), jobsOf(events));
    const KxhostRun run = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"),
                               path("jobs.json"), QStringLiteral("--save")});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    const QString box = messageBox(path("farm.json"), 0);
    // After a trim and the append behind it the box holds one character less than it could.
    EXPECT_EQ(box.size(), 2499);
    EXPECT_TRUE(box.contains(QStringLiteral("[event 39] finished. ")));
    EXPECT_FALSE(box.contains(QStringLiteral("[event 00]")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("(2499 of 2500 characters)")));
}

// The loader's message differs from system to system, so this is no golden case.
TEST_F(Kxhost, FileThatIsNoModuleIsReported)
{
    const KxhostRun notAModule = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"),
                                      path("jobs.json"), QStringLiteral("--plugin"), path("jobs.json")});
    EXPECT_EQ(notAModule.exitCode, 1);
    EXPECT_TRUE(notAModule.err.contains(QStringLiteral("cannot be loaded as a notification module")))
        << qPrintable(notAModule.err);
    EXPECT_FALSE(QDir(path("logs")).exists());
}

TEST_F(Kxhost, EveryCommandHasHelp)
{
    for (const char *command : {"info", "notify", "generate"}) {
        const KxhostRun run = runKxhost({QString::fromLatin1(command), QStringLiteral("--help")});
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_TRUE(run.out.contains(QStringLiteral("--help"))) << command;
        // The usage line is one a user can type back, whatever path started kxhost.
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage: kxhost %1 [options]").arg(QLatin1String(command))))
            << qPrintable(run.out.section(QLatin1Char('\n'), 0, 0));
    }
    EXPECT_TRUE(runKxhost({QStringLiteral("notify"), QStringLiteral("--help")}).out.contains(QStringLiteral("--save")));
}

#if defined(__SANITIZE_ADDRESS__)
#define KX_ADDRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_ADDRESS_SANITIZED 1
#endif
#endif

TEST_F(Kxhost, TableTooLargeForTheMemoryIsReportedNotAborted)
{
#ifdef KX_ADDRESS_SANITIZED
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
    writeJson(path("jobs.json"), jobsOf({eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render00001"))}));
    // A full table of client records needs several gigabytes; one gigabyte of address space is too little.
    QProcess process;
#if defined(_WIN32)
    // No ulimit on Windows: kxhost.exe starts inside a job object whose
    // processes may commit one gigabyte.
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "wine does not enforce a job object's memory limit";
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_NE(job, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
    limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    limit.ProcessMemoryLimit = SIZE_T(1000000) * 1024;
    ASSERT_TRUE(SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limit, sizeof limit));
    SIZE_T attributeSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    std::vector<unsigned char> attributeBytes(attributeSize);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBytes.data());
    ASSERT_TRUE(InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize));
    HANDLE jobs[] = {job};
    ASSERT_TRUE(UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, jobs, sizeof jobs, nullptr,
                                          nullptr));
    STARTUPINFOEXW startup{};
    process.setCreateProcessArgumentsModifier([&startup, attributes](QProcess::CreateProcessArguments *arguments) {
        startup.StartupInfo = *arguments->startupInfo;
        startup.StartupInfo.cb = sizeof startup;
        startup.lpAttributeList = attributes;
        arguments->startupInfo = &startup.StartupInfo;
        arguments->flags |= EXTENDED_STARTUPINFO_PRESENT;
    });
    process.start(QStringLiteral(KXHOST_BINARY_PATH),
                  {QStringLiteral("notify"), QStringLiteral("--clients"), QStringLiteral("32767"),
                   QStringLiteral("--job"), path("jobs.json"), QStringLiteral("--log-folder"), path("logs")});
    const bool finished = process.waitForFinished(120000);
    DeleteProcThreadAttributeList(attributes);
    CloseHandle(job);
    ASSERT_TRUE(finished);
#else
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("ulimit -v 1000000 && exec \"$0\" \"$@\""),
                   QStringLiteral(KXHOST_BINARY_PATH), QStringLiteral("notify"), QStringLiteral("--clients"),
                   QStringLiteral("32767"), QStringLiteral("--job"), path("jobs.json"), QStringLiteral("--log-folder"),
                   path("logs")});
    ASSERT_TRUE(process.waitForFinished(120000));
#endif
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << qPrintable(err);
    EXPECT_EQ(process.exitCode(), 1) << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("32767 client records do not fit in memory"))) << qPrintable(err);
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << qPrintable(err);
    EXPECT_FALSE(QDir(path("logs")).exists());
}

// The one refusal whose input is too large to keep as a golden case (tests/golden/kxhost holds the rest).
TEST_F(Kxhost, FarmOfMoreClientsThanATableHoldsIsRefused)
{
    QJsonArray clients;
    for (int i = 0; i < 32768; ++i)
        clients.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("c%1").arg(i)}});
    QJsonObject farm = farmOf({});
    farm.insert(QStringLiteral("clients"), clients);
    writeJson(path("farm.json"), farm);
    const QByteArray farmBefore = readFile(path("farm.json"));
    const KxhostRun run = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json"),
                                     QStringLiteral("--save")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, QStringLiteral("kxhost: %1: clients: 32768 clients, but a client table holds at most 32767\n")
                           .arg(path("farm.json")));
    EXPECT_TRUE(run.out.isEmpty()) << qPrintable(run.out);
    EXPECT_EQ(readFile(path("farm.json")), farmBefore);
    EXPECT_FALSE(QDir(path("logs")).exists());
    EXPECT_FALSE(QFile::exists(path("farm.json.lock")));
}

const QString kKxhost = QStringLiteral(KXHOST_BINARY_PATH);
} // namespace

// Two people saving runs on one farm at the same moment: both runs' texts stay.
TEST_F(Kxhost, ConcurrentSavesKeepEveryDelivery)
{
    writeJson(path("jobs-a.json"), jobsOf({eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render01;render02")),
                                           eventOf(QStringLiteral("{KT9b}"), 150, QStringLiteral("render02"))}));
    writeJson(path("jobs-b.json"), jobsOf({eventOf(QStringLiteral("{KUAb}"), 200, QStringLiteral("render01;render02")),
                                           eventOf(QStringLiteral("{KUBc}"), 150, QStringLiteral("render01"))}));
    constexpr int kRepetitions = 20;
    for (int repetition = 0; repetition < kRepetitions; ++repetition) {
        SCOPED_TRACE(repetition);
        writeJson(path("farm.json"), farmOf({QStringLiteral("render01"), QStringLiteral("render02")}));
        QProcess first;
        QProcess second;
        first.start(kKxhost, {QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs-a.json"),
                              QStringLiteral("--save")});
        second.start(kKxhost, {QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs-b.json"),
                               QStringLiteral("--save")});
        // Waiting for one may already have seen the other finish.
        for (QProcess *run : {&first, &second})
            ASSERT_TRUE(run->state() == QProcess::NotRunning || run->waitForFinished(60000)) << qPrintable(run->errorString());
        ASSERT_EQ(first.exitStatus(), QProcess::NormalExit);
        ASSERT_EQ(second.exitStatus(), QProcess::NormalExit);
        const QString firstOut = QString::fromUtf8(first.readAllStandardOutput());
        const QString secondOut = QString::fromUtf8(second.readAllStandardOutput());
        ASSERT_EQ(first.exitCode(), 0) << first.readAllStandardError().constData();
        ASSERT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();

        const QString box1 = messageBox(path("farm.json"), 0);
        const QString box2 = messageBox(path("farm.json"), 1);
        for (const char *job : {"{KT9a}", "{KUAb}", "{KUBc}"})
            EXPECT_TRUE(box1.contains(QLatin1String(job))) << job << "\n" << qPrintable(box1);
        for (const char *job : {"{KT9a}", "{KT9b}", "{KUAb}"})
            EXPECT_TRUE(box2.contains(QLatin1String(job))) << job << "\n" << qPrintable(box2);
        // Each run shows its own log lines only.
        for (const char *job : {"{KUAb}", "{KUBc}"})
            EXPECT_FALSE(firstOut.contains(QStringLiteral("started for job ") + QLatin1String(job))) << qPrintable(firstOut);
        for (const char *job : {"{KT9a}", "{KT9b}"})
            EXPECT_FALSE(secondOut.contains(QStringLiteral("started for job ") + QLatin1String(job))) << qPrintable(secondOut);
        EXPECT_FALSE(QFile::exists(path("farm.json.lock")));
    }
}

TEST_F(Kxhost, LockHeldByAnotherRunEndsTheRunAfterItsTimeout)
{
    const QByteArray farmBefore = readFile(path("farm.json"));
    QLockFile held(path("farm.json.lock"));
    ASSERT_TRUE(held.tryLock(0));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json"), QStringLiteral("--save"),
                      QStringLiteral("--lock-timeout"), QStringLiteral("1")},
          QStringList{QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json"),
                      QStringLiteral("--lock-timeout"), QStringLiteral("0")},
          QStringList{QStringLiteral("generate"), QStringLiteral("--clients"), QStringLiteral("3"), QStringLiteral("--force"),
                      path("farm.json"), QStringLiteral("--lock-timeout"), QStringLiteral("1")}}) {
        SCOPED_TRACE(qPrintable(arguments.join(QLatin1Char(' '))));
        const KxhostRun run = runKxhost(arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(path("farm.json") + QStringLiteral(": another kxhost run is using this farm file")))
            << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
        EXPECT_EQ(readFile(path("farm.json")), farmBefore);
        EXPECT_FALSE(QDir(path("logs")).exists());
    }
    held.unlock();

#ifndef Q_OS_WIN
    // A lock left by a run that no longer exists is taken over.
    QProcess ended;
    ended.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    ASSERT_TRUE(ended.waitForFinished());
    const QByteArray endedPid = ended.readAllStandardOutput().trimmed();
    ASSERT_FALSE(endedPid.isEmpty());
    QByteArray lockText;
    {
        QLockFile sample(path("sample.lock"));
        ASSERT_TRUE(sample.tryLock(0));
        lockText = readFile(path("sample.lock"));
        sample.unlock();
    }
    lockText = endedPid + lockText.mid(lockText.indexOf('\n'));
    writeFile(path("farm.json.lock"), lockText);
    const KxhostRun run = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json"),
                                     QStringLiteral("--save"), QStringLiteral("--lock-timeout"), QStringLiteral("5")});
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_FALSE(QFile::exists(path("farm.json.lock")));
#endif
}

// A log file that cannot be written fails the run, names the file and keeps the farm as it was.
TEST_F(Kxhost, UnwritableLogFileEndsTheRunWithoutSaving)
{
    struct Case
    {
        const char *name;
        QString logFile;
        std::function<void(const QString &logPath)> prepare;
        QString expected;
    };
    const Case cases[] = {
        {"log file is a folder", QStringLiteral("kxserver.log"),
         [](const QString &logPath) { QDir().mkpath(logPath); }, QStringLiteral("kxserver.log: ")},
#ifndef Q_OS_WIN
        // 404 bytes in UTF-8, beyond the 255 most POSIX file systems take (Windows counts characters).
        {"log file name over the file system's byte limit", QString(200, QChar(0x00E9)) + QStringLiteral(".log"),
         [](const QString &) {}, QString(200, QChar(0x00E9)) + QStringLiteral(".log: ")},
        {"log file is a link to a folder", QStringLiteral("linked.log"),
         [](const QString &logPath) {
             QDir().mkpath(logPath + QStringLiteral(".target"));
             QFile::link(logPath + QStringLiteral(".target"), logPath);
         },
         QStringLiteral("linked.log: ")},
#endif
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QJsonObject farm = farmWithLog({{QStringLiteral("mainFile"), c.logFile}});
        writeJson(path("farm.json"), farm);
        QDir(path("logs")).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(path("logs")));
        c.prepare(path("logs") + QLatin1Char('/') + c.logFile);
        writeJson(path("jobs.json"), jobsOf({eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render01"))}));
        const QByteArray farmBefore = readFile(path("farm.json"));

        const KxhostRun run = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json"),
                                         QStringLiteral("--save")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("kxhost: the log could not be written: cannot write log file ")))
            << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(c.expected)) << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QStringLiteral("(the farm file is not saved)"))) << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
        EXPECT_FALSE(run.out.contains(QStringLiteral("saved"))) << qPrintable(run.out);
        EXPECT_EQ(readFile(path("farm.json")), farmBefore);
    }
}

#ifndef Q_OS_WIN
namespace {
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct ShellRun
{
    int exitCode = -1;
    bool isNormalExit = false;
    QString out;
    QString err;
};

// A POSIX shell script given the kxhost binary as $K; for limits and mounts a
// process of our own cannot set for a child.
ShellRun runShell(const QString &script, const QStringList &arguments = {})
{
    QProcess process;
    process.start(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"), script, QStringLiteral("sh")} + arguments);
    ShellRun run;
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.isNormalExit = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
} // namespace

TEST_F(Kxhost, UnreadableFarmFileIsAFileThatCouldNotBeUsed)
{
    // Permissions do not stop the superuser, so the run drops to an ordinary user.
    const bool isRoot = runShell(QStringLiteral("test \"$(id -u)\" = 0")).exitCode == 0;
    if (isRoot && runShell(QStringLiteral("command -v setpriv")).exitCode != 0)
        GTEST_SKIP() << "running as root without setpriv: no way to make a file unreadable";
    QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                              | QFile::ExeOther | QFile::WriteOther | QFile::ReadGroup | QFile::ExeGroup);
    QFile::setPermissions(path("jobs.json"), QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup);
    QFile::setPermissions(path("farm.json"), QFileDevice::Permissions());
    const QString prefix = isRoot ? QStringLiteral("exec setpriv --reuid=65534 --regid=65534 --clear-groups ")
                                  : QStringLiteral("exec ");
    const ShellRun run = runShell(prefix + QStringLiteral("\"$1\" notify \"$2\" --job \"$3\""),
                                  {kKxhost, path("farm.json"), path("jobs.json")});
    QFile::setPermissions(path("farm.json"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(run.exitCode, 1) << qPrintable(run.err);
    EXPECT_TRUE(run.err.contains(path("farm.json") + QStringLiteral(": cannot be read: "))) << qPrintable(run.err);
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
}

// The farm as the test left it, and the folder without leftovers such as a temporary file.
void expectFarmWhole(const QString &farmPath, const QByteArray &before)
{
    EXPECT_EQ(readFile(farmPath), before);
    const QStringList left = filesIn(QFileInfo(farmPath).absolutePath());
    for (const QString &name : left)
        EXPECT_TRUE(name == QLatin1String("farm.json") || name.endsWith(QLatin1String(".json"))
                    || name.startsWith(QLatin1String("filler")))
            << qPrintable(name);
}

// Writing past a file-size limit fails part way, as on a disk that fills up; the
// signal such a write raises is ignored, so the write only returns an error.
TEST_F(Kxhost, SaveBeyondAFileSizeLimitLeavesTheFarmWhole)
{
    // A long box makes the farm larger than the log files a run writes; it is padded to end
    // just below a block, so that a few more characters need one more.
    QJsonObject farm = farmOf({QStringLiteral("render01"), QStringLiteral("render02")}, path("logs"));
    const auto withBox = [&farm](int length) {
        QJsonArray clients = farm.value(QStringLiteral("clients")).toArray();
        clients.replace(1, QJsonObject{{QStringLiteral("name"), QStringLiteral("render02")},
                                       {QStringLiteral("messageBox"), QString(length, QLatin1Char('m'))}});
        farm.insert(QStringLiteral("clients"), clients);
        return QJsonDocument(farm).toJson().size();
    };
    const qsizetype baseSize = withBox(1900);
    withBox(int(1900 + 511 - baseSize % 512 - 8));
    writeJson(path("jobs.json"), jobsOf({eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render01"))}));

    struct Case
    {
        const char *name;
        QStringList arguments;
    };
    const Case cases[] = {
        {"notify --save", {QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json"), QStringLiteral("--save")}},
        {"generate --force", {QStringLiteral("generate"), QStringLiteral("--clients"), QStringLiteral("200"), QStringLiteral("--force"), path("farm.json")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeJson(path("farm.json"), farm);
        const QByteArray before = readFile(path("farm.json"));
        // In blocks of 512 bytes: room for the old farm, none for a longer one.
        const qint64 blocks = (before.size() + 511) / 512;
        const ShellRun run = runShell(QStringLiteral("trap '' XFSZ; ulimit -f %1 || exit 99; exec \"$@\"").arg(blocks),
                                      QStringList{kKxhost} + c.arguments);
        if (run.exitCode == 99)
            GTEST_SKIP() << "this shell cannot set a file-size limit";
        ASSERT_TRUE(run.isNormalExit);
        EXPECT_EQ(run.exitCode, 1) << qPrintable(run.out) << qPrintable(run.err);
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("kxhost: ") + path("farm.json") + QStringLiteral(": cannot be written: ")))
            << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
        EXPECT_FALSE(run.out.contains(QStringLiteral("saved"))) << qPrintable(run.out);
        expectFarmWhole(path("farm.json"), before);
    }
}

// A small file system of its own, mounted where only the test's child sees it.
TEST_F(Kxhost, FullDiskLeavesTheFarmWholeAndFailsTheRun)
{
    if (runShell(QStringLiteral("exec unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs \"$0\"' \"$1\""), {m_folder.path()})
            .exitCode != 0)
        GTEST_SKIP() << "no private mount namespace with a tmpfs here (needs root and unshare); "
                        "SaveBeyondAFileSizeLimitLeavesTheFarmWhole covers the save";
    ASSERT_TRUE(QDir().mkpath(path("disk")));
    QJsonArray events;
    for (int i = 0; i < 20; ++i)
        events.append(eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render01")));
    writeJson(path("jobs.json"), jobsOf(events));
    // Two full boxes: the farm needs more than the one page the disk has left.
    QJsonObject farm = farmOf({});
    QJsonArray clients;
    for (const char *name : {"render01", "render02"})
        clients.append(QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                                   {QStringLiteral("messageBox"), QString(2400, QLatin1Char('m'))}});
    farm.insert(QStringLiteral("clients"), clients);

    struct Case
    {
        const char *name;
        QString logFolder; // where the farm's logs go
        QString command;   // run inside the mounted disk, the farm as ./farm.json
        QString expected;  // the start of the one message
    };
    const Case cases[] = {
        {"notify --save, logs elsewhere", path("logs"),
         QStringLiteral("\"$K\" notify farm.json --job \"$J\" --save"), QStringLiteral("kxhost: farm.json: cannot be written: ")},
        {"notify --save, logs on the full disk", QStringLiteral("logs"),
         QStringLiteral("\"$K\" notify farm.json --job \"$J\" --save"),
         QStringLiteral("kxhost: the log could not be written: cannot write log file ")},
        {"generate --force", path("logs"), QStringLiteral("\"$K\" generate --clients 100 --force farm.json"),
         QStringLiteral("kxhost: farm.json: cannot be written: ")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        farm.insert(QStringLiteral("logFolder"), c.logFolder);
        writeJson(path("farm-before.json"), farm);
        QDir(path("logs")).removeRecursively();
        // The farm is copied in and the disk filled up but for two pages: one for the lock
        // file, one too few for the new farm or the run's log.
        const QString script = QStringLiteral(
            "exec unshare -m sh -c '"
            "mount -t tmpfs -o size=64k tmpfs \"$D/disk\" || exit 98; cd \"$D/disk\" || exit 98; "
            "cp \"$D/farm-before.json\" farm.json || exit 98; mkdir -p logs; "
            "dd if=/dev/zero of=filler bs=1024 count=1000 2>/dev/null; truncate -s -8192 filler || exit 98; "
            "%1 >\"$D/out.txt\" 2>\"$D/err.txt\"; echo $? >\"$D/status.txt\"; "
            "cp farm.json \"$D/farm-after.json\"; ls -A >\"$D/listing.txt\"'")
                                   .arg(c.command);
        const ShellRun run = runShell(QStringLiteral("D=\"$1\" K=\"$2\" J=\"$3\"; export D K J; ") + script,
                                      {m_folder.path(), kKxhost, path("jobs.json")});
        ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
        const QString err = QString::fromUtf8(readFile(path("err.txt")));
        EXPECT_EQ(readFile(path("status.txt")).trimmed(), QByteArray("1")) << qPrintable(err);
        EXPECT_TRUE(err.startsWith(c.expected)) << qPrintable(err);
        EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << qPrintable(err);
        EXPECT_EQ(readFile(path("farm-after.json")), readFile(path("farm-before.json")));
        const QStringList listing = QString::fromUtf8(readFile(path("listing.txt"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        EXPECT_EQ(listing, (QStringList{QStringLiteral("farm.json"), QStringLiteral("filler"), QStringLiteral("logs")}));
    }
}

// However little memory there is, kxhost ends with a message, never with an abort.
TEST_F(Kxhost, LackOfMemoryEndsTheRunWithAMessage)
{
#ifdef KX_ADDRESS_SANITIZED
    GTEST_SKIP() << "the address sanitizer needs more address space than the limits leave";
#endif
    const QByteArray farmBefore = readFile(path("farm.json"));
    int limitedRuns = 0;
    for (const int kilobytes : {60000, 80000, 100000, 120000, 150000, 200000, 300000, 600000}) {
        for (const QString &command : {QStringLiteral("\"$K\" notify --clients 32767 --job \"$J\" --log-folder \"$L\""),
                                       QStringLiteral("\"$K\" notify \"$F\" --job \"$J\" --save")}) {
            SCOPED_TRACE(qPrintable(QStringLiteral("%1 KiB: %2").arg(kilobytes).arg(command)));
            const ShellRun run = runShell(
                QStringLiteral("K=\"$1\" J=\"$2\" L=\"$3\" F=\"$4\"; ulimit -v %1 || exit 99; exec %2").arg(kilobytes).arg(command),
                {kKxhost, path("jobs.json"), path("logs"), path("farm.json")});
            if (run.exitCode == 99)
                GTEST_SKIP() << "this shell cannot limit the address space";
            // Too little to even load the libraries: the loader's failure, not kxhost's.
            if (run.err.contains(QStringLiteral("error while loading shared libraries")))
                continue;
            ++limitedRuns;
            ASSERT_TRUE(run.isNormalExit) << qPrintable(run.err);
            EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode << qPrintable(run.err);
            if (run.exitCode == 1) {
                EXPECT_TRUE(run.err.startsWith(QStringLiteral("kxhost: "))) << qPrintable(run.err);
                EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
                if (command.contains(QLatin1String("--save"))) {
                    EXPECT_EQ(readFile(path("farm.json")), farmBefore);
                }
            }
            if (run.exitCode == 1 || !command.contains(QLatin1String("--save")))
                continue;
            // A run that saved changed the boxes: start again from the example.
            writeFile(path("farm.json"), farmBefore);
        }
    }
    EXPECT_GT(limitedRuns, 4);
}
#else
// No Windows counterpart that wine can run: each is skipped by name, with why.
TEST_F(Kxhost, UnreadableFarmFileIsAFileThatCouldNotBeUsed)
{
    GTEST_SKIP() << "wine gives its user every file: no unreadable farm file can be made";
}

TEST_F(Kxhost, SaveBeyondAFileSizeLimitLeavesTheFarmWhole)
{
    GTEST_SKIP() << "Windows has no per-process file-size limit";
}

TEST_F(Kxhost, FullDiskLeavesTheFarmWholeAndFailsTheRun)
{
    GTEST_SKIP() << "a small full volume needs a private mount namespace, which wine cannot give";
}

TEST_F(Kxhost, LackOfMemoryEndsTheRunWithAMessage)
{
    GTEST_SKIP() << "wine does not enforce a job object's memory limit";
}
#endif
