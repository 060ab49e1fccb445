#include "kxHostArguments.h"

#include "kxPluginModulePath.h"
#include "records/kxClientTableRecord.h"

#include <QtCore/QCommandLineParser>

namespace kx::host {

namespace {
constexpr int kDefaultLockTimeoutSeconds = 60;

[[noreturn]] void refuse(const QString &message)
{
    throw Error::badInput({}, {}, message);
}

// Reads the command line, or throws why not; returns the help text when --help is given.
QString parseCommandLine(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    if (!parser.parse(arguments))
        refuse(parser.errorText() + QStringLiteral(" (see kxhost %1 --help)").arg(arguments.value(0)));
    if (parser.isSet(help)) {
        // The parser names the program as it was started; the usage line should be one to type back.
        QString text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        const int programEnd = int(text.indexOf(QLatin1String(" [options]")));
        if (text.startsWith(usage) && programEnd > int(usage.size()))
            text.replace(int(usage.size()), programEnd - int(usage.size()),
                         QStringLiteral("kxhost ") + arguments.value(0));
        return text;
    }
    return QString();
}

QCommandLineOption lockTimeoutOption()
{
    return QCommandLineOption(QStringLiteral("lock-timeout"),
                              QStringLiteral("How long to wait for another run on the same farm file to end "
                                             "(default: %1 seconds).").arg(kDefaultLockTimeoutSeconds),
                              QStringLiteral("SECONDS"), QString::number(kDefaultLockTimeoutSeconds));
}

int readLockTimeout(const QString &value)
{
    bool isNumber = false;
    const int seconds = value.toInt(&isNumber);
    if (!isNumber || seconds < 0 || seconds > 86400)
        refuse(QStringLiteral("--lock-timeout: \"%1\" is not a whole number of seconds from 0 to 86400").arg(value));
    return seconds;
}

QCommandLineOption breakLockOption()
{
    return QCommandLineOption(QStringLiteral("break-lock"),
                              QStringLiteral("Removes a lock on the farm file that no running process holds (one "
                                             "left by a run that ended on another host)."));
}

QCommandLineOption pluginOption()
{
    return QCommandLineOption(QStringLiteral("plugin"),
                              QStringLiteral("The notification module to load (default: %1).")
                                  .arg(defaultPluginModulePath()),
                              QStringLiteral("PATH"));
}

QString pluginPath(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    return parser.isSet(option) ? parser.value(option) : defaultPluginModulePath();
}
} // namespace

InfoArguments parseInfoArguments(const QStringList &arguments)
{
    InfoArguments parsed;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Loads a notification module as the server does (pInit, pInfo, pExit) and shows\n"
                       "the identity it reports and whether it accepts the server's record layouts."));
    const QCommandLineOption plugin = pluginOption();
    parser.addOption(plugin);
    parsed.help = parseCommandLine(parser, arguments);
    if (!parsed.help.isEmpty())
        return parsed;
    if (!parser.positionalArguments().isEmpty())
        refuse(QStringLiteral("info takes no file arguments (see kxhost info --help)"));
    parsed.pluginPath = pluginPath(parser, plugin);
    return parsed;
}

NotifyArguments parseNotifyArguments(const QStringList &arguments)
{
    NotifyArguments parsed;
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
                                     QStringLiteral("Instead of FARM.json: a generated farm of N clients (1 to %1).")
                                         .arg(kx::ClientTable::kMaxClients),
                                     QStringLiteral("N"));
    const QCommandLineOption prefix(QStringLiteral("prefix"),
                                    QStringLiteral("Name prefix of generated clients (default: render)."),
                                    QStringLiteral("TEXT"), QStringLiteral("render"));
    const QCommandLineOption logFolder(QStringLiteral("log-folder"),
                                       QStringLiteral("Log folder of a generated farm (default: a temporary folder, "
                                                      "removed at the end)."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption lockTimeout = lockTimeoutOption();
    const QCommandLineOption breakLock = breakLockOption();
    parser.addOptions({job, plugin, save, clients, prefix, logFolder, lockTimeout, breakLock});
    parsed.help = parseCommandLine(parser, arguments);
    if (!parsed.help.isEmpty())
        return parsed;

    const QStringList files = parser.positionalArguments();
    const bool generated = parser.isSet(clients);
    if (generated ? !files.isEmpty() : files.size() != 1)
        refuse(QStringLiteral("give either one FARM.json or --clients N (see kxhost notify --help)"));
    if (!parser.isSet(job))
        refuse(QStringLiteral("--job JOB.json is required (see kxhost notify --help)"));
    if (generated && parser.isSet(save))
        refuse(QStringLiteral("--save needs a farm file; a generated farm has none"));
    if (!generated && (parser.isSet(prefix) || parser.isSet(logFolder)))
        refuse(QStringLiteral("--prefix and --log-folder belong to --clients"));
    if (parser.isSet(breakLock) && !parser.isSet(save))
        refuse(QStringLiteral("--break-lock belongs to --save: a run that does not save takes no lock"));
    parsed.lockTimeoutSeconds = readLockTimeout(parser.value(lockTimeout));

    parsed.farmPath = generated ? QString() : files.first();
    parsed.jobPath = parser.value(job);
    parsed.pluginPath = pluginPath(parser, plugin);
    parsed.save = parser.isSet(save);
    parsed.generated = generated;
    parsed.clientCount = parser.value(clients);
    parsed.prefix = parser.value(prefix);
    parsed.logFolder = parser.value(logFolder);
    parsed.breakLock = parser.isSet(breakLock);
    return parsed;
}

GenerateArguments parseGenerateArguments(const QStringList &arguments)
{
    GenerateArguments parsed;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a farm file of N render clients with empty message boxes."));
    parser.addPositionalArgument(QStringLiteral("FARM.json"), QStringLiteral("The farm file to write."));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Number of clients (1 to %1).").arg(kx::ClientTable::kMaxClients),
                                     QStringLiteral("N"));
    const QCommandLineOption prefix(QStringLiteral("prefix"), QStringLiteral("Client name prefix (default: render)."),
                                    QStringLiteral("TEXT"), QStringLiteral("render"));
    const QCommandLineOption logFolder(QStringLiteral("log-folder"),
                                       QStringLiteral("Log folder, relative to the farm file (default: logs)."),
                                       QStringLiteral("DIR"), QStringLiteral("logs"));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("Replaces an existing farm file."));
    const QCommandLineOption lockTimeout = lockTimeoutOption();
    const QCommandLineOption breakLock = breakLockOption();
    parser.addOptions({clients, prefix, logFolder, force, lockTimeout, breakLock});
    parsed.help = parseCommandLine(parser, arguments);
    if (!parsed.help.isEmpty())
        return parsed;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1 || !parser.isSet(clients))
        refuse(QStringLiteral("give --clients N and one FARM.json (see kxhost generate --help)"));
    parsed.lockTimeoutSeconds = readLockTimeout(parser.value(lockTimeout));

    parsed.farmPath = files.first();
    parsed.clientCount = parser.value(clients);
    parsed.prefix = parser.value(prefix);
    parsed.logFolder = parser.value(logFolder);
    parsed.force = parser.isSet(force);
    parsed.breakLock = parser.isSet(breakLock);
    return parsed;
}

} // namespace kx::host
