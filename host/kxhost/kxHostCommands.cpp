#include "kxHostCommands.h"

#include "kxFarmFile.h"
#include "kxFarmGenerator.h"
#include "kxFarmServer.h"
#include "kxInputError.h"
#include "kxJobEventFile.h"
#include "kxPluginModule.h"
#include "kxPluginModulePath.h"
#include "kxRecordAccess.h"
#include "kxServerRecords.h"
#include "kxServerSdkObject.h"
#include "kxTerminalText.h"
#include "jobIDText.h"
#include "records/kxClientRecord.h"
#include "records/kxPluginInfoRecord.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QFileInfo>
#include <QtCore/QLockFile>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTextStream>

#include <cstring>
#include <memory>

namespace {
constexpr int kDefaultLockTimeoutSeconds = 60;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int failWith(int status, const QString &message)
{
    out().flush();
    err() << "kxhost: " << kxVisibleText(message) << "\n";
    err().flush();
    return status;
}

QString resultMeaning(int result)
{
    switch (result) {
    case kx::ResultSuccess: return QStringLiteral("success");
    case kx::ResultLayoutMismatch: return QStringLiteral("record version or layout mismatch");
    case kx::ResultExceptionCaught: return QStringLiteral("an exception was caught inside the call");
    case kx::ResultNoRecipient: return QStringLiteral("the job names no recipient");
    default: return QStringLiteral("not a result code of this interface");
    }
}

QString describeResult(int result)
{
    return QStringLiteral("%1 (%2)").arg(result).arg(resultMeaning(result));
}

// The server's notification points, told apart by the job's progress code.
QString notificationPoint(int progressCode)
{
    if (progressCode >= 180)
        return QStringLiteral("finished");
    if (progressCode > 120)
        return QStringLiteral("frames done");
    return QStringLiteral("preview frames done");
}

QString formatDuration(qint64 nanoseconds)
{
    if (nanoseconds < 1000000)
        return QStringLiteral("%1 us").arg(double(nanoseconds) / 1e3, 0, 'f', 1);
    return QStringLiteral("%1 ms").arg(double(nanoseconds) / 1e6, 0, 'f', 3);
}

// Parses or reports: --help prints and leaves with 0, usage errors leave with 2.
bool parseCommandLine(QCommandLineParser &parser, const QStringList &arguments, int *status)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    if (!parser.parse(arguments)) {
        *status = failWith(kx::host::ExitBadInput,
                           parser.errorText() + QStringLiteral(" (see kxhost %1 --help)").arg(arguments.value(0)));
        return false;
    }
    if (parser.isSet(help)) {
        // The parser names the program as it was started; the usage line should be one to type back.
        QString text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        const int programEnd = int(text.indexOf(QLatin1String(" [options]")));
        if (text.startsWith(usage) && programEnd > int(usage.size()))
            text.replace(int(usage.size()), programEnd - int(usage.size()),
                         QStringLiteral("kxhost ") + arguments.value(0));
        out() << text;
        out().flush();
        *status = kx::host::ExitSuccess;
        return false;
    }
    return true;
}

QCommandLineOption lockTimeoutOption()
{
    return QCommandLineOption(QStringLiteral("lock-timeout"),
                              QStringLiteral("How long to wait for another run on the same farm file to end "
                                             "(default: %1 seconds).").arg(kDefaultLockTimeoutSeconds),
                              QStringLiteral("SECONDS"), QString::number(kDefaultLockTimeoutSeconds));
}

int lockTimeoutSeconds(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    bool isNumber = false;
    const int seconds = parser.value(option).toInt(&isNumber);
    if (!isNumber || seconds < 0 || seconds > 86400)
        throw KxInputError(QStringLiteral("--lock-timeout: \"%1\" is not a whole number of seconds from 0 to 86400")
                               .arg(parser.value(option)));
    return seconds;
}

