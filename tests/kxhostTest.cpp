// kxhost run as a process where a golden case (tests/golden/kxhost) cannot
// show it: runs at the same time, held and stale locks, inputs too large to
// keep, and the limits, mounts and permissions set up around the process.
#include "testFiles.h"

#include <QtCore/QDir>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLockFile>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#if defined(__SANITIZE_ADDRESS__)
#define KX_ADDRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_ADDRESS_SANITIZED 1
#endif
#endif

namespace {
using kxtest::readFile;

struct KxhostRun
{
    int status = -1;
    QString out;
    QString err;
};

// kxhost in `folder`; with a shell prefix, started by /bin/sh (for limits a
// process cannot set for its child); a prefix that ends in exit 99 cannot be had here.
KxhostRun runKxhost(const QString &folder, const QStringList &arguments, const QString &shell = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (shell.isEmpty())
        process.start(QStringLiteral(KXHOST_BINARY_PATH), arguments);
    else
        process.start(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"), shell + QStringLiteral(" exec \"$@\""),
                                                             QStringLiteral("sh"), QStringLiteral(KXHOST_BINARY_PATH)} + arguments);
    KxhostRun run;
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput()).remove(QLatin1Char('\r'));
    run.err = QString::fromUtf8(process.readAllStandardError()).remove(QLatin1Char('\r'));
    return run;
}

QStringList listing(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class Kxhost : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        for (const QFileInfo &entry : QDir(m_folder.path()).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively() : QFile::remove(entry.filePath());
        const QDir examples(QStringLiteral(KXHOST_EXAMPLES_DIR));
        ASSERT_TRUE(QFile::copy(examples.filePath(QStringLiteral("jobs.json")), path("jobs.json")));
        farm = QJsonDocument::fromJson(readFile(examples.filePath(QStringLiteral("farm.json")))).object();
        writeFarm();
    }
    QString path(const char *name) const { return m_folder.filePath(QString::fromLatin1(name)); }
    void write(const char *name, const QByteArray &bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    void writeFarm() { write("farm.json", QJsonDocument(farm).toJson()); }
    void setFarm(const char *key, const QJsonValue &value)
    {
        farm.insert(QLatin1String(key), value);
        writeFarm();
    }
    QString box(int client) const
    {
        return QJsonDocument::fromJson(readFile(path("farm.json"))).object()[QLatin1String("clients")].toArray()
            .at(client).toObject()[QLatin1String("messageBox")].toString();
    }

    QTemporaryDir m_folder;
    QJsonObject farm;
};

const QStringList kNotifySave{QStringLiteral("notify"), QStringLiteral("farm.json"), QStringLiteral("--job"),
                              QStringLiteral("jobs.json"), QStringLiteral("--save")};
const QStringList kGenerateForce{QStringLiteral("generate"), QStringLiteral("--clients"), QStringLiteral("200"),
                                 QStringLiteral("--force"), QStringLiteral("farm.json")};

// Each failure: its status, one message, the farm byte for byte, no lock and
// no temporary file left, nothing saved.
TEST_F(Kxhost, EachFailureIsOneMessageAndLeavesTheFarm)
{
    using Setup = std::function<QString(Kxhost &)>; // gives the shell prefix
    const Setup none = [](Kxhost &) { return QString(); };
    const auto logFile = [](QString name, std::function<void(const QString &)> make) {
        return [name, make](Kxhost &t) {
            QJsonObject log = t.farm[QLatin1String("log")].toObject();
            log.insert(QStringLiteral("mainFile"), name);
            t.setFarm("log", log);
            QDir().mkpath(t.path("logs"));
            make(t.path("logs") + QLatin1Char('/') + name);
            return QString();
        };
    };
    // A farm padded to end just below a 512-byte block, under a file-size limit of its blocks.
    const Setup fileSizeLimit = [](Kxhost &t) {
        QJsonArray clients = t.farm[QLatin1String("clients")].toArray();
        const auto padded = [&](int length) {
            clients.replace(1, QJsonObject{{QStringLiteral("name"), QStringLiteral("render02")},
                                           {QStringLiteral("messageBox"), QString(length, QLatin1Char('m'))}});
            t.setFarm("clients", clients);
            return readFile(t.path("farm.json")).size();
        };
        const auto size = padded(2000 + 511 - int(padded(2000) % 512) - 8);
        return QStringLiteral("trap '' XFSZ; ulimit -f %1 || exit 99;").arg((size + 511) / 512);
    };
    QLockFile held(path("farm.json.lock"));
    const Setup holdLock = [&held](Kxhost &) {
        EXPECT_TRUE(held.tryLock(0));
        return QString();
    };
    const struct {
        const char *name;
        Setup setup;
        QStringList arguments;
        int status;
        QString message;
    } cases[] = {
        {"lock held, --save", holdLock, kNotifySave + QStringList{QStringLiteral("--lock-timeout"), QStringLiteral("1")}, 1,
         QStringLiteral("farm.json: another kxhost run is using this farm file")},
        {"lock held, no --save", holdLock, kNotifySave.mid(0, 4) + QStringList{QStringLiteral("--lock-timeout"), QStringLiteral("0")},
         1, QStringLiteral("farm.json: another kxhost run is using this farm file")},
        {"lock held, generate", holdLock, kGenerateForce + QStringList{QStringLiteral("--lock-timeout"), QStringLiteral("1")}, 1,
         QStringLiteral("farm.json: another kxhost run is using this farm file")},
        // The loader's message differs from system to system.
        {"no module", none, kNotifySave.mid(0, 4) + QStringList{QStringLiteral("--plugin"), QStringLiteral("jobs.json")}, 1,
         QStringLiteral(" cannot be loaded as a notification module")},
        {"more clients than a table holds", [](Kxhost &t) {
             QJsonArray clients;
             for (int i = 0; i < 32768; ++i)
                 clients.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("c%1").arg(i)}});
             t.setFarm("clients", clients);
             return QString();
         }, kNotifySave, 2, QStringLiteral("kxhost: farm.json: clients: 32768 clients, but a client table holds at most 32767\n")},
        {"log file is a folder", logFile(QStringLiteral("kxserver.log"), [](const QString &p) { QDir().mkpath(p); }),
         kNotifySave, 1, QStringLiteral("kxhost: the log could not be written: cannot write log file ")},
