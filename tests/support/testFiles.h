// Whole-file reads for tests that compare what reached the disk.
#ifndef TESTFILES_H
#define TESTFILES_H

#include <QFile>
#include <QString>

namespace kxtest {

// The file's bytes, or empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace kxtest

#endif // TESTFILES_H
