#include "kxJsonFieldReader.h"

#include "kxHostError.h"

#include <QtCore/QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kx::host {

namespace {
// Walks the bytes for the parser and remembers the furthest byte it has read,
// so that a key refused in the middle of a parse can be named by its line.
class TrackedByte
{
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char *;
    using reference = const char &;

    TrackedByte(const char *at, const char **furthest) : m_at(at), m_furthest(furthest) {}
    reference operator*() const
    {
        *m_furthest = m_at;
        return *m_at;
    }
    TrackedByte &operator++()
    {
        ++m_at;
        return *this;
    }
    TrackedByte operator++(int)
    {
        TrackedByte before = *this;
        ++m_at;
        return before;
    }
    bool operator==(const TrackedByte &other) const { return m_at == other.m_at; }
    bool operator!=(const TrackedByte &other) const { return m_at != other.m_at; }

private:
    const char *m_at;
    const char **m_furthest;
};

// Builds the document as the parser reports it and stops at the first key
// that its object already holds. Keeps no recursion, so nesting costs no stack.
class StrictDocumentBuilder final : public nlohmann::json_sax<Json>
{
public:
    Json root;
    QString problem;    // empty while the parse goes well
    qint64 problemAt = 0; // bytes into the text

    explicit StrictDocumentBuilder(const char *const *furthest, const char *start)
        : m_furthest(furthest), m_start(start)
    {
    }

    bool null() override { return add(Json(nullptr)); }
    bool boolean(bool value) override { return add(Json(value)); }
    bool number_integer(number_integer_t value) override { return add(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return add(Json(value)); }
    bool number_float(number_float_t value, const string_t &) override { return add(Json(value)); }
    bool string(string_t &value) override { return add(Json(std::move(value))); }
    bool binary(binary_t &) override { return false; } // JSON text holds none
    bool start_object(std::size_t) override { return open(Json::object(), true); }
    bool start_array(std::size_t) override { return open(Json::array(), false); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t &key) override
    {
        Level &level = m_levels.back();
        if (!level.keys.insert(key).second) {
            problemAt = *m_furthest - m_start;
            problem = QStringLiteral("%1: given twice in one object (line %2); each field may be given once")
                          .arg(path(QString::fromStdString(key)))
                          .arg(lineAt(problemAt));
            return false;
        }
        level.key = std::move(key);
        return true;
    }

    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &error) override
    {
        // The parser's text names its own exception id and a column; the line is told here.
        static const QRegularExpression head(QStringLiteral("^\\[json\\.exception\\.[a-z_]+\\.\\d+\\] "
                                                            "(parse error( at line \\d+, column \\d+)?: )?"));
        QString reason = QString::fromUtf8(error.what());
        reason.remove(head);
        problemAt = qint64(position);
        problem = QStringLiteral("malformed JSON at line %1 (byte %2): %3").arg(lineAt(problemAt)).arg(position).arg(reason);
        return false;
    }

private:
    struct Level
    {
        Json *value;
        bool isObject;
        std::unordered_set<std::string> keys;
        std::string key;
        qint64 index = -1;
    };

    int lineAt(qint64 offset) const { return int(std::count(m_start, m_start + std::max<qint64>(offset - 1, 0), '\n')) + 1; }

    QString path(const QString &last) const
    {
        QString result;
        for (const Level &level : m_levels) {
            if (&level == &m_levels.back())
                break;
            if (level.isObject)
                result += (result.isEmpty() ? QString() : QStringLiteral(".")) + QString::fromStdString(level.key);
            else
                result += QStringLiteral("[%1]").arg(level.index);
        }
        return result.isEmpty() ? last : result + QLatin1Char('.') + last;
    }

    // The place of a new value: the root, the next list entry or the object's last key.
    Json *add(Json &&value)
    {
        if (m_levels.empty()) {
            root = std::move(value);
            return &root;
        }
        Level &level = m_levels.back();
        if (level.isObject) {
            // Each key is new (checked as it came), so the entry is appended without a search.
            auto &entries = level.value->get_ref<Json::object_t &>();
            entries.Json::object_t::Container::emplace_back(level.key, std::move(value));
            return &entries.back().second;
        }
        ++level.index;
        auto &entries = level.value->get_ref<Json::array_t &>();
        entries.push_back(std::move(value));
        return &entries.back();
    }
    bool open(Json &&container, bool isObject)
    {
        Json *value = add(std::move(container));
        m_levels.push_back(Level{value, isObject, {}, {}});
        return true;
    }
    bool close()
    {
        m_levels.pop_back();
        return true;
    }

    const char *const *m_furthest;
    const char *m_start;
    std::vector<Level> m_levels;
};
} // namespace

Json parseJsonObject(const QString &filePath, const QByteArray &bytes)
{
    const char *start = bytes.constData();
    const char *furthest = start;
    StrictDocumentBuilder builder(&furthest, start);
    const TrackedByte first(start, &furthest);
    const TrackedByte last(start + bytes.size(), &furthest);
    if (!Json::sax_parse(first, last, &builder) || !builder.problem.isEmpty())
        throw Error::badInput(filePath, {}, builder.problem.isEmpty() ? QStringLiteral("malformed JSON") : builder.problem);
    if (!builder.root.is_object())
        throw Error::badInput(filePath, QStringLiteral("(top level)"), QStringLiteral("must be a JSON object { ... }"));
    return std::move(builder.root);
}

