#include "kxJsonFieldReader.h"

#include "kxInputError.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonParseError>
#include <QtCore/QSet>

#include <cmath>
#include <cstring>
#include <vector>

namespace kx::host {

namespace {
// Larger inputs are not farms or job lists; refusing them keeps a typo from eating memory.
constexpr qint64 kMaxInputFileBytes = 256 * 1024 * 1024;

// The parser keeps the last of two equal keys without a word; the formats are strict,
// so a second one is refused. Runs on text the parser has accepted, so it only needs
// to follow strings, nesting and list positions.
class RepeatedKeyScan
{
    // Qt 5 counts bytes in int, Qt 6 in qsizetype.
    using ByteCount = decltype(QByteArray().size());

public:
    RepeatedKeyScan(const QString &filePath, const QByteArray &bytes) : m_filePath(filePath), m_bytes(bytes) {}

    void run()
    {
        const ByteCount size = m_bytes.size();
        while (m_at < size) {
            const char c = m_bytes.at(m_at);
            switch (c) {
            case '{':
            case '[':
                startValue();
                m_levels.push_back({c == '{', {}, {}, -1, c == '{'});
                ++m_at;
                break;
            case '}':
            case ']':
                m_levels.pop_back();
                ++m_at;
                break;
            case ',':
                if (!m_levels.empty() && m_levels.back().isObject)
                    m_levels.back().expectsKey = true;
                ++m_at;
                break;
            case '"': {
                const ByteCount start = m_at;
                const QString text = readString();
                if (!m_levels.empty() && m_levels.back().isObject && m_levels.back().expectsKey)
                    takeKey(text, start);
                else
                    startValue();
                break;
            }
            case ':':
                m_levels.back().expectsKey = false;
                ++m_at;
                break;
            case ' ':
            case '\t':
            case '\n':
            case '\r':
                ++m_at;
                break;
            default:
                startValue();
                while (m_at < size && !std::strchr(",]} \t\r\n", m_bytes.at(m_at)))
                    ++m_at;
                break;
            }
        }
    }

private:
    struct Level
    {
        bool isObject;
        QSet<QString> keys;
        QString key;
        int index;
        bool expectsKey;
    };

    void startValue()
    {
        if (!m_levels.empty() && !m_levels.back().isObject)
            ++m_levels.back().index;
    }

    QString path() const
    {
        QString result;
        for (const Level &level : m_levels) {
            if (level.isObject) {
                if (!level.key.isNull())
                    result += (result.isEmpty() ? QString() : QStringLiteral(".")) + level.key;
            } else {
                result += QStringLiteral("[%1]").arg(level.index);
            }
        }
        return result;
    }

    void takeKey(const QString &key, ByteCount start)
    {
        Level &level = m_levels.back();
        level.key = QString();
        if (level.keys.contains(key)) {
            const QString enclosing = path();
            const QString field = enclosing.isEmpty() ? key : enclosing + QLatin1Char('.') + key;
            const int line = int(m_bytes.left(start).count('\n')) + 1;
            throw InputError(QStringLiteral("%1: %2: given twice in one object (line %3); each field may be given once")
                                   .arg(m_filePath, field)
                                   .arg(line));
        }
        level.keys.insert(key);
        level.key = key;
    }

    // The text of the string at m_at, escapes resolved, as the parser compares keys.
    QString readString()
    {
        QString text;
        QByteArray run;
        ++m_at;
        while (m_at < m_bytes.size()) {
            const char c = m_bytes.at(m_at++);
            if (c == '"')
                break;
            if (c != '\\') {
                run += c;
                continue;
            }
            text += QString::fromUtf8(run);
            run.clear();
            const char escaped = m_at < m_bytes.size() ? m_bytes.at(m_at++) : '\\';
            switch (escaped) {
            case 'b': text += QLatin1Char('\b'); break;
            case 'f': text += QLatin1Char('\f'); break;
            case 'n': text += QLatin1Char('\n'); break;
            case 'r': text += QLatin1Char('\r'); break;
            case 't': text += QLatin1Char('\t'); break;
            case 'u':
                text += QChar(char16_t(m_bytes.mid(m_at, 4).toUShort(nullptr, 16)));
                m_at += 4;
                break;
            default: text += QLatin1Char(escaped); break;
            }
        }
        return text + QString::fromUtf8(run);
    }