#ifndef Q_OS_WIN
        // 404 bytes in UTF-8, beyond the 255 most POSIX file systems take.
        {"log file name too long", logFile(QString(200, QChar(0xE9)) + QStringLiteral(".log"), [](const QString &) {}),
         kNotifySave, 1, QString(200, QChar(0xE9)) + QStringLiteral(".log: ")},
        {"log file is a link to a folder", logFile(QStringLiteral("linked.log"), [](const QString &p) {
             QDir().mkpath(p + QStringLiteral(".target"));
             QFile::link(p + QStringLiteral(".target"), p);
         }), kNotifySave, 1, QStringLiteral("linked.log: ")},
        // Permissions do not stop the superuser, so the run drops to an ordinary user.
        {"farm file unreadable", [](Kxhost &t) {
             QFile::setPermissions(t.m_folder.path(), QFileDevice::Permissions(0x7777));
             QFile::setPermissions(t.path("jobs.json"), QFileDevice::Permissions(0x4444));
             QFile::setPermissions(t.path("farm.json"), QFileDevice::Permissions());
             return QStringLiteral("if [ \"$(id -u)\" = 0 ]; then command -v setpriv >/dev/null || exit 99; "
                                   "set -- setpriv --reuid=65534 --regid=65534 --clear-groups \"$@\"; fi;");
         }, kNotifySave.mid(0, 4), 1, QStringLiteral("farm.json: cannot be read: ")},
        // Once wrote the logs into the working folder and called them removed.
        {"no temporary folder for a generated farm's logs", [](Kxhost &) { return QStringLiteral("export TMPDIR=/dev/null;"); },
         {QStringLiteral("notify"), QStringLiteral("--clients"), QStringLiteral("3"), QStringLiteral("--job"), QStringLiteral("jobs.json")},
         1, QStringLiteral("kxhost: cannot make a temporary log folder: ")},
        {"file-size limit, notify --save", fileSizeLimit, kNotifySave, 1, QStringLiteral("kxhost: farm.json: cannot be written: ")},
        {"file-size limit, generate --force", fileSizeLimit, kGenerateForce, 1, QStringLiteral("kxhost: farm.json: cannot be written: ")},
#ifndef KX_ADDRESS_SANITIZED
        // A full table of client records needs several gigabytes.
        {"table too large for the memory", [](Kxhost &) { return QStringLiteral("ulimit -v 1000000 || exit 99;"); },
         {QStringLiteral("notify"), QStringLiteral("--clients"), QStringLiteral("32767"), QStringLiteral("--job"),
          QStringLiteral("jobs.json"), QStringLiteral("--log-folder"), QStringLiteral("logs")},
         1, QStringLiteral("32767 client records do not fit in memory")},
