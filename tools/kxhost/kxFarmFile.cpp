#include "kxFarmFile.h"

#include "kxInputError.h"
#include "kxJsonFieldReader.h"
#include "kxSdkLogChannel.h"
#include "kxTerminalText.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QSaveFile>

#include <utility>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace kx::host {

namespace {
const QString kLogFolderKey = QStringLiteral("logFolder");
const QString kLogKey = QStringLiteral("log");
const QString kClientsKey = QStringLiteral("clients");
const QString kNameKey = QStringLiteral("name");
const QString kMessageBoxKey = QStringLiteral("messageBox");

// File names inside the log folder; long enough for any sensible name.
constexpr int kMaxLogFileNameLength = 255;

int firstControl(const QString &text)
{
    for (int i = 0; i < int(text.size()); ++i) {
        if (isControl(text.at(i).unicode()))
            return i;
    }
    return -1;
}

void refuseControls(const JsonFieldReader &reader, const QString &key, const QString &text)
{
    const int at = firstControl(text);
    if (at >= 0)
        reader.fail(key, QStringLiteral("character %1 (U+%2) is a control character, which a file name must not hold")
                             .arg(at + 1)
                             .arg(text.at(at).unicode(), 4, 16, QLatin1Char('0')));
}

void requireLatin1(const JsonFieldReader &reader, const QString &key, const QString &text)
{
    const int at = firstNonLatin1(text);
    if (at >= 0)
        reader.fail(key, QStringLiteral("character %1 (U+%2) is outside Latin-1, which the record field stores")
                             .arg(at + 1)
                             .arg(text.at(at).unicode(), 4, 16, QLatin1Char('0')));
}

QString readLogFileName(const JsonFieldReader &reader, const QString &key, const QString &fallback)
{
    const QString name = reader.text(key, kMaxLogFileNameLength, fallback);
    refuseControls(reader, key, name);
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name == QLatin1String(".") || name == QLatin1String(".."))
        reader.fail(key, QStringLiteral("must be a plain file name inside the log folder"));
    return name;
}

FarmLogSettings readLogSettings(const QString &filePath, const QJsonObject &object)
{
    const JsonFieldReader reader(filePath, kLogKey, object,
                                   {QStringLiteral("mainFile"), QStringLiteral("errorFile"),
                                    QStringLiteral("splitFile"), QStringLiteral("enabledCategories"),
                                    QStringLiteral("stampSeparator"), QStringLiteral("splitCategory"),
                                    QStringLiteral("logName")});
    FarmLogSettings settings;
    settings.mainFile = readLogFileName(reader, QStringLiteral("mainFile"), settings.mainFile);
    settings.errorFile = readLogFileName(reader, QStringLiteral("errorFile"), settings.errorFile);
    settings.splitFile = readLogFileName(reader, QStringLiteral("splitFile"), settings.splitFile);
    if (settings.errorFile == settings.mainFile)
        reader.fail(QStringLiteral("errorFile"), QStringLiteral("must differ from log.mainFile"));
    if (settings.splitFile == settings.mainFile || settings.splitFile == settings.errorFile)
        reader.fail(QStringLiteral("splitFile"), QStringLiteral("must differ from log.mainFile and log.errorFile"));

    if (reader.has(QStringLiteral("enabledCategories"))) {
        settings.enabledCategories.fill(false);
        const QJsonArray categories = reader.array(QStringLiteral("enabledCategories"), true);
        for (int i = 0; i < int(categories.size()); ++i) {
            const QJsonValue value = categories.at(i);
            const double number = value.toDouble(-1);
            if (!value.isDouble() || number != double(int(number)) || number < 0
                || number >= kx::ServerConfig::kLogCategoryCount)
                reader.fail(QStringLiteral("enabledCategories[%1]").arg(i),
                            QStringLiteral("must be a category, a whole number from 0 to %1")
                                .arg(kx::ServerConfig::kLogCategoryCount - 1));
            settings.enabledCategories[std::size_t(number)] = true;
        }
    }

    const QString separator = reader.text(QStringLiteral("stampSeparator"), 1, QString(QLatin1Char('|')));
    if (separator.size() != 1)
        reader.fail(QStringLiteral("stampSeparator"), QStringLiteral("must be exactly one character"));
    requireLatin1(reader, QStringLiteral("stampSeparator"), separator);
    // A line feed is the one control character the channel knows what to do with: it drops it from the head.
    if (separator.at(0) != QLatin1Char('\n') && isControl(separator.at(0).unicode()))
        reader.fail(QStringLiteral("stampSeparator"),
                    QStringLiteral("U+%1 is a control character, which would be written into every log line "
                                   "(a line feed is the one allowed)")
                        .arg(separator.at(0).unicode(), 4, 16, QLatin1Char('0')));
    settings.stampSeparator = char(separator.at(0).unicode());

    settings.splitCategory = int(reader.integer(QStringLiteral("splitCategory"), -128, 127, -1));
    settings.logName = reader.text(QStringLiteral("logName"), __KXSDK::LogName::capacity(), settings.logName);
    requireLatin1(reader, QStringLiteral("logName"), settings.logName);
    return settings;
}
} // namespace

int firstNonLatin1(const QString &text)
{
    for (int i = 0; i < int(text.size()); ++i) {
        if (text.at(i).unicode() > 0xFF)
            return i;
    }
    return -1;
}

bool hasListSeparator(const QString &name, QString *problem)
{
    *problem = QStringLiteral("must not contain \";\", which separates the names of a recipient list");
    return name.contains(QLatin1Char(';'));
}