JsonFieldReader::JsonFieldReader(const QString &filePath, const QString &objectPath, const Json &object,
                                 const QStringList &allowedKeys)
    : m_filePath(filePath), m_objectPath(objectPath), m_object(object)
{
    for (auto it = m_object.begin(); it != m_object.end(); ++it) {
        const QString key = QString::fromStdString(it.key());
        if (!allowedKeys.contains(key))
            fail(key, QStringLiteral("unknown field (known here: %1)").arg(allowedKeys.join(QStringLiteral(", "))));
    }
}

const Json *JsonFieldReader::find(const QString &key) const
{
    const auto it = m_object.find(key.toStdString());
    return it == m_object.end() ? nullptr : &*it;
}

bool JsonFieldReader::has(const QString &key) const
{
    return find(key) != nullptr;
}

QString JsonFieldReader::fieldPath(const QString &key) const
{
    return m_objectPath.isEmpty() ? key : m_objectPath + QLatin1Char('.') + key;
}

void JsonFieldReader::fail(const QString &key, const QString &problem) const
{
    const QString field = key.isEmpty() ? (m_objectPath.isEmpty() ? QStringLiteral("(top level)") : m_objectPath)
                                        : fieldPath(key);
    throw Error::badInput(m_filePath, field, problem);
}

void JsonFieldReader::failMissing(const QString &key) const
{
    fail(key, QStringLiteral("missing (this field is required)"));
}

QString JsonFieldReader::describeType(const Json &value)
{
    if (value.is_null())
        return QStringLiteral("null");
    if (value.is_boolean())
        return QStringLiteral("a true/false value");
    if (value.is_number())
        return QStringLiteral("a number");
    if (value.is_string())
        return QStringLiteral("a text");
    if (value.is_array())
        return QStringLiteral("a list");
    if (value.is_object())
        return QStringLiteral("an object");
    return QStringLiteral("undefined");
}

std::optional<qint64> JsonFieldReader::wholeNumber(const Json &value, qint64 minimum, qint64 maximum)
{
    if (value.is_number_unsigned()) {
        const std::uint64_t number = value.get<std::uint64_t>();
        if (maximum < 0 || number > std::uint64_t(maximum) || (minimum > 0 && number < std::uint64_t(minimum)))
            return std::nullopt;
        return qint64(number);
    }
    if (value.is_number_integer()) {
        const std::int64_t number = value.get<std::int64_t>();
        if (number < minimum || number > maximum)
            return std::nullopt;
        return qint64(number);
    }
    if (value.is_number_float()) {
        // Compared as a double first: a value such as 1e300 has no integer to convert to.
        const double number = value.get<double>();
        if (!std::isfinite(number) || std::floor(number) != number || number < double(minimum)
            || number > double(maximum))
            return std::nullopt;
        return qint64(number);
    }
    return std::nullopt;
}

QString JsonFieldReader::text(const QString &key, int capacity, const QString &fallback) const
{
    const Json *value = find(key);
    if (!value)
        return fallback;
    if (!value->is_string())
        fail(key, QStringLiteral("must be a text, not %1").arg(describeType(*value)));
    const QString result = QString::fromStdString(value->get_ref<const std::string &>());
    if (result.size() > capacity)
        fail(key, QStringLiteral("%1 characters, but the record field holds at most %2").arg(result.size()).arg(capacity));
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
    const Json *value = find(key);
    if (!value)
        return fallback;
    const QString range = QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum);
    if (!value->is_number())
        fail(key, QStringLiteral("must be %1, not %2").arg(range, describeType(*value)));
    const std::optional<qint64> number = wholeNumber(*value, minimum, maximum);
    if (!number)
        fail(key, QStringLiteral("%1 is outside the limit: must be %2").arg(QString::fromStdString(value->dump()), range));
    return *number;
}

qint64 JsonFieldReader::requiredInteger(const QString &key, qint64 minimum, qint64 maximum) const
{
    if (!has(key))
        failMissing(key);
    return integer(key, minimum, maximum, 0);
}

const Json &JsonFieldReader::array(const QString &key, bool required) const
{
    static const Json empty = Json::array();
    const Json *value = find(key);
    if (!value) {
        if (required)
            failMissing(key);
        return empty;
    }
    if (!value->is_array())
        fail(key, QStringLiteral("must be a list, not %1").arg(describeType(*value)));
    return *value;
}

const Json &JsonFieldReader::object(const QString &key) const
{
    static const Json empty = Json::object();
    const Json *value = find(key);
    if (!value)
        return empty;
    if (!value->is_object())
        fail(key, QStringLiteral("must be an object, not %1").arg(describeType(*value)));
    return *value;
}

} // namespace kx::host