#endif
#endif
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        const QString shell = c.setup(*this);
        const QByteArray before = readFile(path("farm.json"));
        const QStringList filesBefore = listing(m_folder.path());
        const KxhostRun run = runKxhost(m_folder.path(), c.arguments, shell);
        QFile::setPermissions(path("farm.json"), QFile::ReadOwner | QFile::WriteOwner);
        if (run.status == 99)
            continue; // this system cannot set that limit up
        EXPECT_EQ(run.status, c.status) << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(c.message)) << qPrintable(run.err);
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("kxhost: "))) << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
        EXPECT_FALSE(run.out.contains(QStringLiteral("saved"))) << qPrintable(run.out);
        EXPECT_EQ(readFile(path("farm.json")), before);
        QStringList filesAfter = listing(m_folder.path());
        if (!filesBefore.contains(QStringLiteral("logs")) && shell.startsWith(QStringLiteral("trap")))
            filesAfter.removeOne(QStringLiteral("logs")); // the run logged before it saved
        EXPECT_EQ(filesAfter, filesBefore);
        held.unlock();
        QDir(path("logs")).removeRecursively();
    }
}

// Two people saving runs on one farm at the same moment: both runs' texts
// stay, each run shows only its own lines; a lock left by an ended run is taken over.
TEST_F(Kxhost, ConcurrentSavesKeepEveryDeliveryAndStaleLocksAreTakenOver)
{
    const auto event = [](const char *id, const char *list) {
        return QJsonObject{{QStringLiteral("jobId"), QLatin1String(id)}, {QStringLiteral("progressCode"), 200},
                           {QStringLiteral("recipients"), QLatin1String(list)}};
    };
    write("jobs-a.json", QJsonDocument(QJsonObject{{QStringLiteral("events"), QJsonArray{event("{KT9a}", "render01;render02"), event("{KT9b}", "render02")}}}).toJson());
    write("jobs-b.json", QJsonDocument(QJsonObject{{QStringLiteral("events"), QJsonArray{event("{KUAb}", "render01;render02"), event("{KUBc}", "render01")}}}).toJson());
    const QByteArray emptyBoxes = QJsonDocument(QJsonObject{{QStringLiteral("logFolder"), QStringLiteral("logs")},
        {QStringLiteral("clients"), QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("render01")}},
                                                QJsonObject{{QStringLiteral("name"), QStringLiteral("render02")}}}}}).toJson();
    for (int repetition = 0; repetition < 20; ++repetition) {
        SCOPED_TRACE(repetition);
        write("farm.json", emptyBoxes);
        QProcess runs[2];
        for (int i = 0; i < 2; ++i) {
            runs[i].setWorkingDirectory(m_folder.path());
            runs[i].start(QStringLiteral(KXHOST_BINARY_PATH), kNotifySave.mid(0, 3) + QStringList{
                              i == 0 ? QStringLiteral("jobs-a.json") : QStringLiteral("jobs-b.json"), QStringLiteral("--save")});
        }
        for (QProcess &run : runs) { // waiting for one may already have seen the other finish
            ASSERT_TRUE(run.state() == QProcess::NotRunning || run.waitForFinished(60000));
            ASSERT_EQ(run.exitStatus(), QProcess::NormalExit);
            ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().constData();
        }
        for (const char *job : {"{KT9a}", "{KUAb}", "{KUBc}"})
            EXPECT_TRUE(box(0).contains(QLatin1String(job))) << job;
        for (const char *job : {"{KT9a}", "{KT9b}", "{KUAb}"})
            EXPECT_TRUE(box(1).contains(QLatin1String(job))) << job;
        const QString out[2] = {QString::fromUtf8(runs[0].readAllStandardOutput()), QString::fromUtf8(runs[1].readAllStandardOutput())};
        for (const char *job : {"{KUAb}", "{KUBc}"})
            EXPECT_FALSE(out[0].contains(QStringLiteral("started for job ") + QLatin1String(job)));
        for (const char *job : {"{KT9a}", "{KT9b}"})
            EXPECT_FALSE(out[1].contains(QStringLiteral("started for job ") + QLatin1String(job)));
        EXPECT_FALSE(QFile::exists(path("farm.json.lock")));
    }
#ifndef Q_OS_WIN
    QProcess ended; // a process id no run holds any more
    ended.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    ASSERT_TRUE(ended.waitForFinished());
    QByteArray lockText;
    {
        QLockFile sample(path("sample.lock"));
        ASSERT_TRUE(sample.tryLock(0));
        lockText = readFile(path("sample.lock"));
    }
    write("farm.json.lock", ended.readAllStandardOutput().trimmed() + lockText.mid(lockText.indexOf('\n')));
    const KxhostRun run = runKxhost(m_folder.path(), kNotifySave + QStringList{QStringLiteral("--lock-timeout"), QStringLiteral("5")});
    EXPECT_EQ(run.status, 0) << qPrintable(run.err);
    EXPECT_FALSE(QFile::exists(path("farm.json.lock")));
