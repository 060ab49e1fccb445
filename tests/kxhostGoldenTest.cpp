// kxhost's golden cases. Each folder under golden/kxhost (bad/ holds the
// refusals of bad input) with an args file holds a command line
// (args: one argument a line), the input files it names, and what the run must
// give: expected.status, expected.out and expected.err (an absent file: nothing),
// and in expected.files/ the files it must have written, by their path in the
// run's folder.
// The run happens in a fresh folder holding a copy of the examples in examples/
// and the case's own files; times, the module's path and the Qt version are
// masked. A run that fails must leave that folder as it found it, and one
// without --save must leave every file in it as it was.
//
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
#include <string>
#include <vector>

namespace {
using kxtest::readFile;
const QString kCasesFolder = QStringLiteral(KXHOST_GOLDEN_DIR);

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every folder holding an args file, by its path under the cases' folder.
std::vector<std::string> caseNames()
{
    QStringList names;
    QDirIterator it(kCasesFolder, QStringList{QStringLiteral("args")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(QDir(kCasesFolder).relativeFilePath(QFileInfo(it.next()).path()));
    names.sort();
    std::vector<std::string> sorted;
    for (const QString &name : names)
        sorted.push_back(name.toStdString());
    return sorted;
}

// Every file under a folder by its relative path, with its bytes.
QMap<QString, QByteArray> filesUnder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(folder).relativeFilePath(path);
        files.insert(name, it.fileInfo().isDir() ? QByteArray("<folder>") : readFile(path));
    }
    return files;
}

bool copyFiles(const QString &from, const QString &to, const QStringList &skipped)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QString &name : QDir(from).entryList(QDir::Files | QDir::Hidden)) {
        if (skipped.contains(name))
            continue;
        const QString target = QDir(to).filePath(name);
        if (!QFile::copy(QDir(from).filePath(name), target))
            return false;
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }
    return true;
}

// What changes from run to run or machine to machine, made the same.
QString masked(QString text, const QString &runFolder)
{
    text.remove(QLatin1Char('\r'));
    for (const QString &form : {QDir::toNativeSeparators(runFolder), QDir::fromNativeSeparators(runFolder)})
        text.replace(form, QStringLiteral("<dir>"));
    static const struct { QRegularExpression pattern; QString replacement; } masks[] = {
        {QRegularExpression(QStringLiteral("^module   .*$"), QRegularExpression::MultilineOption),
         QStringLiteral("module   <module>")},
        {QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}")),
         QStringLiteral("YYYY-MM-DD hh:mm:ss.zzz")},
        {QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d")), QStringLiteral("YYYY-MM-DD hh:mm")},
        {QRegularExpression(QStringLiteral("\\b\\d+\\.\\d+ (us|ms)\\b")), QStringLiteral("<duration>")},
        {QRegularExpression(QStringLiteral("\\b(Qt(?: version)? +)\\d+\\.\\d+\\.\\d+")), QStringLiteral("\\1<version>")},
    };
    for (const auto &mask : masks)
        text.replace(mask.pattern, mask.replacement);
    return text;
}

// The first line that differs, as expected (-) and given (+).
std::string lineDiff(const QString &expected, const QString &actual)
{
    const QStringList a = expected.split(QLatin1Char('\n'));
    const QStringList b = actual.split(QLatin1Char('\n'));
    int i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return QStringLiteral("line %1: - %2\nline %1: + %3\n").arg(i + 1).arg(a.value(i), b.value(i)).toStdString();
}

class KxhostGolden : public ::testing::TestWithParam<std::string>
{
};

