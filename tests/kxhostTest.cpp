// kxhost run as a process on real files: output, log files, saved boxes and
// the refusal of every kind of bad input.
//
// The cases named Delivery* check message boxes and the delivery log lines;
// they need the plug-in's delivery to be in the module.
#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

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

QJsonObject farmOf(const QStringList &names)
{
    QJsonArray clients;
    for (const QString &name : names)
        clients.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("messageBox"), QString()}});
    return QJsonObject{{QStringLiteral("logFolder"), QStringLiteral("logs")}, {QStringLiteral("clients"), clients}};
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

TEST_F(Kxhost, ExampleFarmRunsEveryEventAndWritesTheLogFile)
{
    const KxhostRun run = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"), path("jobs.json")});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_TRUE(run.err.isEmpty()) << qPrintable(run.err);
    for (const char *expected : {"pInit    -> 1 (success)", "kxMessage 1.0 by KX, Talvenhorst",
                                 "event 1 of 5: job {KT9a}, progress 200 (finished), to 'render01;render02'",
                                 "event 2 of 5: job {KUAb}, progress 100 (preview frames done)",
                                 "event 3 of 5: job {KT9b}, progress 150 (frames done)",
                                 "pNotify -> 14 (the job names no recipient)", "pExit    -> 1 (success)"})
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(expected))) << expected << "\n" << qPrintable(run.out);

    const QString log = QString::fromUtf8(readFile(path("logs/kxserver.log")));
    for (const char *job : {"{KT9a}", "{KUAb}", "{KT9b}", "{KUBc}", "{KUCd}"})
        EXPECT_TRUE(log.contains(QStringLiteral("pNotify kxMessage started for job ") + QLatin1String(job))) << job;
    EXPECT_TRUE(log.contains(QStringLiteral("pNotify kxMessage: No Client Name specified")));
    // Without --save the farm file stays as it was.
    EXPECT_EQ(readFile(path("farm.json")), readFile(QStringLiteral(KXHOST_EXAMPLES_DIR "/farm.json")));
}

TEST_F(Kxhost, DeliveryAppendsTheFourLineTextToEachNamedClient)
{
    const QString oldBox = messageBox(path("farm.json"), 0);
    const KxhostRun run = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"),
                               path("jobs.json"), QStringLiteral("--save")});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);

    const QString finished = notificationPattern(QStringLiteral("Job {KT9a} [final frames] finished. "),
                                                 QStringLiteral("/projects/harbour/shot020.scn"),
                                                 QStringLiteral("/renders/harbour/shot020_####.exr"));
    EXPECT_TRUE(matchesWhole(messageBox(path("farm.json"), 0),
                             QRegularExpression::escape(oldBox + QStringLiteral("\n\n")) + finished))
        << qPrintable(messageBox(path("farm.json"), 0));
    EXPECT_TRUE(matchesWhole(messageBox(path("farm.json"), 1), finished));
    EXPECT_TRUE(matchesWhole(messageBox(path("farm.json"), 2),
                             notificationPattern(QStringLiteral("Job {KUAb} [preview] preview frames done. "),
                                                 QStringLiteral("/projects/harbour/shot030.scn"),
                                                 QStringLiteral("/renders/harbour/shot030_####.jpg"))));
    EXPECT_TRUE(matchesWhole(messageBox(path("farm.json"), 3),
                             notificationPattern(QStringLiteral("Job {KT9b} [frames 1-50] frames done. "),
                                                 QStringLiteral("/projects/harbour/shot040.scn"),
                                                 QStringLiteral("/renders/harbour/shot040_####.exr"))));
    EXPECT_TRUE(run.out.contains(QStringLiteral("message box of render02")));

    const QString log = QString::fromUtf8(readFile(path("logs/kxserver.log")));
    EXPECT_TRUE(log.contains(QStringLiteral("{KT9a} kxNotifyKXMessage send to 'render01;render02'. (")));
    EXPECT_TRUE(log.contains(QStringLiteral("{KUBc} kxNotifyKXMessage NOT SEND. 'render99' not found. (")));
}

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