#endif
}

#if !defined(Q_OS_WIN) && !defined(KX_ADDRESS_SANITIZED)
// However little memory there is, kxhost ends with a message, never with an abort.
TEST_F(Kxhost, LackOfMemoryEndsTheRunWithAMessage)
{
    const QByteArray before = readFile(path("farm.json"));
    int limitedRuns = 0;
    for (const int kilobytes : {60000, 80000, 100000, 120000, 150000, 200000, 300000, 600000}) {
        for (const QStringList &arguments : {kNotifySave, QStringList{QStringLiteral("notify"), QStringLiteral("--clients"),
                 QStringLiteral("32767"), QStringLiteral("--job"), QStringLiteral("jobs.json"), QStringLiteral("--log-folder"), QStringLiteral("logs")}}) {
            SCOPED_TRACE(qPrintable(QStringLiteral("%1 KiB: %2").arg(kilobytes).arg(arguments.join(QLatin1Char(' ')))));
            const KxhostRun run = runKxhost(m_folder.path(), arguments, QStringLiteral("ulimit -v %1 || exit 99;").arg(kilobytes));
            if (run.status == 99)
                GTEST_SKIP() << "this shell cannot limit the address space";
            if (run.err.contains(QStringLiteral("error while loading shared libraries")))
                continue; // too little to load the libraries: the loader's failure
            ++limitedRuns;
            EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status << qPrintable(run.err);
            if (run.status == 1) {
                EXPECT_TRUE(run.err.startsWith(QStringLiteral("kxhost: "))) << qPrintable(run.err);
                EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
                EXPECT_EQ(readFile(path("farm.json")), before);
            }
            write("farm.json", before);
        }
    }
    EXPECT_GT(limitedRuns, 4);
}
#endif

#ifndef Q_OS_WIN
// A small file system of its own, mounted where only the test's child sees
// it, filled but for two pages: one for the lock file, one too few for the
// new farm or the run's log.
TEST_F(Kxhost, FullDiskLeavesTheFarmWholeAndFailsTheRun)
{
    if (runKxhost(m_folder.path(), {}, QStringLiteral("unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs .' || exit 99; exit 0;")).status != 0)
        GTEST_SKIP() << "no private mount namespace with a tmpfs here (needs root and unshare)";
    QJsonArray events;
    for (int i = 0; i < 20; ++i)
        events.append(QJsonObject{{QStringLiteral("jobId"), QStringLiteral("{KT9a}")}, {QStringLiteral("progressCode"), 200},
                                  {QStringLiteral("recipients"), QStringLiteral("render01")}});
    write("jobs.json", QJsonDocument(QJsonObject{{QStringLiteral("events"), events}}).toJson());
    QJsonArray clients; // two full boxes: the farm needs more than the one page left
    for (const char *name : {"render01", "render02"})
        clients.append(QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                                   {QStringLiteral("messageBox"), QString(2400, QLatin1Char('m'))}});
    setFarm("clients", clients);
    const struct {
        const char *logFolder;
        const char *command;
        const char *message;
    } cases[] = {
        {"../logs", "notify farm.json --job ../jobs.json --save", "kxhost: farm.json: cannot be written: "},
        {"logs", "notify farm.json --job ../jobs.json --save", "kxhost: the log could not be written: cannot write log file "},
        {"../logs", "generate --clients 100 --force farm.json", "kxhost: farm.json: cannot be written: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        setFarm("logFolder", QLatin1String(c.logFolder) == QLatin1String("logs") ? QStringLiteral("logs") : path("logs"));
        QDir().mkpath(path("disk"));
        const KxhostRun run = runKxhost(m_folder.path(), {}, QStringLiteral(
            "exec unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs disk && cd disk && cp ../farm.json . && mkdir logs && "
            "{ dd if=/dev/zero of=filler bs=1024 count=1000 2>/dev/null; truncate -s -8192 filler; } || exit 98; "
            "\"$0\" %1; status=$?; ls -A; cmp -s farm.json ../farm.json || echo changed; exit $status' \"$1\";").arg(QLatin1String(c.command)));
        EXPECT_EQ(run.status, 1) << qPrintable(run.err);
        EXPECT_TRUE(run.err.startsWith(QLatin1String(c.message))) << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << qPrintable(run.err);
        EXPECT_EQ(run.out.section(QLatin1Char('\n'), -4), QStringLiteral("farm.json\nfiller\nlogs\n")); // unchanged, nothing left
    }
}
#endif
} // namespace
