// Whole-file reads for tests that compare what reached the disk, and the data tables in tests/golden.
#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArrayList>
#include <QFile>
#include <QString>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

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

// A value of `width` bytes, little-endian, written independently of the records' own accessors.
inline void putBytes(unsigned char *at, std::size_t offset, quint64 value, int width = 2)
{
    for (int i = 0; i < width; ++i)
        at[offset + std::size_t(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// A _kxString's text: its length, a reserved 0, then one unit a character (Latin-1).
inline void putText(unsigned char *at, std::size_t offset, const std::string &latin1)
{
    putBytes(at, offset, latin1.size());
    for (std::size_t i = 0; i < latin1.size(); ++i)
        putBytes(at, offset + 4 + 2 * i, static_cast<unsigned char>(latin1[i]));
}

// A record image from a table in tests/golden, every byte not listed 0. Each row: an offset, then a
// width in bytes and a value (little-endian), or "text" and the text of a _kxString: its length, a
// reserved 0, then one unit a character (ASCII, no spaces). A row that does not parse, or that reaches
// past the image, throws.
inline std::vector<unsigned char> goldenImage(const char *name, std::size_t size)
{
    std::vector<unsigned char> image(size, 0);
    for (const QByteArray &line : goldenLines(name)) {
        const QByteArrayList row = line.split(' ');
        bool isOffset = false, isValue = true;
        const std::size_t at = row.size() == 3 ? row.at(0).toULong(&isOffset) : 0;
        const bool isText = row.value(1) == "text";
        const QByteArray text = isText ? row.value(2) : QByteArray();
        const int width = isText ? 2 : row.value(1).toInt();
        const quint64 value = isText ? 0 : row.value(2).toULongLong(&isValue);
        if (!isOffset || !isValue || width <= 0 || width > 8
            || at + std::size_t(isText ? 4 + 2 * text.size() : width) > size)
            throw std::runtime_error(std::string("tests/golden/") + name + ": bad row " + line.toStdString());
        if (isText)
            putText(image.data(), at, text.toStdString());
        else
            putBytes(image.data(), at, value, width);
    }
    return image;
}

} // namespace kxtest

#endif // TESTFILES_H
