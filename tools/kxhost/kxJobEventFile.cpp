#include "kxJobEventFile.h"

#include "kxHostError.h"
#include "kxHostFiles.h"
#include "kxJobIdTextParser.h"
#include "kxJsonFieldReader.h"
#include "kxNotifyContract.h"

#include <QtCore/QStringList>

#include <limits>

namespace kx::host {

namespace {
const QString kEventsKey = QStringLiteral("events");
const QString kJobIdKey = QStringLiteral("jobId");
const QString kJobIdBytesKey = QStringLiteral("jobIdBytes");
const QString kProgressCodeKey = QStringLiteral("progressCode");
const QString kSceneKey = QStringLiteral("scene");
const QString kImageKey = QStringLiteral("image");
const QString kImageExtensionKey = QStringLiteral("imageExtension");
const QString kInfoTextKey = QStringLiteral("infoText");
const QString kRecipientsKey = QStringLiteral("recipients");

// An ID text is no record field, so any length is read and refused by its form; a long
// one is named by its length rather than echoed.
constexpr int kAnyLength = std::numeric_limits<int>::max();

QString quoted(const QString &text)
{
    return text.size() <= 32 ? QLatin1Char('"') + text + QLatin1Char('"')
                             : QStringLiteral("a text of %1 characters").arg(text.size());
}

// Far more than any test of message box trimming needs.
constexpr int kMaxEvents = 100000;
// Larger inputs are not job lists; refusing them keeps a typo from eating memory.
constexpr qint64 kMaxJobFileBytes = 256 * 1024 * 1024;

// Eight bytes in record order as hexadecimal pairs; blanks between them are allowed.
bool parseIdBytes(const QString &text, std::array<unsigned char, 8> *id)
{
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    if (digits.size() != 16)
        return false;
    for (int i = 0; i < 8; ++i) {
        bool ok = false;
        const uint byte = digits.mid(2 * i, 2).toUInt(&ok, 16);
        if (!ok || digits.at(2 * i) == QLatin1Char('+') || digits.at(2 * i) == QLatin1Char('-'))
            return false;
        (*id)[std::size_t(i)] = static_cast<unsigned char>(byte);
    }
    return true;
}

JobEvent readEvent(const QString &filePath, std::size_t index, const Json &object)
{
    const JsonFieldReader reader(filePath, QStringLiteral("events[%1]").arg(index), object,
                                   {kJobIdKey, kJobIdBytesKey, kProgressCodeKey, kSceneKey, kImageKey,
                                    kImageExtensionKey, kInfoTextKey, kRecipientsKey});
    JobEvent event;
    if (reader.has(kJobIdKey) == reader.has(kJobIdBytesKey))
        reader.fail(kJobIdKey, QStringLiteral("give the job either as jobId (such as \"{KT9a}\") or as jobIdBytes, "
                                              "exactly one of them"));
    if (reader.has(kJobIdKey)) {
        const QString text = reader.text(kJobIdKey, kAnyLength);
        event.idText = text;
        if (!parseJobIdText(text, &event.id))
            reader.fail(kJobIdKey, QStringLiteral("%1 is no job ID text: \"{\", three of %2, "
                                                  "a blank or one or two of %3, \"}\"")
                                       .arg(quoted(text), QStringLiteral("A-Z without I, 1-9, + or -"),
                                            QStringLiteral("a-z without i and m")));
    } else {
        const QString text = reader.text(kJobIdBytesKey, kAnyLength);
        if (!parseIdBytes(text, &event.id))
            reader.fail(kJobIdBytesKey, QStringLiteral("%1 is not 8 bytes in hexadecimal (16 digits, "
                                                       "blanks allowed), such as \"01 00 00 15 cd 5b 07 00\"")
                                            .arg(quoted(text)));
        QStringList bytes;
        for (const unsigned char byte : event.id)
            bytes.append(QStringLiteral("%1").arg(uint(byte), 2, 16, QLatin1Char('0')));
        event.idText = QStringLiteral("bytes ") + bytes.join(QLatin1Char(' '));
    }
    event.progressCode = int(reader.requiredInteger(kProgressCodeKey, 0, 255));
    event.scene = reader.text(kSceneKey, kx::Job::SceneField::capacity());
    event.image = reader.text(kImageKey, kx::Job::ImageField::capacity());
    event.imageExtension = reader.text(kImageExtensionKey, kx::Job::ImageExtensionField::capacity());
    event.infoText = reader.text(kInfoTextKey, kx::Job::InfoTextField::capacity());
    event.recipients = reader.requiredText(kRecipientsKey, kx::Job::RecipientListField::capacity());
    return event;
}
} // namespace

std::vector<JobEvent> readJobEventFile(const QString &filePath)
{
    return parseJobEvents(filePath, readInputFile(filePath, kMaxJobFileBytes));
}

std::vector<JobEvent> parseJobEvents(const QString &filePath, const QByteArray &bytes)
{
    const Json document = parseJsonObject(filePath, bytes);
    const JsonFieldReader reader(filePath, QString(), document, {kEventsKey});
    const Json &events = reader.array(kEventsKey, true);
    if (events.empty())
        reader.fail(kEventsKey, QStringLiteral("must hold at least one event"));
    if (events.size() > std::size_t(kMaxEvents))
        reader.fail(kEventsKey, QStringLiteral("%1 events, at most %2 are taken").arg(events.size()).arg(kMaxEvents));

    std::vector<JobEvent> result;
    result.reserve(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        const Json &value = events[i];
        if (!value.is_object())
            throw Error::badInput(filePath, QStringLiteral("events[%1]").arg(i),
                                  QStringLiteral("must be an object, not %1").arg(JsonFieldReader::describeType(value)));
        result.push_back(readEvent(filePath, i, value));
    }
    return result;
}

} // namespace kx::host
