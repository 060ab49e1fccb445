#include "kxFarmFile.h"

#include "kxHostError.h"
#include "kxHostFiles.h"
#include "kxSdkLogChannel.h"
#include "kxTerminalText.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
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
// Larger inputs are not farms; refusing them keeps a typo from eating memory.
constexpr qint64 kMaxFarmFileBytes = 256 * 1024 * 1024;

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

FarmLogSettings readLogSettings(const QString &filePath, const Json &object)
{
    const JsonFieldReader reader(filePath, kLogKey, object,
                                 {QStringLiteral("mainFile"), QStringLiteral("errorFile"), QStringLiteral("splitFile"),
                                  QStringLiteral("enabledCategories"), QStringLiteral("stampSeparator"),
                                  QStringLiteral("splitCategory"), QStringLiteral("logName")});
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
        const Json &categories = reader.array(QStringLiteral("enabledCategories"), true);
        for (std::size_t i = 0; i < categories.size(); ++i) {
            const std::optional<qint64> category =
                JsonFieldReader::wholeNumber(categories[i], 0, kx::ServerConfig::kLogCategoryCount - 1);
            if (!category)
                reader.fail(QStringLiteral("enabledCategories[%1]").arg(i),
                            QStringLiteral("must be a category, a whole number from 0 to %1")
                                .arg(kx::ServerConfig::kLogCategoryCount - 1));
            settings.enabledCategories[std::size_t(*category)] = true;
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

void syncToDisk(QFileDevice &file, const QString &filePath)
{
    const int handle = file.handle();
    if (handle < 0)
        return; // no descriptor of its own: the commit syncs what it can
#ifdef Q_OS_WIN
    if (::_commit(handle) != 0)
        throw Error::failure(filePath, QStringLiteral("cannot be written: the data cannot be forced to disk"));
#else
    if (::fsync(handle) != 0)
        throw Error::failure(filePath,
                             QStringLiteral("cannot be written: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
#endif
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

QString listSeparatorProblem(const QString &name)
{
    return name.contains(QLatin1Char(';'))
        ? QStringLiteral("must not contain \";\", which separates the names of a recipient list")
        : QString();
}

Farm readFarmFile(const QString &filePath)
{
    return parseFarm(filePath, readInputFile(filePath, kMaxFarmFileBytes));
}

Farm parseFarm(const QString &filePath, const QByteArray &bytes)
{
    Farm farm;
    farm.filePath = filePath;
    farm.document = parseJsonObject(filePath, bytes);
    const JsonFieldReader reader(filePath, QString(), farm.document, {kLogFolderKey, kLogKey, kClientsKey});

    // A relative log folder is taken from the farm file's folder, so a farm runs the same from anywhere.
    const QString folder = reader.requiredText(kLogFolderKey, 4096);
    if (folder.isEmpty())
        reader.fail(kLogFolderKey, QStringLiteral("must name a folder"));
    refuseControls(reader, kLogFolderKey, folder);
    farm.logFolder = QDir::cleanPath(QFileInfo(filePath).absoluteDir().absoluteFilePath(folder));
    farm.log = readLogSettings(filePath, reader.object(kLogKey));

    const Json &clients = reader.array(kClientsKey, true);
    if (clients.size() > std::size_t(kx::ClientTable::kMaxClients))
        reader.fail(kClientsKey, QStringLiteral("%1 clients, but a client table holds at most %2")
                                     .arg(clients.size())
                                     .arg(kx::ClientTable::kMaxClients));
    farm.clients.reserve(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const QString path = QStringLiteral("clients[%1]").arg(i);
        const Json &value = clients[i];
        if (!value.is_object())
            throw Error::badInput(filePath, path,
                                  QStringLiteral("must be an object, not %1").arg(JsonFieldReader::describeType(value)));
        const JsonFieldReader client(filePath, path, value, {kNameKey, kMessageBoxKey});
        FarmClient entry;
        entry.name = client.requiredText(kNameKey, kx::Client::NameField::capacity());
        requireLatin1(client, kNameKey, entry.name);
        const QString problem = listSeparatorProblem(entry.name);
        if (!problem.isEmpty())
            client.fail(kNameKey, problem);
        entry.messageBox = client.text(kMessageBoxKey, kx::Client::MessageBoxField::capacity());
        farm.clients.push_back(entry);
    }
    return farm;
}

Json farmDocument(const Farm &farm, const QStringList &boxes)
{
    Json document = farm.document;
    Json &clients = document[kClientsKey.toStdString()];
    for (std::size_t i = 0; i < clients.size() && i < std::size_t(boxes.size()); ++i)
        clients[i][kMessageBoxKey.toStdString()] = boxes.at(int(i)).toStdString();
    return document;
}

void writeFarmFile(const QString &filePath, const Json &document)
{
    // The link's target is replaced, never the link, and only after its lock was taken by the same name.
    const QString target = realFilePath(filePath);
    const FileIdentity original = identifyFile(target);
    QSaveFile file(target);
    const auto fail = [&](const QString &cause) {
        file.cancelWriting();
        return Error::failure(filePath, QStringLiteral("cannot be written: %1").arg(cause));
    };
    const std::string text = document.dump(4) + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw fail(file.errorString());
    try {
        if (original.exists())
            keepOwnership(file.handle(), original, filePath);
        // A write cut short by a full disk carries no cause; the next one, refused, does.
        for (std::size_t done = 0; done < text.size();) {
            const qint64 written = file.write(text.data() + done, qint64(text.size() - done));
            if (written <= 0)
                throw fail(file.errorString());
            done += std::size_t(written);
        }
        // Each step is checked on its own: a commit has been seen to miss a failed write.
        if (!file.flush())
            throw fail(file.errorString());
        syncToDisk(file, filePath);
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (!file.commit())
        throw fail(file.errorString());
}

void refuseReplacingHardLinkedFile(const QString &filePath)
{
    const FileIdentity identity = identifyFile(filePath);
    if (identity.linkCount > 1)
        throw Error::badInput(filePath, {}, QStringLiteral("the file has %1 names (hard links); saving puts a new file "
                                                           "in its place, which the other names would not show, so "
                                                           "it is not saved")
                                                .arg(identity.linkCount));
}

QString realFilePath(const QString &path)
{
    QFileInfo info(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
    // A link that points nowhere yet is followed too: writing through it creates its target.
    for (int depth = 0; depth < 40 && info.isSymLink() && !info.exists(); ++depth)
        info.setFile(info.symLinkTarget());
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : QDir(folder).filePath(info.fileName());
}

QString farmLockFilePath(const QString &farmFilePath)
{
    return realFilePath(farmFilePath) + QStringLiteral(".lock");
}

namespace {
// Two paths name one file: by identity where the files exist, else by the real path a
// write would create (its folder resolved), so a link or another spelling is no way around.
bool isSameFile(const QString &a, const QString &b)
{
    const FileIdentity first = identifyFile(a);
    const FileIdentity second = identifyFile(b);
    if (first.exists() || second.exists())
        return first.isSameFileAs(second);
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity kCase = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity kCase = Qt::CaseSensitive;
#endif
    return realFilePath(a).compare(realFilePath(b), kCase) == 0;
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
        {farm.filePath.isEmpty() ? QString() : farmLockFilePath(farm.filePath),
         QStringLiteral("the farm file's lock file")},
        {jobFilePath, QStringLiteral("the job event file")}};
    for (std::size_t i = 0; i < std::size(logs); ++i) {
        const auto &log = logs[i];
        const QString logPath = folder.filePath(log.second);
        const auto refuse = [&](const QString &problem) {
            throw Error::badInput(source, log.first, QStringLiteral("\"%1\" in the log folder %2").arg(log.second, problem));
        };
        // Appending to a FIFO would wait for a reader, to a device would write into it.
        const FileIdentity identity = identifyFile(logPath);
        if (identity.kind == FileKind::Folder)
            refuse(QStringLiteral("is a folder; a log file must be a regular file"));
        if (identity.kind == FileKind::Other)
            refuse(QStringLiteral("is %1; a log file must be a regular file").arg(identity.kindName));
        for (const auto &input : inputs) {
            if (!input.first.isEmpty() && isSameFile(logPath, input.first))
                refuse(QStringLiteral("is %1; a log file must not be one of kxhost's input files").arg(input.second));
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (isSameFile(logPath, folder.filePath(logs[j].second)))
                refuse(QStringLiteral("is the file of %1; each log file must be a file of its own").arg(logs[j].first));
        }
    }
}

} // namespace kx::host