// Two runs that read the farm, run and write it back would each save over the
// other's boxes; the lock beside the farm makes them take turns.
bool lockFarm(QLockFile &lock, const QString &farmPath, int timeoutSeconds, QString *errorMessage,
              bool *isBusy)
{
    // A long run keeps its lock; only a lock whose process is gone is taken over.
    lock.setStaleLockTime(0);
    if (lock.tryLock(timeoutSeconds * 1000))
        return true;
    *isBusy = lock.error() == QLockFile::LockFailedError;
    if (*isBusy)
        *errorMessage = QStringLiteral("%1: another kxhost run is using this farm file (lock file %2); gave up "
                                       "after %3 seconds (see --lock-timeout)")
                            .arg(farmPath, kxFarmLockFilePath(farmPath))
                            .arg(timeoutSeconds);
    else
        *errorMessage = QStringLiteral("%1: the lock file %2 cannot be created%3")
                            .arg(farmPath, kxFarmLockFilePath(farmPath),
                                 lock.error() == QLockFile::PermissionError ? QStringLiteral(": permission denied")
                                                                            : QString());
    return false;
}

QCommandLineOption pluginOption()
{
    return QCommandLineOption(QStringLiteral("plugin"),
                              QStringLiteral("The notification module to load (default: %1).")
                                  .arg(kxDefaultPluginModulePath()),
                              QStringLiteral("PATH"));
}

std::unique_ptr<KxPluginModule> loadModule(const QCommandLineParser &parser, const QCommandLineOption &option,
                                           QString *errorMessage)
{
    const QString path = parser.isSet(option) ? parser.value(option) : kxDefaultPluginModulePath();
    if (!QFileInfo(path).isFile()) {
        *errorMessage = QStringLiteral("%1: no such module file").arg(path);
        return nullptr;
    }
    auto module = std::make_unique<KxPluginModule>(QFileInfo(path).absoluteFilePath());
    if (!module->load()) {
        *errorMessage = QStringLiteral("%1: cannot be loaded as a notification module: %2")
                            .arg(path, module->errorString());
        return nullptr;
    }
    return module;
}

// pInfo as the server calls it; prints the identity and the layout verdict.
int describePlugin(const KxPluginModule &module, __KXSDK *sdk, bool verbose)
{
    _kxPluginInfo info;
    std::memset(static_cast<void *>(&info), 0, sizeof info);
    info.version = kx::PluginInfo::kRecordVersion;
    info.sdk = sdk;
    const int result = module.info(&info);
    const auto *bytes = reinterpret_cast<const unsigned char *>(&info);
    const QString name = kxVisibleText(kx::readText<kx::PluginInfo::NameField::capacity()>(bytes, kx::PluginInfo::kNameOffset));
    const QString author = kxVisibleText(kx::readText<kx::PluginInfo::AuthorField::capacity()>(bytes, kx::PluginInfo::kAuthorOffset));
    const QString version = kxVisibleText(kx::readText<kx::PluginInfo::VersionField::capacity()>(bytes, kx::PluginInfo::kPluginVersionOffset));
    const QString sdkVersion = kxVisibleText(kx::readText<kx::PluginInfo::VersionField::capacity()>(bytes, kx::PluginInfo::kSdkVersionOffset));
    const QString qtVersion = kxVisibleText(kx::readText<kx::PluginInfo::VersionField::capacity()>(bytes, kx::PluginInfo::kQtVersionOffset));
    const QString verdict = result == kx::ResultSuccess ? QStringLiteral("records accepted")
                                                        : QStringLiteral("records refused");
    if (verbose) {
        out() << "pInfo    -> " << describeResult(result) << "\n"
              << "  name          " << name << "\n"
              << "  author        " << author << "\n"
              << "  version       " << version << "\n"
              << "  SDK version   \"" << sdkVersion << "\"\n"
              << "  Qt version    " << qtVersion << "\n"
              << "  layouts       " << verdict << "\n";
    } else {
        out() << "pInfo    -> " << describeResult(result) << ": " << name << " " << version << " by " << author
              << ", SDK \"" << sdkVersion << "\", Qt " << qtVersion << ", " << verdict << "\n";
    }
    return result;
}

