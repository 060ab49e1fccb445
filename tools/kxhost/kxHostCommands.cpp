#include "kxHostCommands.h"

#include "kxFarmFile.h"
#include "kxFarmGenerator.h"
#include "kxFarmServer.h"
#include "kxHostReport.h"
#include "kxInputError.h"
#include "kxJobEventFile.h"
#include "kxPluginModule.h"
#include "kxNotifyContract.h"
#include "kxServerSdkObject.h"

#include <QtCore/QFileInfo>
#include <QtCore/QLockFile>
#include <QtCore/QTemporaryDir>

#include <cstring>
#include <memory>

namespace kx::host {

namespace {
// Usage errors leave with 2; --help prints and leaves with 0.
bool shouldRun(const ParseOutcome &outcome, int *status)
{
    if (outcome.kind == ParseOutcome::Refused) {
        *status = failWith(ExitBadInput, outcome.text);
        return false;
    }
    if (outcome.kind == ParseOutcome::Help) {
        printHelp(outcome.text);
        *status = ExitSuccess;
        return false;
    }
    return true;
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
                            .arg(farmPath, farmLockFilePath(farmPath))
                            .arg(timeoutSeconds);
    else
        *errorMessage = QStringLiteral("%1: the lock file %2 cannot be created%3")
                            .arg(farmPath, farmLockFilePath(farmPath),
                                 lock.error() == QLockFile::PermissionError ? QStringLiteral(": permission denied")
                                                                            : QString());
    return false;
}

std::unique_ptr<server::PluginModule> loadModule(const QString &path, QString *errorMessage)
{
    if (!QFileInfo(path).isFile()) {
        *errorMessage = QStringLiteral("%1: no such module file").arg(path);
        return nullptr;
    }
    auto module = std::make_unique<server::PluginModule>(QFileInfo(path).absoluteFilePath());
    if (!module->load()) {
        *errorMessage = QStringLiteral("%1: cannot be loaded as a notification module: %2")
                            .arg(path, module->errorString());
        return nullptr;
    }
    return module;
}

// pInfo as the server calls it.
PluginIdentity queryIdentity(const server::PluginModule &module, __KXSDK *sdk)
{
    _kxPluginInfo info;
    std::memset(static_cast<void *>(&info), 0, sizeof info);
    kx::writeAt(info.bytes, kx::PluginInfo::kVersionOffset, kx::PluginInfo::kRecordVersion);
    kx::writeAt(info.bytes, kx::PluginInfo::kSdkPointerOffset, sdk);
    PluginIdentity identity;
    identity.result = module.info(&info);
    using namespace kx::PluginInfo;
    const _kxPluginInfo *filled = &info;
    identity.name = kx::stringField<NameField>(filled, kNameOffset).text();
    identity.author = kx::stringField<AuthorField>(filled, kAuthorOffset).text();
    identity.version = kx::stringField<VersionField>(filled, kPluginVersionOffset).text();
    identity.sdkVersion = kx::stringField<VersionField>(filled, kSdkVersionOffset).text();
    identity.qtVersion = kx::stringField<VersionField>(filled, kQtVersionOffset).text();
    return identity;
}
} // namespace

int runInfo(const QStringList &arguments)
{
    InfoArguments parsed;
    int status = ExitSuccess;
    if (!shouldRun(parseInfoArguments(arguments, &parsed), &status))
        return status;

    QString error;
    const std::unique_ptr<server::PluginModule> module = loadModule(parsed.pluginPath, &error);
    if (!module)
        return failWith(ExitFailure, error);
    printModulePath(module->path());
    printCall("pInit", module->init());
    server::SdkObject sdk;
    const PluginIdentity identity = queryIdentity(*module, sdk.sdkInterface());
    printIdentity(identity, true);
    printCall("pExit", module->exit());
    return identity.result == kx::ResultSuccess ? ExitSuccess : ExitFailure;
}

int runNotify(const QStringList &arguments)
{
    NotifyArguments parsed;
    int status = ExitSuccess;
    if (!shouldRun(parseNotifyArguments(arguments, &parsed), &status))
        return status;

    // Every input is checked before anything is loaded or written.
    Farm farm;
    std::vector<JobEvent> events;
    std::unique_ptr<QTemporaryDir> temporaryLogs;
    std::unique_ptr<QLockFile> farmLock;
    try {
        // Held until the farm is written back (and the run's log lines are read), so that
        // runs on one farm take turns. A missing farm is refused below as bad input.
        if (!parsed.generated && QFileInfo::exists(parsed.farmPath)) {
            farmLock = std::make_unique<QLockFile>(farmLockFilePath(parsed.farmPath));
            QString lockError;
            bool isBusy = false;
            if (!lockFarm(*farmLock, parsed.farmPath, parsed.lockTimeoutSeconds, &lockError, &isBusy)) {
                // Only a save needs the lock; a farm in a folder that takes no lock file is still run.
                if (isBusy || parsed.save)
                    return failWith(ExitFailure, lockError);
                farmLock.reset();
            }
        }
        if (parsed.generated) {
            QString folder = parsed.logFolder;
            if (folder.isEmpty()) {
                temporaryLogs = std::make_unique<QTemporaryDir>();
                if (!temporaryLogs->isValid())
                    return failWith(ExitFailure, QStringLiteral("cannot make a temporary log folder: ")
                                                     + temporaryLogs->errorString());
                folder = temporaryLogs->path();
            }
            farm = generateFarm(parsed.clientCount, parsed.prefix, folder);
        } else {
            farm = readFarmFile(parsed.farmPath);
        }
        events = readJobEventFile(parsed.jobPath);
        refuseLogFilesOverInputs(farm, parsed.jobPath);
    } catch (const FileError &error) {
        return failWith(ExitFailure, error.message());
    } catch (const InputError &error) {
        return failWith(ExitBadInput, error.message());
    }

    QString error;
    const std::unique_ptr<server::PluginModule> module = loadModule(parsed.pluginPath, &error);
    if (!module)
        return failWith(ExitFailure, error);
    auto server = std::make_unique<FarmServer>();
    if (!server->start(farm, &error))
        return failWith(ExitFailure, error);

    printFarm(module->path(), farm, parsed.generated, temporaryLogs != nullptr);
    printCall("pInit", module->init());
    printIdentity(queryIdentity(*module, server->sdkInterface()), false);

    qint64 totalNanoseconds = 0;
    // Each file's first failure, in the order they happened.
    QStringList logFailures;
    QStringList failedLogFiles;
    const int eventCount = int(events.size());
    for (int i = 0; i < eventCount; ++i) {
        const JobEvent &event = events[std::size_t(i)];
        printEventStart(i + 1, eventCount, event);
        const EventOutcome outcome = server->notify(*module, event);
        totalNanoseconds += outcome.nanoseconds;
        printEventOutcome(outcome, *server);
        for (const LogError &logError : outcome.logErrors) {
            if (!failedLogFiles.contains(logError.fileName)) {
                failedLogFiles.append(logError.fileName);
                logFailures.append(logError.message);
            }
        }
    }
    printRunEnd(module->exit(), eventCount, totalNanoseconds);

    // A run whose log is incomplete is no run to keep: the boxes are not saved.
    if (!logFailures.isEmpty())
        return failWith(ExitFailure, QStringLiteral("the log could not be written: %1%2")
                                         .arg(logFailures.join(QStringLiteral("; ")),
                                              parsed.save ? QStringLiteral(" (the farm file is not saved)")
                                                          : QString()));
    if (parsed.save) {
        if (!writeFarmFile(farm.filePath, farmDocument(farm, server->messageBoxes()), &error))
            return failWith(ExitFailure, error + QStringLiteral(" (the farm file is unchanged)"));
        printSaved(farm.filePath);
    }
    return ExitSuccess;
}

int runGenerate(const QStringList &arguments)
{
    GenerateArguments parsed;
    int status = ExitSuccess;
    if (!shouldRun(parseGenerateArguments(arguments, &parsed), &status))
        return status;
    // A notify run on the same farm must not save over the new file, nor this run over its save.
    QLockFile farmLock(farmLockFilePath(parsed.farmPath));
    QString lockError;
    bool isBusy = false;
    if (!lockFarm(farmLock, parsed.farmPath, parsed.lockTimeoutSeconds, &lockError, &isBusy))
        return failWith(ExitFailure, lockError);
    if (QFileInfo::exists(parsed.farmPath) && !parsed.force)
        return failWith(ExitBadInput, QStringLiteral("%1: exists already; --force replaces it").arg(parsed.farmPath));

    Farm farm;
    try {
        farm = generateFarm(parsed.clientCount, parsed.prefix, parsed.logFolder);
    } catch (const InputError &error) {
        return failWith(ExitBadInput, error.message());
    }
    QString error;
    if (!writeFarmFile(parsed.farmPath, farm.document, &error))
        return failWith(ExitFailure, error);
    printGenerated(parsed.farmPath, farm);
    return ExitSuccess;
}

} // namespace kx::host
