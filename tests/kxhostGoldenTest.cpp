// kxhost's golden cases: every folder under golden/kxhost with an args file (bad/ holds the
// refusals of bad input). A case folder holds:
//   args      the command line, one argument a line;
//   setup     optional sh commands run in the run folder before anything is recorded, for what
//             files cannot hold (links, permissions, huge files); exit 99 skips the case;
//   prefix    optional sh commands run just before kxhost in its shell (limits, environment,
//             user), "$0" being kxhost and "$@" its arguments; exit 99 skips the case;
//   expected.status, expected.out, expected.err (an absent file: nothing), and in expected.files/
//   the files the run must have written, by their path in the run folder;
//   any other file, with its folders, copied into the run folder beside the example farm's files.
// Times, the run folder, the module's path, the loader's reason and the Qt version are masked.
// A failed run writes nothing that expected.files does not show, a run that fails or has no
// --save changes none of the files that were there before it, and one that succeeds leaves no lock.
// KX_GOLDEN_UPDATE=1 writes what the runs gave into the expected files instead.
#include "testFiles.h"

#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QMap>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
using kxtest::readFile;
const QString kCasesFolder = QStringLiteral(KXHOST_GOLDEN_DIR);
const QStringList kCaseOnly{"args",         "setup",        "prefix",        "expected.status",
                            "expected.out", "expected.err", "expected.files"};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    QDirIterator it(kCasesFolder, {QStringLiteral("args")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        names.push_back(QDir(kCasesFolder).relativeFilePath(QFileInfo(it.next()).path()).toStdString());
    std::sort(names.begin(), names.end());
    if (names.empty()) // no case must not read as every case passing
        throw std::runtime_error("no golden case under " + kCasesFolder.toStdString());
    return names;
}

// Every entry under a folder by its relative path, with its bytes.
QMap<QString, QByteArray> filesUnder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // A FIFO or device is never opened: reading it could wait forever.
        const QFileInfo info(path);
        files.insert(QDir(folder).relativeFilePath(path),
                     info.isDir() ? "<folder>" : info.isFile() ? readFile(path) : QByteArray("<special>"));
    }
    return files;
}

// Copies the files (and so their folders) under `from`, but for the top-level entries skipped.
bool copyTree(const QString &from, const QString &to, const QStringList &skipped = {})
{
    const QMap<QString, QByteArray> files = filesUnder(from);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString target = QDir(to).filePath(it.key());
        if (it.value() != "<folder>" && it.value() != "<special>" && !skipped.contains(it.key().section(QLatin1Char('/'), 0, 0))
            && !(QDir().mkpath(QFileInfo(target).path()) && writeFile(target, it.value())))
            return false;
    }
    return true;
}

// What changes from run to run or machine to machine, made the same.
QString masked(QString text, const QString &runFolder)
{
    text.remove(QLatin1Char('\r'));
    for (const QString &form : {QDir::toNativeSeparators(runFolder), QDir::fromNativeSeparators(runFolder)})
        text.replace(form, QStringLiteral("<dir>"));
    static const char *const masks[][2] = {
        {"^module   .*$", "module   <module>"},
        {"(as a notification module: ).*$", "\\1<reason>"},
        {"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}", "YYYY-MM-DD hh:mm:ss.zzz"},
        {"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d", "YYYY-MM-DD hh:mm"},
        {"\\b\\d+\\.\\d+ (us|ms)\\b", "<duration>"},
        {"\\b(Qt(?: version)? +)\\d+\\.\\d+\\.\\d+", "\\1<version>"},
    };
    for (const auto &mask : masks)
        text.replace(QRegularExpression(mask[0], QRegularExpression::MultilineOption), mask[1]);
    return text;
}

using KxhostGolden = ::testing::TestWithParam<std::string>;

