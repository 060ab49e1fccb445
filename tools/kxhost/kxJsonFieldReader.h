// Strict reading of kxhost's JSON input: a key given twice in one object,
// unknown keys, wrong types and values beyond a record field's capacity are
// errors, never cut or guessed at, because a silently shortened name would
// reach other clients.
#ifndef KXJSONFIELDREADER_H
#define KXJSONFIELDREADER_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <nlohmann/json.hpp>

#include <optional>

namespace kx::host {

// Keeps the keys in the order the file gives them, so a saved farm reads as it was written.
using Json = nlohmann::ordered_json;

// The one JSON parser of kxhost. nlohmann's event reader is used because it
// hands over every key as it reads it, so a key given twice in one object (also
// in another spelling with \u escapes) is refused by the reader itself; a
// UTF-8 byte-order mark is skipped. Throws Error (status 2) naming the file.
Json parseJsonObject(const QString &filePath, const QByteArray &bytes);

class JsonFieldReader
{
public:
    // Throws Error when the object holds a key outside allowedKeys.
    JsonFieldReader(const QString &filePath, const QString &objectPath, const Json &object,
                    const QStringList &allowedKeys);

    bool has(const QString &key) const;

    // A text of at most capacity UTF-16 units.
    QString text(const QString &key, int capacity, const QString &fallback = QString()) const;
    QString requiredText(const QString &key, int capacity) const;
    qint64 integer(const QString &key, qint64 minimum, qint64 maximum, qint64 fallback) const;
    qint64 requiredInteger(const QString &key, qint64 minimum, qint64 maximum) const;
    // The list, or an empty one when it is absent and not required.
    const Json &array(const QString &key, bool required) const;
    // The object, or an empty one when it is absent.
    const Json &object(const QString &key) const;

    // The dotted path of a field, as messages name it.
    QString fieldPath(const QString &key) const;
    [[noreturn]] void fail(const QString &key, const QString &problem) const;

    static QString describeType(const Json &value);
    // The value as a whole number from minimum to maximum; compared before any conversion.
    static std::optional<qint64> wholeNumber(const Json &value, qint64 minimum, qint64 maximum);

private:
    const Json *find(const QString &key) const;
    [[noreturn]] void failMissing(const QString &key) const;

    QString m_filePath;
    QString m_objectPath;
    const Json &m_object;
};

} // namespace kx::host

#endif // KXJSONFIELDREADER_H