    QString m_filePath;
    const QByteArray &m_bytes;
    ByteCount m_at = 0;
    std::vector<Level> m_levels;
};

void refuseRepeatedKeys(const QString &filePath, const QByteArray &bytes)
{
    RepeatedKeyScan(filePath, bytes).run();
}
} // namespace

JsonFieldReader::JsonFieldReader(const QString &filePath, const QString &objectPath,
                                     const QJsonObject &object, const QStringList &allowedKeys)
    : m_filePath(filePath), m_objectPath(objectPath), m_object(object)
{
    for (auto it = m_object.constBegin(); it != m_object.constEnd(); ++it) {
        if (!allowedKeys.contains(it.key()))
            fail(it.key(), QStringLiteral("unknown field (known here: %1)").arg(allowedKeys.join(QStringLiteral(", "))));
    }
}

QString JsonFieldReader::fieldPath(const QString &key) const
{
    return m_objectPath.isEmpty() ? key : m_objectPath + QLatin1Char('.') + key;
}

void JsonFieldReader::fail(const QString &key, const QString &problem) const
{
    const QString field = key.isEmpty() ? (m_objectPath.isEmpty() ? QStringLiteral("(top level)") : m_objectPath)
                                        : fieldPath(key);
    throw InputError(QStringLiteral("%1: %2: %3").arg(m_filePath, field, problem));
}

void JsonFieldReader::failMissing(const QString &key) const
{
    fail(key, QStringLiteral("missing (this field is required)"));
}

QString JsonFieldReader::describeType(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a true/false value");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a text");
    case QJsonValue::Array: return QStringLiteral("a list");
    case QJsonValue::Object: return QStringLiteral("an object");
    default: return QStringLiteral("undefined");
    }
}

QString JsonFieldReader::text(const QString &key, int capacity, const QString &fallback) const
{
    if (!has(key))
        return fallback;
    const QJsonValue value = m_object.value(key);
    if (!value.isString())
        fail(key, QStringLiteral("must be a text, not %1").arg(describeType(value)));
    const QString result = value.toString();
    if (result.size() > capacity)
        fail(key, QStringLiteral("%1 characters, but the record field holds at most %2")
                      .arg(result.size()).arg(capacity));
    return result;
}

QString JsonFieldReader::requiredText(const QString &key, int capacity) const
{
    if (!has(key))
        failMissing(key);
    return text(key, capacity);
}

qint64 JsonFieldReader::integer(const QString &key, qint64 minimum, qint64 maximum, qint64 fallback) const
{
    if (!has(key))
        return fallback;
    const QJsonValue value = m_object.value(key);
    const QString range = QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum);
    if (!value.isDouble())
        fail(key, QStringLiteral("must be %1, not %2").arg(range, describeType(value)));
    const double number = value.toDouble();
    if (std::floor(number) != number || number < double(minimum) || number > double(maximum))
        fail(key, QStringLiteral("%1 is outside the limit: must be %2").arg(QString::number(number, 'g', 17), range));
    return qint64(number);
}

qint64 JsonFieldReader::requiredInteger(const QString &key, qint64 minimum, qint64 maximum) const
{
    if (!has(key))
        failMissing(key);
    return integer(key, minimum, maximum, 0);
}

QJsonArray JsonFieldReader::array(const QString &key, bool required) const
{
    if (!has(key)) {
        if (required)
            failMissing(key);
        return QJsonArray();
    }
    const QJsonValue value = m_object.value(key);
    if (!value.isArray())
        fail(key, QStringLiteral("must be a list, not %1").arg(describeType(value)));
    return value.toArray();
}

QJsonObject JsonFieldReader::object(const QString &key) const
{
    if (!has(key))
        return QJsonObject();
    const QJsonValue value = m_object.value(key);
    if (!value.isObject())
        fail(key, QStringLiteral("must be an object, not %1").arg(describeType(value)));
    return value.toObject();
}

QJsonObject readJsonObjectFile(const QString &filePath)
{
    const QFileInfo info(filePath);
    if (!info.exists())
        throw InputError(QStringLiteral("%1: no such file").arg(filePath));
    if (info.isDir())
        throw InputError(QStringLiteral("%1: is a folder, not a file").arg(filePath));
    if (info.size() > kMaxInputFileBytes)
        throw InputError(QStringLiteral("%1: %2 bytes, more than the %3 bytes an input file may have")
                               .arg(filePath).arg(info.size()).arg(kMaxInputFileBytes));
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("%1: cannot be read: %2").arg(filePath, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("%1: cannot be read: %2").arg(filePath, file.errorString()));

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // A line number is what an editor shows; count it up to the offset.
        const int offset = int(error.offset);
        const int line = int(bytes.left(offset).count('\n')) + 1;
        throw InputError(QStringLiteral("%1: malformed JSON at line %2 (byte %3): %4")
                               .arg(filePath).arg(line).arg(offset).arg(error.errorString()));
    }
    if (!document.isObject())
        throw InputError(QStringLiteral("%1: (top level): must be a JSON object { ... }").arg(filePath));
    refuseRepeatedKeys(filePath, bytes);
    return document.object();
}

} // namespace kx::host
