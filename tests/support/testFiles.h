// Whole-file reads for tests that compare what reached the disk, and the data tables in tests/golden.
#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArrayList>
#include <QFile>
#include <QString>

#include <stdexcept>
#include <string>

namespace kxtest {

// The file's bytes, or empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of a table in tests/golden that are neither blank nor comments ("#"), without the "\r" a
// checkout may end them with. A table that is missing or holds no row throws: its test must not pass
// for want of rows.
inline QByteArrayList goldenLines(const char *name)
{
    QByteArrayList lines;
    for (QByteArray line : readFile(QStringLiteral(KX_TEST_GOLDEN_DIR "/") + QLatin1String(name)).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty() && !line.startsWith('#'))
            lines.append(line);
    }
    if (lines.isEmpty())
        throw std::runtime_error(std::string("tests/golden/") + name + " holds no row");
    return lines;
}

} // namespace kxtest

#endif // TESTFILES_H
