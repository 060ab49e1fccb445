// Whole-file reads for tests that compare what reached the disk, and the data tables in tests/golden.
#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArrayList>
#include <QFile>
#include <QString>

#include <cstddef>
#include <map>
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

// One row of a record table in tests/golden: an offset, then a width in bytes and a value
// (little-endian), or "text" and the text of a _kxString (its length, then one unit a character and a
// zero unit; its reserved field is not the row's), or "text8" and that of a _kxString8_allSize (its
// length, then one byte a character and a zero byte). A text is the rest of the line, Latin-1. A value
// or text in braces, "{name}", is one the test supplies.
struct GoldenRow
{
    std::size_t offset = 0;
    QByteArray kind; // the width, "text" or "text8"
    QByteArray value;
};
using GoldenNames = std::map<QByteArray, QByteArray>;

// The rows of a table, or of its part that follows the line "[section]". A row that does not parse,
// and a section without rows, throw.
inline std::vector<GoldenRow> goldenRows(const char *name, const char *section = nullptr)
{
    std::vector<GoldenRow> rows;
    QByteArray current;
    for (const QByteArray &line : goldenLines(name)) {
        if (line.startsWith('[') && line.endsWith(']')) {
            current = line.mid(1, line.size() - 2);
            continue;
        }
        if (section && current != section)
            continue;
        const auto kindAt = line.indexOf(' ') + 1;
        const auto valueAt = line.indexOf(' ', kindAt) + 1;
        GoldenRow row;
        bool isOffset = false;
        row.offset = line.left(kindAt - 1).toULong(&isOffset);
        row.kind = line.mid(kindAt, valueAt - kindAt - 1);
        row.value = line.mid(valueAt);
        const int width = row.kind.toInt();
        if (!isOffset || kindAt == 0 || valueAt == 0
            || (row.kind != "text" && row.kind != "text8" && (width <= 0 || width > 8)))
            throw std::runtime_error(std::string("tests/golden/") + name + ": bad row " + line.toStdString());
        rows.push_back(row);
    }
    if (rows.empty())
        throw std::runtime_error(std::string("tests/golden/") + name + ": no row in " + (section ? section : "it"));
    return rows;
}

// The bytes the rows give, by offset, the names resolved.
inline std::map<std::size_t, unsigned char> goldenBytes(const std::vector<GoldenRow> &rows,
                                                        const GoldenNames &names = {})
{
    std::map<std::size_t, unsigned char> bytes;
    const auto put = [&bytes](std::size_t at, quint64 value, int width) {
        for (int i = 0; i < width; ++i)
            bytes[at + std::size_t(i)] = static_cast<unsigned char>(value >> (8 * i));
    };
    for (const GoldenRow &row : rows) {
        QByteArray value = row.value;
        if (value.startsWith('{') && value.endsWith('}')) {
            const auto named = names.find(value.mid(1, value.size() - 2));
            if (named == names.end())
                throw std::runtime_error("no value given for " + value.toStdString());
            value = named->second;
        }
        if (row.kind == "text" || row.kind == "text8") {
            const std::size_t unit = row.kind == "text" ? 2 : 1, first = row.kind == "text" ? 4 : 2;
            put(row.offset, quint64(value.size()), 2);
            for (decltype(value.size()) i = 0; i <= value.size(); ++i) // the zero behind the text too
                put(row.offset + first + unit * std::size_t(i), static_cast<unsigned char>(value.data()[i]), int(unit));
            continue;
        }
        bool isNumber = false;
        const quint64 number = value.startsWith('-') ? quint64(value.toLongLong(&isNumber)) : value.toULongLong(&isNumber);
        if (!isNumber)
            throw std::runtime_error("not a number: " + value.toStdString());
        put(row.offset, number, row.kind.toInt());
    }
    return bytes;
}

// Writes the rows' bytes into a record of `size` bytes; a row that reaches past it throws.
inline void putGolden(unsigned char *record, std::size_t size, const std::vector<GoldenRow> &rows,
                      const GoldenNames &names = {})
{
    for (const auto &[at, byte] : goldenBytes(rows, names)) {
        if (at >= size)
            throw std::runtime_error("a row reaches past the record at " + std::to_string(at));
        record[at] = byte;
    }
}

// Empty when the record holds the rows' bytes, else the first offset that differs and its bytes.
inline std::string goldenMismatch(const unsigned char *record, const std::vector<GoldenRow> &rows,
                                  const GoldenNames &names = {})
{
    for (const auto &[at, byte] : goldenBytes(rows, names)) {
        if (record[at] != byte)
            return "at " + std::to_string(at) + ": " + std::to_string(record[at]) + " instead of "
                + std::to_string(byte);
    }
    return std::string();
}

// A record image from a table in tests/golden, every byte not listed 0.
inline std::vector<unsigned char> goldenImage(const char *name, std::size_t size)
{
    std::vector<unsigned char> image(size, 0);
    putGolden(image.data(), size, goldenRows(name));
    return image;
}

} // namespace kxtest

#endif // TESTFILES_H