void printBox(const QString &box)
{
    if (box.isEmpty()) {
        out() << "    (empty)\n";
        return;
    }
    const QStringList lines = box.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    for (const QString &line : lines)
        out() << "    | " << kxVisibleText(line) << "\n";
}
} // namespace

int kx::host::runInfo(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Loads a notification module as the server does (pInit, pInfo, pExit) and shows\n"
                       "the identity it reports and whether it accepts the server's record layouts."));
    const QCommandLineOption plugin = pluginOption();
    parser.addOption(plugin);
    int status = ExitSuccess;
    if (!parseCommandLine(parser, arguments, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return failWith(ExitBadInput, QStringLiteral("info takes no file arguments (see kxhost info --help)"));

    QString error;
    const std::unique_ptr<KxPluginModule> module = loadModule(parser, plugin, &error);
    if (!module)
        return failWith(ExitFailure, error);
    out() << "module   " << module->path() << "\n";
    out() << "pInit    -> " << describeResult(module->init()) << "\n";
    KxServerSdkObject sdk;
    const int result = describePlugin(*module, sdk.sdkInterface(), true);
    out() << "pExit    -> " << describeResult(module->exit()) << "\n";
    out().flush();
    return result == kx::ResultSuccess ? ExitSuccess : ExitFailure;
}

int kx::host::runNotify(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs job events through a notification module as the server does: pInit, pInfo,\n"
        "pNotify once per event, pExit. For each event it prints the job ID text, the\n"
        "notification point, the result code, the log lines written and the message box\n"
        "of every client that changed. The farm comes from FARM.json or is generated\n"
        "with --clients."));
    parser.addPositionalArgument(QStringLiteral("FARM.json"), QStringLiteral("The farm file (see docs/kxhost-formats.md)."));
    const QCommandLineOption job(QStringLiteral("job"), QStringLiteral("The job event file (required)."),
                                 QStringLiteral("JOB.json"));
    const QCommandLineOption plugin = pluginOption();
    const QCommandLineOption save(QStringLiteral("save"),
                                  QStringLiteral("Writes the message boxes back to FARM.json, so the next run appends."));
    const QCommandLineOption clients(QStringLiteral("clients"),
                                     QStringLiteral("Instead of FARM.json: a generated farm of N clients (1 to 32767)."),
                                     QStringLiteral("N"));
    const QCommandLineOption prefix(QStringLiteral("prefix"),
                                    QStringLiteral("Name prefix of generated clients (default: render)."),
                                    QStringLiteral("TEXT"), QStringLiteral("render"));
    const QCommandLineOption logFolder(QStringLiteral("log-folder"),
                                       QStringLiteral("Log folder of a generated farm (default: a temporary folder, "
                                                      "removed at the end)."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption lockTimeout = lockTimeoutOption();
    parser.addOptions({job, plugin, save, clients, prefix, logFolder, lockTimeout});
    int status = ExitSuccess;
    if (!parseCommandLine(parser, arguments, &status))
        return status;

    const QStringList files = parser.positionalArguments();
    const bool generated = parser.isSet(clients);
    if (generated ? !files.isEmpty() : files.size() != 1)
        return failWith(ExitBadInput, QStringLiteral("give either one FARM.json or --clients N (see kxhost notify --help)"));
    if (!parser.isSet(job))
        return failWith(ExitBadInput, QStringLiteral("--job JOB.json is required (see kxhost notify --help)"));
    if (generated && parser.isSet(save))
        return failWith(ExitBadInput, QStringLiteral("--save needs a farm file; a generated farm has none"));
    if (!generated && (parser.isSet(prefix) || parser.isSet(logFolder)))
        return failWith(ExitBadInput, QStringLiteral("--prefix and --log-folder belong to --clients"));

    // Every input is checked before anything is loaded or written.
    KxFarm farm;
    std::vector<KxJobEvent> events;
    std::unique_ptr<QTemporaryDir> temporaryLogs;
    std::unique_ptr<QLockFile> farmLock;
    try {
        const int lockWait = lockTimeoutSeconds(parser, lockTimeout);
        // Held until the farm is written back (and the run's log lines are read), so that
        // runs on one farm take turns. A missing farm is refused below as bad input.
        if (!generated && QFileInfo::exists(files.first())) {
            farmLock = std::make_unique<QLockFile>(kxFarmLockFilePath(files.first()));
            QString lockError;
            bool isBusy = false;
            if (!lockFarm(*farmLock, files.first(), lockWait, &lockError, &isBusy)) {
                // Only a save needs the lock; a farm in a folder that takes no lock file is still run.
                if (isBusy || parser.isSet(save))
                    return failWith(ExitFailure, lockError);
                farmLock.reset();
            }
        }
        if (generated) {
            bool isNumber = false;
            const qint64 count = parser.value(clients).toLongLong(&isNumber);
            if (!isNumber)
                throw KxInputError(QStringLiteral("--clients: \"%1\" is not a whole number").arg(parser.value(clients)));
            QString folder = parser.value(logFolder);
            if (folder.isEmpty()) {
                temporaryLogs = std::make_unique<QTemporaryDir>();
                folder = temporaryLogs->path();
            }
            farm = kxGenerateFarm(count, parser.value(prefix), folder);
        } else {
            farm = kxReadFarmFile(files.first());
        }
        events = kxReadJobEventFile(parser.value(job));
        kxRefuseLogFilesOverInputs(farm, parser.value(job));
    } catch (const KxFileError &error) {
        return failWith(ExitFailure, error.message());
    } catch (const KxInputError &error) {
        return failWith(ExitBadInput, error.message());
    }

    QString error;
    const std::unique_ptr<KxPluginModule> module = loadModule(parser, plugin, &error);
    if (!module)
        return failWith(ExitFailure, error);
    auto server = std::make_unique<KxFarmServer>();
    if (!server->start(farm, &error))
        return failWith(ExitFailure, error);

    out() << "module   " << kxVisibleText(module->path()) << "\n"
          << "farm     " << (generated ? QStringLiteral("generated") : kxVisibleText(farm.filePath)) << ", "
          << farm.clients.size() << (farm.clients.size() == 1 ? " client" : " clients") << ", logs in "
          << kxVisibleText(farm.logFolder) << (temporaryLogs ? " (removed at the end)" : "") << "\n"
          << "pInit    -> " << describeResult(module->init()) << "\n";
    describePlugin(*module, server->sdkInterface(), false);

    qint64 totalNanoseconds = 0;
    // Each file's first failure, in the order they happened.
    QStringList logFailures;
    QStringList failedLogFiles;
    const int eventCount = int(events.size());
    for (int i = 0; i < eventCount; ++i) {
        const KxJobEvent &event = events[std::size_t(i)];
        out() << "\n"
              << "event " << i + 1 << " of " << eventCount << ": job " << kx::jobIDText(event.id) << ", progress "
              << event.progressCode << " (" << notificationPoint(event.progressCode) << "), to '"
              << kxVisibleText(event.recipients) << "'\n";
        out().flush();
        const KxEventOutcome outcome = server->notify(*module, event);
        totalNanoseconds += outcome.nanoseconds;
        out() << "  pNotify -> " << describeResult(outcome.result) << " in " << formatDuration(outcome.nanoseconds)
              << "\n";
        for (const KxLogFileLines &file : outcome.logLines) {
            out() << "  log " << kxVisibleText(file.fileName) << ":\n";
            for (const QString &line : file.lines)
                out() << "    " << kxVisibleText(line) << "\n";
        }
        for (const KxLogError &logError : outcome.logErrors) {
            out() << "  log error: " << kxVisibleText(logError.message) << "\n";
            if (!failedLogFiles.contains(logError.fileName)) {
                failedLogFiles.append(logError.fileName);
                logFailures.append(logError.message);
            }
        }
        if (outcome.changedClients.empty())
            out() << "  no message box changed\n";
        const QStringList boxes = server->messageBoxes();
        for (const int client : outcome.changedClients) {
            out() << "  message box of " << kxVisibleText(server->clientName(client)) << " (" << boxes.at(client).size() << " of "
                  << kx::Client::MessageBoxField::capacity() << " characters):\n";
            printBox(boxes.at(client));
        }
    }
    out() << "\npExit    -> " << describeResult(module->exit()) << "\n"
          << eventCount << (eventCount == 1 ? " event" : " events") << ", pNotify took "
          << formatDuration(totalNanoseconds) << " in all\n";

    // A run whose log is incomplete is no run to keep: the boxes are not saved.
    if (!logFailures.isEmpty())
        return failWith(ExitFailure, QStringLiteral("the log could not be written: %1%2")
                                         .arg(logFailures.join(QStringLiteral("; ")),
                                              parser.isSet(save) ? QStringLiteral(" (the farm file is not saved)")
                                                                 : QString()));
    if (parser.isSet(save)) {
        if (!kxWriteFarmFile(farm.filePath, kxFarmDocument(farm, server->messageBoxes()), &error))
            return failWith(ExitFailure, error + QStringLiteral(" (the farm file is unchanged)"));
        out() << "saved    message boxes to " << kxVisibleText(farm.filePath) << "\n";
    }
    out().flush();
    return ExitSuccess;
}

int kx::host::runGenerate(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a farm file of N render clients with empty message boxes."));
    parser.addPositionalArgument(QStringLiteral("FARM.json"), QStringLiteral("The farm file to write."));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Number of clients (1 to 32767)."),
                                     QStringLiteral("N"));
    const QCommandLineOption prefix(QStringLiteral("prefix"), QStringLiteral("Client name prefix (default: render)."),
                                    QStringLiteral("TEXT"), QStringLiteral("render"));
    const QCommandLineOption logFolder(QStringLiteral("log-folder"),
                                       QStringLiteral("Log folder, relative to the farm file (default: logs)."),
                                       QStringLiteral("DIR"), QStringLiteral("logs"));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("Replaces an existing farm file."));
    const QCommandLineOption lockTimeout = lockTimeoutOption();
    parser.addOptions({clients, prefix, logFolder, force, lockTimeout});
    int status = ExitSuccess;
    if (!parseCommandLine(parser, arguments, &status))
        return status;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1 || !parser.isSet(clients))
        return failWith(ExitBadInput, QStringLiteral("give --clients N and one FARM.json (see kxhost generate --help)"));
    int lockWait = 0;
    try {
        lockWait = lockTimeoutSeconds(parser, lockTimeout);
    } catch (const KxInputError &error) {
        return failWith(ExitBadInput, error.message());
    }
    // A notify run on the same farm must not save over the new file, nor this run over its save.
    QLockFile farmLock(kxFarmLockFilePath(files.first()));
    QString lockError;
    bool isBusy = false;
    if (!lockFarm(farmLock, files.first(), lockWait, &lockError, &isBusy))
        return failWith(ExitFailure, lockError);
    if (QFileInfo::exists(files.first()) && !parser.isSet(force))
        return failWith(ExitBadInput, QStringLiteral("%1: exists already; --force replaces it").arg(files.first()));

    KxFarm farm;
    try {
        bool isNumber = false;
        const qint64 count = parser.value(clients).toLongLong(&isNumber);
        if (!isNumber)
            throw KxInputError(QStringLiteral("--clients: \"%1\" is not a whole number").arg(parser.value(clients)));
        if (parser.value(logFolder).isEmpty())
            throw KxInputError(QStringLiteral("--log-folder: must name a folder"));
        farm = kxGenerateFarm(count, parser.value(prefix), parser.value(logFolder));
    } catch (const KxInputError &error) {
        return failWith(ExitBadInput, error.message());
    }
    QString error;
    if (!kxWriteFarmFile(files.first(), farm.document, &error))
        return failWith(ExitFailure, error);
    out() << "wrote " << kxVisibleText(files.first()) << ": " << farm.clients.size() << " clients, "
          << kxVisibleText(farm.clients.front().name) << " to " << kxVisibleText(farm.clients.back().name) << "\n";
    out().flush();
    return ExitSuccess;
}
