#include "kxHostCommands.h"

#include "kxFarmFile.h"
#include "kxFarmGenerator.h"
#include "kxFarmLock.h"
#include "kxFarmServer.h"
#include "kxHostError.h"
#include "kxHostFiles.h"
#include "kxHostReport.h"
#include "kxJobEventFile.h"
#include "kxNotifyContract.h"
#include "kxPluginModule.h"
#include "kxServerSdkObject.h"

#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>

#include <cstring>
#include <memory>
#include <optional>

namespace kx::host {

namespace {
std::unique_ptr<server::PluginModule> loadModule(const QString &path)
{
    if (!QFileInfo(path).isFile())
        throw Error::failure(path, QStringLiteral("no such module file"));
    auto module = std::make_unique<server::PluginModule>(QFileInfo(path).absoluteFilePath());
    if (!module->load())
        throw Error::failure(path, QStringLiteral("cannot be loaded as a notification module: %1").arg(module->errorString()));
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
    const InfoArguments parsed = parseInfoArguments(arguments);
    if (!parsed.help.isEmpty()) {
        printHelp(parsed.help);
        return ExitSuccess;
    }
    const std::unique_ptr<server::PluginModule> module = loadModule(parsed.pluginPath);
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
    const NotifyArguments parsed = parseNotifyArguments(arguments);
    if (!parsed.help.isEmpty()) {
        printHelp(parsed.help);
        return ExitSuccess;
    }
    // Relative paths mean nothing until the current folder is known; nothing is written before.
    currentFolder();

    // Every input is checked before anything is loaded or written.
    std::optional<FarmLock> farmLock;
    Farm farm;
    std::unique_ptr<QTemporaryDir> temporaryLogs;
    if (parsed.generated) {
        QString folder = parsed.logFolder;
        if (folder.isEmpty()) {
            temporaryLogs = std::make_unique<QTemporaryDir>();
            if (!temporaryLogs->isValid())
                throw Error::failure({}, QStringLiteral("cannot make a temporary log folder: ")
                                             + temporaryLogs->errorString());
            folder = temporaryLogs->path();
        }
        farm = generateFarm(parsed.clientCount, parsed.prefix, folder);
    } else {
        if (parsed.save) {
            // Checked before the lock: no run waits for a lock on something it cannot read.
            requireRegularFile(parsed.farmPath);
            refuseReplacingHardLinkedFile(parsed.farmPath);
            // Held from reading the farm to writing it back, so that saving runs take turns.
            farmLock.emplace(parsed.farmPath, farmLockFilePath(parsed.farmPath), parsed.lockTimeoutSeconds,
                             parsed.breakLock);
        }
        farm = readFarmFile(parsed.farmPath);
    }
    const std::vector<JobEvent> events = readJobEventFile(parsed.jobPath);
    refuseLogFilesOverInputs(farm, parsed.jobPath);

    const std::unique_ptr<server::PluginModule> module = loadModule(parsed.pluginPath);
    auto server = std::make_unique<FarmServer>();
    server->start(farm);

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
        throw Error::failure({}, QStringLiteral("the log could not be written: %1%2")
                                     .arg(logFailures.join(QStringLiteral("; ")),
                                          parsed.save ? QStringLiteral(" (the farm file is not saved)") : QString()));
    if (parsed.save) {
        try {
            writeFarmFile(farm.filePath, farmDocument(farm, server->messageBoxes()));
        } catch (const Error &saveError) {
            throw Error(saveError.status(), saveError.file(), saveError.field(),
                        saveError.problem() + QStringLiteral(" (the farm file is unchanged)"));
        }
        printSaved(farm.filePath);
    }
    return ExitSuccess;
}

int runGenerate(const QStringList &arguments)
{
    const GenerateArguments parsed = parseGenerateArguments(arguments);
    if (!parsed.help.isEmpty()) {
        printHelp(parsed.help);
        return ExitSuccess;
    }
    currentFolder();
    if (identifyFile(parsed.farmPath).exists())
        requireRegularFile(parsed.farmPath);
    if (parsed.force)
        refuseReplacingHardLinkedFile(parsed.farmPath);
    // A notify run on the same farm must not save over the new file, nor this run over its save.
    const FarmLock farmLock(parsed.farmPath, farmLockFilePath(parsed.farmPath), parsed.lockTimeoutSeconds,
                            parsed.breakLock);
    if (QFileInfo::exists(parsed.farmPath) && !parsed.force)
        throw Error::badInput(parsed.farmPath, {}, QStringLiteral("exists already; --force replaces it"));
    const Farm farm = generateFarm(parsed.clientCount, parsed.prefix, parsed.logFolder);
    writeFarmFile(parsed.farmPath, farm.document);
    printGenerated(parsed.farmPath, farm);
    return ExitSuccess;
}

} // namespace kx::host