bool syncToDisk(QFileDevice &file, QString *cause)
{
    const int handle = file.handle();
    if (handle < 0)
        return true; // no descriptor of its own: the commit syncs what it can
#ifdef Q_OS_WIN
    if (::_commit(handle) != 0) {
        *cause = QStringLiteral("the data cannot be forced to disk");
        return false;
    }
#else
    if (::fsync(handle) != 0) {
        *cause = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#endif
    return true;
}

Farm readFarmFile(const QString &filePath)
{
    Farm farm;
    farm.filePath = filePath;
    farm.document = readJsonObjectFile(filePath);
    const JsonFieldReader reader(filePath, QString(), farm.document, {kLogFolderKey, kLogKey, kClientsKey});

    // A relative log folder is taken from the farm file's folder, so a farm runs the same from anywhere.
    const QString folder = reader.requiredText(kLogFolderKey, 4096);
    if (folder.isEmpty())
        reader.fail(kLogFolderKey, QStringLiteral("must name a folder"));
    refuseControls(reader, kLogFolderKey, folder);
    farm.logFolder = QDir::cleanPath(QFileInfo(filePath).absoluteDir().absoluteFilePath(folder));
    farm.log = readLogSettings(filePath, reader.object(kLogKey));

    const QJsonArray clients = reader.array(kClientsKey, true);
    if (clients.size() > kx::ClientTable::kMaxClients)
        reader.fail(kClientsKey, QStringLiteral("%1 clients, but a client table holds at most %2")
                                     .arg(clients.size()).arg(kx::ClientTable::kMaxClients));
    farm.clients.reserve(std::size_t(clients.size()));
    for (int i = 0; i < int(clients.size()); ++i) {
        const QString path = QStringLiteral("clients[%1]").arg(i);
        const QJsonValue value = clients.at(i);
        if (!value.isObject())
            throw InputError(QStringLiteral("%1: %2: must be an object, not %3")
                                   .arg(filePath, path, JsonFieldReader::describeType(value)));
        const JsonFieldReader client(filePath, path, value.toObject(), {kNameKey, kMessageBoxKey});
        FarmClient entry;
        entry.name = client.requiredText(kNameKey, kx::Client::NameField::capacity());
        requireLatin1(client, kNameKey, entry.name);
        QString problem;
        if (hasListSeparator(entry.name, &problem))
            client.fail(kNameKey, problem);
        entry.messageBox = client.text(kMessageBoxKey, kx::Client::MessageBoxField::capacity());
        farm.clients.push_back(entry);
    }
    return farm;
}

QJsonObject farmDocument(const Farm &farm, const QStringList &boxes)
{
    QJsonObject document = farm.document;
    QJsonArray clients = document.value(kClientsKey).toArray();
    for (int i = 0; i < int(clients.size()) && i < int(boxes.size()); ++i) {
        QJsonObject client = clients.at(i).toObject();
        client.insert(kMessageBoxKey, boxes.at(i));
        clients.replace(i, client);
    }
    document.insert(kClientsKey, clients);
    return document;
}

bool writeFarmFile(const QString &filePath, const QJsonObject &document, QString *errorMessage)
{
    QSaveFile file(filePath);
    const auto fail = [&](const QString &cause) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: cannot be written: %2").arg(filePath, cause);
        file.cancelWriting();
        return false;
    };
    const QByteArray bytes = QJsonDocument(document).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    // A write cut short by a full disk carries no cause; the next one, refused, does.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return fail(file.errorString());
        done += written;
    }
    // Each step is checked on its own: a commit has been seen to miss a failed write.
    if (!file.flush())
        return fail(file.errorString());
    QString cause;
    if (!syncToDisk(file, &cause))
        return fail(cause);
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

namespace {
// Cleaned absolute paths, or the files themselves where both exist (a link, another spelling).
bool isSameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity kCase = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity kCase = Qt::CaseSensitive;
#endif
    return QDir::cleanPath(first.absoluteFilePath()).compare(QDir::cleanPath(second.absoluteFilePath()), kCase) == 0;
}
} // namespace

void refuseLogFilesOverInputs(const Farm &farm, const QString &jobFilePath)
{
    const QString source = farm.filePath.isEmpty() ? QStringLiteral("--log-folder") : farm.filePath;
    const QDir folder(farm.logFolder);
    const std::pair<QString, QString> logs[] = {{QStringLiteral("log.mainFile"), farm.log.mainFile},
                                                {QStringLiteral("log.errorFile"), farm.log.errorFile},
                                                {QStringLiteral("log.splitFile"), farm.log.splitFile}};
    const std::pair<QString, QString> inputs[] = {
        {farm.filePath, QStringLiteral("the farm file itself")},
        {farm.filePath.isEmpty() ? QString() : farmLockFilePath(farm.filePath), QStringLiteral("the farm file's lock file")},
        {jobFilePath, QStringLiteral("the job event file")}};
    for (const auto &log : logs) {
        const QString logPath = folder.filePath(log.second);
        for (const auto &input : inputs) {
            if (!input.first.isEmpty() && isSameFile(logPath, input.first))
                throw InputError(QStringLiteral("%1: %2: \"%3\" in the log folder is %4; "
                                                  "a log file must not be one of kxhost's input files")
                                       .arg(source, log.first, log.second, input.second));
        }
    }
}

QString farmLockFilePath(const QString &farmFilePath)
{
    return farmFilePath + QStringLiteral(".lock");
}

} // namespace kx::host