TEST_F(Kxhost, InfoShowsTheIdentityAndTheVerdict)
{
    const KxhostRun run = runKxhost({QStringLiteral("info")});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    for (const char *expected : {"pInfo    -> 1 (success)", "name          kxMessage", "author        KX, Talvenhorst",
                                 "version       1.0", "SDK version   \" 8.4.03\"", "records accepted"})
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(expected))) << expected << "\n" << qPrintable(run.out);
}

TEST_F(Kxhost, ModuleThatCannotBeLoadedIsReported)
{
    const KxhostRun missing = runKxhost({QStringLiteral("info"), QStringLiteral("--plugin"), path("none.so")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("none.so: no such module file"))) << qPrintable(missing.err);

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
    EXPECT_EQ(runKxhost({QStringLiteral("--help")}).exitCode, 0);
    EXPECT_EQ(runKxhost({QStringLiteral("frobnicate")}).exitCode, 2);
}

TEST_F(Kxhost, GeneratedFullTableReachesItsLastClient)
{
    writeJson(path("jobs.json"), jobsOf({eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render32767"))}));
    const KxhostRun run = runKxhost({QStringLiteral("notify"), QStringLiteral("--clients"), QStringLiteral("32767"),
                               QStringLiteral("--job"), path("jobs.json"), QStringLiteral("--log-folder"), path("logs")});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_TRUE(run.out.contains(QStringLiteral("generated, 32767 clients")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("pNotify -> 1 \\(success\\) in [0-9.]+ (us|ms)")).match(run.out).hasMatch());

    const KxhostRun written = runKxhost({QStringLiteral("generate"), QStringLiteral("--clients"), QStringLiteral("12"),
                                   path("big.json")});
    ASSERT_EQ(written.exitCode, 0) << qPrintable(written.err);
    const QJsonArray clients = readJson(path("big.json")).value(QStringLiteral("clients")).toArray();
    ASSERT_EQ(clients.size(), 12);
    EXPECT_EQ(clients.at(0).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("render01"));
    EXPECT_EQ(clients.at(11).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("render12"));
}

TEST_F(Kxhost, GenerateRefusesAFarmThatNotifyWouldRefuse)
{
    const KxhostRun run = runKxhost({QStringLiteral("generate"), QStringLiteral("--clients"), QStringLiteral("3"),
                                     QStringLiteral("--log-folder"), QString(), path("empty-log.json")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--log-folder: must name a folder"))) << qPrintable(run.err);
    EXPECT_FALSE(QFile::exists(path("empty-log.json")));
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

struct BadInput
{
    const char *name;
    // Either file may be replaced; an empty text keeps the example.
    QByteArray farm;
    QByteArray jobs;
    QStringList extraArguments;
    QString expectedMessage;
};

QByteArray farmBytes(const QJsonObject &farm)
{
    return QJsonDocument(farm).toJson();
}

QByteArray jobBytes(const QJsonObject &event)
{
    return QJsonDocument(jobsOf({event})).toJson();
}

QJsonObject eventWith(const QString &key, const QJsonValue &value)
{
    QJsonObject event = eventOf(QStringLiteral("{KT9a}"), 200, QStringLiteral("render01"));
    event.insert(key, value);
    return event;
}

QJsonObject farmWithClient(const QJsonObject &client)
{
    QJsonObject farm = farmOf({});
    farm.insert(QStringLiteral("clients"), QJsonArray{client});
    return farm;
}

std::vector<BadInput> badInputs()
{
    const QString x = QStringLiteral("x");
    QJsonArray tooManyClients;
    for (int i = 0; i < 32768; ++i)
        tooManyClients.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("c%1").arg(i)}});
    QJsonObject tooLargeFarm = farmOf({});
    tooLargeFarm.insert(QStringLiteral("clients"), tooManyClients);
    QJsonObject farmWithBadLog = farmOf({QStringLiteral("render01")});
    farmWithBadLog.insert(QStringLiteral("log"), QJsonObject{{QStringLiteral("splitCategory"), 128}});
    QJsonObject farmWithLongSeparator = farmOf({QStringLiteral("render01")});
    farmWithLongSeparator.insert(QStringLiteral("log"), QJsonObject{{QStringLiteral("stampSeparator"), QStringLiteral("||")}});

    return {
        {"malformed farm", "{ \"logFolder\": \"logs\",\n  \"clients\": [ }", {}, {}, QStringLiteral("farm.json: malformed JSON at line 2")},
        {"malformed jobs", {}, "[1, 2", {}, QStringLiteral("jobs.json: malformed JSON")},
        {"farm not an object", "[]", {}, {}, QStringLiteral("farm.json: (top level): must be a JSON object")},
        {"unknown farm field", farmBytes(farmWithClient({{QStringLiteral("name"), QStringLiteral("r1")}, {QStringLiteral("colour"), x}})),
         {}, {}, QStringLiteral("farm.json: clients[0].colour: unknown field")},
        {"unknown event field", {}, jobBytes(eventWith(QStringLiteral("recipient"), x)), {},
         QStringLiteral("jobs.json: events[0].recipient: unknown field")},
        {"mistyped progress", {}, jobBytes(eventWith(QStringLiteral("progressCode"), QStringLiteral("200"))), {},
         QStringLiteral("jobs.json: events[0].progressCode: must be a whole number from 0 to 255, not a text")},
        {"mistyped name", farmBytes(farmWithClient({{QStringLiteral("name"), 7}})), {}, {},
         QStringLiteral("farm.json: clients[0].name: must be a text, not a number")},
        {"progress above 255", {}, jobBytes(eventWith(QStringLiteral("progressCode"), 256)), {},
         QStringLiteral("jobs.json: events[0].progressCode: 256 is outside the limit: must be a whole number from 0 to 255")},
        {"progress below 0", {}, jobBytes(eventWith(QStringLiteral("progressCode"), -1)), {},
         QStringLiteral("events[0].progressCode: -1 is outside the limit")},
        {"fractional progress", {}, jobBytes(eventWith(QStringLiteral("progressCode"), 20.5)), {},
         QStringLiteral("events[0].progressCode: 20.5 is outside the limit")},
        {"scene too long", {}, jobBytes(eventWith(QStringLiteral("scene"), QString(1001, QLatin1Char('s')))), {},
         QStringLiteral("jobs.json: events[0].scene: 1001 characters, but the record field holds at most 1000")},
        {"image too long", {}, jobBytes(eventWith(QStringLiteral("imageExtension"), QString(501, QLatin1Char('s')))), {},
         QStringLiteral("events[0].imageExtension: 501 characters, but the record field holds at most 500")},
        {"bracket text too long", {}, jobBytes(eventWith(QStringLiteral("infoText"), QString(101, QLatin1Char('s')))), {},
         QStringLiteral("events[0].infoText: 101 characters, but the record field holds at most 100")},
        {"recipients too long", {}, jobBytes(eventWith(QStringLiteral("recipients"), QString(51, QLatin1Char('r')))), {},
         QStringLiteral("events[0].recipients: 51 characters, but the record field holds at most 50")},
        {"client name too long", farmBytes(farmOf({QString(51, QLatin1Char('n'))})), {}, {},
         QStringLiteral("farm.json: clients[0].name: 51 characters, but the record field holds at most 50")},
        {"message box too long",
         farmBytes(farmWithClient({{QStringLiteral("name"), QStringLiteral("r1")}, {QStringLiteral("messageBox"), QString(2501, QLatin1Char('m'))}})),
         {}, {}, QStringLiteral("farm.json: clients[0].messageBox: 2501 characters, but the record field holds at most 2500")},
        {"client name outside Latin-1", farmBytes(farmOf({QStringLiteral("render") + QChar(0x0416)})), {}, {},
         QStringLiteral("farm.json: clients[0].name: character 7 (U+0416) is outside Latin-1")},
        {"client name with the list separator", farmBytes(farmOf({QStringLiteral("render;01")})), {}, {},
         QStringLiteral("farm.json: clients[0].name: must not contain \";\"")},
        {"too many clients", farmBytes(tooLargeFarm), {}, {},
         QStringLiteral("farm.json: clients: 32768 clients, but a client table holds at most 32767")},
        {"split category beyond 8 bits", farmBytes(farmWithBadLog), {}, {},
         QStringLiteral("farm.json: log.splitCategory: 128 is outside the limit")},
        {"separator of two characters", farmBytes(farmWithLongSeparator), {}, {},
         QStringLiteral("farm.json: log.stampSeparator: 2 characters, but the record field holds at most 1")},
        {"job ID text no value shows", {}, jobBytes(eventWith(QStringLiteral("jobId"), QStringLiteral("{IT9a}"))), {},
         QStringLiteral("jobs.json: events[0].jobId: \"{IT9a}\" is no job ID text")},
        {"job ID text too long", {}, jobBytes(eventWith(QStringLiteral("jobId"), QStringLiteral("{KT9aaa}"))), {},
         QStringLiteral("jobs.json: events[0].jobId: \"{KT9aaa}\" is no job ID text")},
        {"job ID bytes not hexadecimal", {},
         jobBytes(QJsonObject{{QStringLiteral("jobIdBytes"), QStringLiteral("01 02 03")}, {QStringLiteral("progressCode"), 1},
                              {QStringLiteral("recipients"), x}}),
         {}, QStringLiteral("events[0].jobIdBytes: \"01 02 03\" is not 8 bytes in hexadecimal")},
        {"missing recipients", {},
         jobBytes(QJsonObject{{QStringLiteral("jobId"), QStringLiteral("{KT9a}")}, {QStringLiteral("progressCode"), 1}}), {},
         QStringLiteral("jobs.json: events[0].recipients: missing")},
        {"no events", {}, QJsonDocument(jobsOf({})).toJson(), {}, QStringLiteral("jobs.json: events: must hold at least one event")},
        {"missing job file", {}, {}, {QStringLiteral("--job"), QStringLiteral("absent.json")},
         QStringLiteral("absent.json: no such file")},
        {"generated table too large", {}, {}, {QStringLiteral("--clients"), QStringLiteral("32768")},
         QStringLiteral("--clients: 32768 is outside the limit: a client table holds 1 to 32767 clients")},
    };
}

TEST_F(Kxhost, BadInputIsRefusedWithOneMessageAndNothingWritten)
{
    const QByteArray exampleJobs = readFile(path("jobs.json"));
    const QByteArray exampleFarm = readFile(path("farm.json"));
    for (const BadInput &input : badInputs()) {
        SCOPED_TRACE(input.name);
        writeFile(path("farm.json"), input.farm.isEmpty() ? exampleFarm : input.farm);
        writeFile(path("jobs.json"), input.jobs.isEmpty() ? exampleJobs : input.jobs);
        const QByteArray farmBefore = readFile(path("farm.json"));
        QStringList arguments{QStringLiteral("notify")};
        if (input.extraArguments.value(0) == QLatin1String("--clients"))
            arguments << input.extraArguments << QStringLiteral("--job") << path("jobs.json") << QStringLiteral("--log-folder")
                      << path("logs");
        else if (input.extraArguments.value(0) == QLatin1String("--job"))
            arguments << path("farm.json") << QStringLiteral("--job") << path("absent.json") << QStringLiteral("--save");
        else
            arguments << path("farm.json") << QStringLiteral("--job") << path("jobs.json") << QStringLiteral("--save");

        const KxhostRun run = runKxhost(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains(input.expectedMessage)) << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
        EXPECT_TRUE(run.out.isEmpty()) << qPrintable(run.out);
        EXPECT_EQ(readFile(path("farm.json")), farmBefore);
        EXPECT_FALSE(QDir(path("logs")).exists());
    }
}

TEST_F(Kxhost, UnreadableInputIsRefused)
{
    const QByteArray farmBefore = readFile(path("farm.json"));
    const KxhostRun folderAsJobs = runKxhost({QStringLiteral("notify"), path("farm.json"), QStringLiteral("--job"),
                                        m_folder.path(), QStringLiteral("--save")});
    EXPECT_EQ(folderAsJobs.exitCode, 2);
    EXPECT_TRUE(folderAsJobs.err.contains(QStringLiteral(": is a folder, not a file"))) << qPrintable(folderAsJobs.err);

    const KxhostRun missingFarm = runKxhost({QStringLiteral("notify"), path("absent.json"), QStringLiteral("--job"),
                                       path("jobs.json")});
    EXPECT_EQ(missingFarm.exitCode, 2);
    EXPECT_TRUE(missingFarm.err.contains(QStringLiteral("absent.json: no such file")));
    EXPECT_EQ(readFile(path("farm.json")), farmBefore);
    EXPECT_FALSE(QDir(path("logs")).exists());
}
} // namespace
