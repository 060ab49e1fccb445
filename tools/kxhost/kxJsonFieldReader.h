// Strict reading of one JSON object of an input file: unknown keys, wrong
// types and values beyond a record field's capacity are errors, never cut or
// guessed at, because a silently shortened name would reach other clients.
#ifndef KXJSONFIELDREADER_H
#define KXJSONFIELDREADER_H

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>
#include <QtCore/QStringList>

namespace kx::host {

class JsonFieldReader
{
public:
    // Throws InputError when the object holds a key outside allowedKeys.
    JsonFieldReader(const QString &filePath, const QString &objectPath, const QJsonObject &object,
                      const QStringList &allowedKeys);

    bool has(const QString &key) const { return m_object.contains(key); }

    // A text of at most capacity UTF-16 units.
    QString text(const QString &key, int capacity, const QString &fallback = QString()) const;
    QString requiredText(const QString &key, int capacity) const;
    qint64 integer(const QString &key, qint64 minimum, qint64 maximum, qint64 fallback) const;
    qint64 requiredInteger(const QString &key, qint64 minimum, qint64 maximum) const;
    QJsonArray array(const QString &key, bool required) const;
    QJsonObject object(const QString &key) const;

    // The dotted path of a field, as messages name it.
    QString fieldPath(const QString &key) const;
    [[noreturn]] void fail(const QString &key, const QString &problem) const;

    static QString describeType(const QJsonValue &value);

private:
    [[noreturn]] void failMissing(const QString &key) const;

    QString m_filePath;
    QString m_objectPath;
    QJsonObject m_object;
};

// Reads a whole file as a JSON object; missing, unreadable and malformed files
// throw InputError naming the file.
QJsonObject readJsonObjectFile(const QString &filePath);

} // namespace kx::host

#endif // KXJSONFIELDREADER_H