TEST_P(KxhostGolden, RunGivesTheExpectedOutput)
{
    const QDir caseFolder(kCasesFolder + QLatin1Char('/') + QString::fromStdString(GetParam()));
    QTemporaryDir runFolder;
    ASSERT_TRUE(runFolder.isValid());
    const QStringList expectedFiles{QStringLiteral("args"), QStringLiteral("expected.status"),
                                    QStringLiteral("expected.out"), QStringLiteral("expected.err"),
                                    QStringLiteral("expected.files")};
    ASSERT_TRUE(copyFiles(QStringLiteral(KXHOST_EXAMPLES_DIR), runFolder.filePath(QStringLiteral("examples")), {}));
    ASSERT_TRUE(copyFiles(caseFolder.path(), runFolder.path(), expectedFiles));
    const QMap<QString, QByteArray> before = filesUnder(runFolder.path());

    QStringList arguments = QString::fromUtf8(readFile(caseFolder.filePath(QStringLiteral("args")))).split(QLatin1Char('\n'));
    ASSERT_TRUE(!arguments.isEmpty() && arguments.last().isEmpty()) << "args must end with a line feed";
    arguments.removeLast();

    QProcess process;
    process.setWorkingDirectory(runFolder.path());
    process.start(QStringLiteral(KXHOST_BINARY_PATH), arguments);
    ASSERT_TRUE(process.waitForFinished(120000)) << "kxhost did not end";
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    const QString out = masked(QString::fromUtf8(process.readAllStandardOutput()), runFolder.path());
    const QString err = masked(QString::fromUtf8(process.readAllStandardError()), runFolder.path());
    const QString status = QString::number(process.exitCode()) + QLatin1Char('\n');

    const bool update = qEnvironmentVariableIntValue("KX_GOLDEN_UPDATE") == 1;
    if (update) {
        ASSERT_TRUE(writeFile(caseFolder.filePath(QStringLiteral("expected.status")), status.toUtf8()));
        for (const auto &[name, text] : {std::pair{QStringLiteral("expected.out"), out},
                                         std::pair{QStringLiteral("expected.err"), err}}) {
            if (text.isEmpty())
                QFile::remove(caseFolder.filePath(name));
            else
                ASSERT_TRUE(writeFile(caseFolder.filePath(name), text.toUtf8()));
        }
    } else {
        const QString expectedStatus = QString::fromUtf8(readFile(caseFolder.filePath(QStringLiteral("expected.status"))));
        EXPECT_EQ(status.toStdString(), expectedStatus.toStdString()) << "standard error:\n" << err.toStdString();
        const QString expectedOut = QString::fromUtf8(readFile(caseFolder.filePath(QStringLiteral("expected.out"))));
        EXPECT_TRUE(out == expectedOut) << "standard output differs from expected.out:\n" << lineDiff(expectedOut, out);
        const QString expectedErr = QString::fromUtf8(readFile(caseFolder.filePath(QStringLiteral("expected.err"))));
        EXPECT_TRUE(err == expectedErr) << "standard error differs from expected.err:\n" << lineDiff(expectedErr, err);
    }

    // Files the run wrote, where the case shows them.
    const QString writtenFolder = caseFolder.filePath(QStringLiteral("expected.files"));
    for (const QString &name : filesUnder(writtenFolder).keys()) {
        if (QFileInfo(QDir(writtenFolder).filePath(name)).isDir())
            continue;
        EXPECT_TRUE(QFile::exists(runFolder.filePath(name))) << name.toStdString() << " was not written";
        const QString written = masked(QString::fromUtf8(readFile(runFolder.filePath(name))), runFolder.path());
        if (update) {
            ASSERT_TRUE(writeFile(QDir(writtenFolder).filePath(name), written.toUtf8()));
            continue;
        }
        const QString expected = QString::fromUtf8(readFile(QDir(writtenFolder).filePath(name)));
        EXPECT_TRUE(written == expected) << name.toStdString() << " differs from expected.files:\n"
                                         << lineDiff(expected, written);
    }
    if (update)
        GTEST_SKIP() << "expected files written";

    // A refused or failed run writes nothing: no log, no lock file, no half-saved farm.
    // A run without --save may add its logs but changes none of the files it was given.
    const QMap<QString, QByteArray> after = filesUnder(runFolder.path());
    if (process.exitCode() != 0) {
        EXPECT_EQ(after.keys(), before.keys());
    }
    if (process.exitCode() != 0 || !arguments.contains(QStringLiteral("--save"))) {
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            EXPECT_TRUE(after.contains(it.key()) && after.value(it.key()) == it.value())
                << it.key().toStdString() << " was changed";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, KxhostGolden, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string> &param) {
                             std::string name = param.param;
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });
} // namespace