TEST_P(KxhostGolden, RunGivesTheExpectedOutput)
{
    const QDir caseFolder(kCasesFolder + QLatin1Char('/') + QString::fromStdString(GetParam()));
    const auto caseText = [&](const char *name) { return QString(readFile(caseFolder.filePath(name))); };
    const QString setup = caseText("setup");
    const QString prefix = caseText("prefix");
#if defined(Q_OS_WIN)
    const bool hasShell = false; // a Windows program cannot start /bin/sh, even where wine shows one
#else
    const bool hasShell = QFile::exists("/bin/sh");
#endif
    if ((!setup.isEmpty() || !prefix.isEmpty()) && !hasShell)
        GTEST_SKIP() << "needs /bin/sh";
    QTemporaryDir runFolder;
    ASSERT_TRUE(runFolder.isValid());
    // The example farm's own files only: the logs of a user's earlier run stay out.
    ASSERT_TRUE(QDir().mkpath(runFolder.filePath("examples")));
    for (const QFileInfo &file : QDir(KXHOST_EXAMPLES_DIR).entryInfoList(QDir::Files))
        ASSERT_TRUE(QFile::copy(file.filePath(), runFolder.filePath("examples/" + file.fileName())));
    ASSERT_TRUE(copyTree(caseFolder.path(), runFolder.path(), kCaseOnly));
    QProcess process;
    process.setWorkingDirectory(runFolder.path());
    if (!setup.isEmpty()) {
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), setup});
        ASSERT_TRUE(process.waitForFinished(60000));
        if (process.exitCode() == 99)
            GTEST_SKIP() << "setup cannot be had here";
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    }
    const QMap<QString, QByteArray> before = filesUnder(runFolder.path());

    QStringList arguments = caseText("args").split(QLatin1Char('\n'));
    ASSERT_TRUE(!arguments.isEmpty() && arguments.last().isEmpty()) << "args must end with a line feed";
    arguments.removeLast();
    const QString shellTail = "\nexec \"$0\" \"$@\"";
    if (prefix.isEmpty())
        process.start(QStringLiteral(KXHOST_BINARY_PATH), arguments);
    else
        process.start("/bin/sh", QStringList{"-c", prefix + shellTail, KXHOST_BINARY_PATH} + arguments);
    ASSERT_TRUE(process.waitForFinished(180000)) << "kxhost did not end";
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    if (!prefix.isEmpty() && process.exitCode() == 99)
        GTEST_SKIP() << "prefix cannot be had here";
    const QString out = masked(QString::fromUtf8(process.readAllStandardOutput()), runFolder.path());
    const QString err = masked(QString::fromUtf8(process.readAllStandardError()), runFolder.path());
    const QString status = QString::number(process.exitCode()) + QLatin1Char('\n');

    const bool update = qEnvironmentVariableIntValue("KX_GOLDEN_UPDATE") == 1;
    const QString writtenFolder = caseFolder.filePath(QStringLiteral("expected.files"));
    const QMap<QString, QByteArray> writtenExpected = filesUnder(writtenFolder);
    for (const auto &[name, given] : {std::pair{QStringLiteral("expected.status"), status},
                                      std::pair{QStringLiteral("expected.out"), out},
                                      std::pair{QStringLiteral("expected.err"), err}}) {
        if (update) {
            QFile::remove(caseFolder.filePath(name));
            ASSERT_TRUE(given.isEmpty() || writeFile(caseFolder.filePath(name), given.toUtf8()));
            continue;
        }
        EXPECT_EQ(given.toStdString(), readFile(caseFolder.filePath(name)).toStdString())
            << name.toStdString() << " differs; standard error:\n" << err.toStdString();
    }
    for (auto it = writtenExpected.cbegin(); it != writtenExpected.cend(); ++it) {
        const QString name = it.key();
        if (it.value() == "<folder>")
            continue;
        EXPECT_TRUE(QFile::exists(runFolder.filePath(name))) << name.toStdString() << " was not written";
        const QString written = masked(readFile(runFolder.filePath(name)), runFolder.path());
        if (update)
            ASSERT_TRUE(writeFile(QDir(writtenFolder).filePath(name), written.toUtf8()));
        else
            EXPECT_EQ(written.toStdString(), it.value().toStdString()) << name.toStdString() << " differs";
    }
    if (update)
        GTEST_SKIP() << "expected files written";

    // No log, lock file or half-saved farm left by a run that failed; no given file changed.
    const QMap<QString, QByteArray> after = filesUnder(runFolder.path());
    QMap<QString, QByteArray> allowed = before;
    allowed.insert(writtenExpected);
    EXPECT_TRUE(process.exitCode() == 0 || after.keys() == allowed.keys())
        << "a failed run left: " << after.keys().join(' ').toStdString();
    for (const QString &name : after.keys())
        EXPECT_FALSE(process.exitCode() == 0 && name.endsWith(QLatin1String(".lock"))) << name.toStdString();
    const bool mayChange = process.exitCode() == 0 && arguments.contains(QStringLiteral("--save"));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_TRUE(mayChange || after.value(it.key(), "<gone>") == it.value()) << it.key().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, KxhostGolden, ::testing::ValuesIn(caseNames()), [](const auto &param) {
    std::string name = param.param;
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
});
} // namespace
