#include "kxJsonFieldReader.h"

#include "kxInputError.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonParseError>

#include <cmath>

namespace {
// Larger inputs are not farms or job lists; refusing them keeps a typo from eating memory.
constexpr qint64 kMaxInputFileBytes = 256 * 1024 * 1024;
} // namespace

KxJsonFieldReader::KxJsonFieldReader(const QString &filePath, const QString &objectPath,
                                     const QJsonObject &object, const QStringList &allowedKeys)
    : m_filePath(filePath), m_objectPath(objectPath), m_object(object)
{
    for (auto it = m_object.constBegin(); it != m_object.constEnd(); ++it) {
        if (!allowedKeys.contains(it.key()))
            fail(it.key(), QStringLiteral("unknown field (known here: %1)").arg(allowedKeys.join(QStringLiteral(", "))));
    }
}

QString KxJsonFieldReader::fieldPath(const QString &key) const
{
    return m_objectPath.isEmpty() ? key : m_objectPath + QLatin1Char('.') + key;
}

void KxJsonFieldReader::fail(const QString &key, const QString &problem) const
{
    const QString field = key.isEmpty() ? (m_objectPath.isEmpty() ? QStringLiteral("(top level)") : m_objectPath)
                                        : fieldPath(key);
    throw KxInputError(QStringLiteral("%1: %2: %3").arg(m_filePath, field, problem));
}

void KxJsonFieldReader::failMissing(const QString &key) const
{
    fail(key, QStringLiteral("missing (this field is required)"));
}

QString KxJsonFieldReader::describeType(const QJsonValue &value)
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

QString KxJsonFieldReader::text(const QString &key, int capacity, const QString &fallback) const
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

QString KxJsonFieldReader::requiredText(const QString &key, int capacity) const
{
    if (!has(key))
        failMissing(key);
    return text(key, capacity);
}

qint64 KxJsonFieldReader::integer(const QString &key, qint64 minimum, qint64 maximum, qint64 fallback) const
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

qint64 KxJsonFieldReader::requiredInteger(const QString &key, qint64 minimum, qint64 maximum) const
{
    if (!has(key))
        failMissing(key);
    return integer(key, minimum, maximum, 0);
}

QJsonArray KxJsonFieldReader::array(const QString &key, bool required) const
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

QJsonObject KxJsonFieldReader::object(const QString &key) const
{
    if (!has(key))
        return QJsonObject();
    const QJsonValue value = m_object.value(key);
    if (!value.isObject())
        fail(key, QStringLiteral("must be an object, not %1").arg(describeType(value)));
    return value.toObject();
}

QJsonObject kxReadJsonObjectFile(const QString &filePath)
{
    const QFileInfo info(filePath);
    if (!info.exists())
        throw KxInputError(QStringLiteral("%1: no such file").arg(filePath));
    if (info.isDir())
        throw KxInputError(QStringLiteral("%1: is a folder, not a file").arg(filePath));
    if (info.size() > kMaxInputFileBytes)
        throw KxInputError(QStringLiteral("%1: %2 bytes, more than the %3 bytes an input file may have")
                               .arg(filePath).arg(info.size()).arg(kMaxInputFileBytes));
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw KxInputError(QStringLiteral("%1: cannot be read: %2").arg(filePath, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw KxInputError(QStringLiteral("%1: cannot be read: %2").arg(filePath, file.errorString()));

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // A line number is what an editor shows; count it up to the offset.
        const int offset = int(error.offset);
        const int line = int(bytes.left(offset).count('\n')) + 1;
        throw KxInputError(QStringLiteral("%1: malformed JSON at line %2 (byte %3): %4")
                               .arg(filePath).arg(line).arg(offset).arg(error.errorString()));
    }
    if (!document.isObject())
        throw KxInputError(QStringLiteral("%1: (top level): must be a JSON object { ... }").arg(filePath));
    return document.object();
}
