#include "kxCheckCommand.h"

#include "kxCheckPlatform.h"
#include "kxCheckReport.h"
#include "kxCheckRunner.h"
#include "kxCheckSuite.h"
#include "kxPluginModulePath.h"
#include "kxTerminalText.h"

#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTextStream>

#include <cstdio>

namespace kx::check {

namespace {
enum Status { NoCheckFailed = 0, CheckFailed = 1, Unusable = 2 };

const char kHelp[] =
    "Usage: kxhost check [PLUGIN] [--threads N] [--cycles N] [--time-limit SECONDS] [--only CHECKS]\n"
    "                    [--json FILE]\n"
    "\n"
    "Runs the conformance checks against a notification plug-in, each in a process of\n"
    "its own, and prints a row a check: its name, pass / fail / warn / skip, the reason\n"
    "and the time it took. Without PLUGIN, the module kxhost info shows is checked.\n"
    "\n"
    "  --threads N            threads of the threads check (1 to 64, default 4)\n"
    "  --cycles N             load and unload cycles (2 to 100000, default 200)\n"
    "  --time-limit SECONDS   a check still running after this long fails (1 to 86400, default 300)\n"
    "  --only CHECKS          run only these checks, named and separated by commas\n"
    "  --json FILE            also write the results as a JSON report to FILE\n"
    "\n"
    "Exit status: 0 no check failed, 1 a check failed, 2 the plug-in cannot be loaded\n"
    "or the command line is wrong.\n";

int refuse(const QString &message)
{
    QTextStream(stderr) << "kxhost: " << kx::host::visibleText(message) << '\n';
    return Unusable;
}

struct Parsed
{
    CheckOptions options;
    QString jsonPath;
    QString oneCheck;
    QString reportPath;
    QStringList only; // every check when empty
    bool help = false;
};

// The names of a comma-separated list, each a check of the suite.
QString checkNames(const QString &list, QStringList *names)
{
    QStringList known;
    for (const CheckDefinition &definition : checkSuite())
        known.append(QLatin1String(definition.name));
    for (const QString &name : list.split(QLatin1Char(','))) {
        if (!known.contains(name))
            return QStringLiteral("--only: no check \"%1\"; the checks are %2").arg(name, known.join(QLatin1String(", ")));
        if (!names->contains(name))
            names->append(name);
    }
    return QString();
}

// Empty when the arguments were taken, else the usage message.
QString parse(const QStringList &arguments, Parsed *parsed)
{
    const auto number = [](const QString &option, const QString &text, int low, int high, int *value) {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (!ok || n < low || n > high)
            return QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\"").arg(option).arg(low).arg(high).arg(text);
        *value = n;
        return QString();
    };
    QStringList given;
    QStringList positional;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            parsed->help = true;
            return QString();
        }
        if (!argument.startsWith(QLatin1String("--")) || argument == QLatin1String("--")) {
            positional.append(argument);
            continue;
        }
        static const QStringList valued = {QStringLiteral("--threads"), QStringLiteral("--cycles"),
                                           QStringLiteral("--time-limit"), QStringLiteral("--json"),
                                           QStringLiteral("--only"),
                                           QLatin1String(kOneCheckOption), QLatin1String(kReportOption)};
        if (!valued.contains(argument))
            return QStringLiteral("check: unknown option \"%1\"").arg(argument);
        if (given.contains(argument))
            return QStringLiteral("check: %1 is given twice").arg(argument);
        given.append(argument);
        if (i + 1 >= arguments.size())
            return QStringLiteral("check: %1 needs a value").arg(argument);
        const QString value = arguments[++i];
        QString problem;
        if (argument == QLatin1String("--threads"))
            problem = number(argument, value, 1, 64, &parsed->options.threads);
        else if (argument == QLatin1String("--cycles"))
            problem = number(argument, value, 2, 100000, &parsed->options.cycles);
        else if (argument == QLatin1String("--time-limit"))
            problem = number(argument, value, 1, 86400, &parsed->options.timeLimitSeconds);
        else if (argument == QLatin1String("--json"))
            parsed->jsonPath = value;
        else if (argument == QLatin1String("--only"))
            problem = checkNames(value, &parsed->only);
        else if (argument == QLatin1String(kOneCheckOption))
            parsed->oneCheck = value;
        else
            parsed->reportPath = value;
        if (!problem.isEmpty())
            return QStringLiteral("check: ") + problem;
        if (value.isEmpty())
            return QStringLiteral("check: %1 needs a value").arg(argument);
    }
    if (positional.size() > 1)
        return QStringLiteral("check: one plug-in at a time, not %1").arg(positional.size());
    parsed->options.pluginPath = positional.isEmpty() ? kx::host::defaultPluginModulePath() : positional.first();
    return QString();
}

// In the process the suite started: one check, its findings to the report file.
int runOneCheck(const Parsed &parsed)
{
    void (*run)(CheckContext &) = nullptr;
    if (parsed.oneCheck == QLatin1String(kLoadingCheckName))
        run = checkLoading;
    for (const CheckDefinition &definition : checkSuite()) {
        if (parsed.oneCheck == QLatin1String(definition.name))
            run = definition.run;
    }
    if (!run || parsed.reportPath.isEmpty())
        return refuse(QStringLiteral("check: no check \"%1\"").arg(parsed.oneCheck));
    CheckContext context(parsed.options, parsed.reportPath);
    if (!context.isReportOpen())
        return refuse(QStringLiteral("%1: cannot be created as a new file").arg(parsed.reportPath));
    {
        // What the plug-in leaves behind (and a call abandoned at a contained
        // fault) is measured by the load-unload check, not reported at exit.
        const LeakCheckPause pause;
        run(context);
    }
    // A report cut short is no verdict: the suite then fails the check.
    return context.finish() ? 0 : 3;
}

// Unbuffered writes, each checked: a write cut short (a full disk, a file size
// limit) gives no error of its own, and a commit has been seen to miss one.
bool writeWhole(QSaveFile &file, const QByteArray &bytes, QString *cause)
{
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            *cause = file.errorString();
            file.cancelWriting();
            return false;
        }
        done += written;
    }
    if (file.flush() && file.commit())
        return true;
    *cause = file.errorString();
    return false;
}

bool isSameFile(const QString &a, const QString &b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}
} // namespace

int runCheckCommand(const QStringList &arguments)
{
    Parsed parsed;
    const QString usage = parse(arguments, &parsed);
    if (!usage.isEmpty())
        return refuse(usage + QStringLiteral(" (see kxhost check --help)"));
    if (parsed.help) {
        QTextStream(stdout) << kHelp;
        return NoCheckFailed;
    }
    if (!parsed.oneCheck.isEmpty())
        return runOneCheck(parsed);

    const QString plugin = parsed.options.pluginPath;
    if (!QFileInfo::exists(plugin))
        return refuse(QStringLiteral("%1: no such plug-in file").arg(plugin));
    if (!QFileInfo(plugin).isFile())
        return refuse(QStringLiteral("%1: is not a plug-in file but a folder or a device").arg(plugin));
    // Opened before anything runs: a report that cannot be written is known at once.
    std::unique_ptr<QSaveFile> json;
    if (!parsed.jsonPath.isEmpty()) {
        if (isSameFile(parsed.jsonPath, plugin))
            return refuse(QStringLiteral("%1: the JSON report would overwrite the plug-in").arg(parsed.jsonPath));
        if (QFileInfo(parsed.jsonPath).isDir())
            return refuse(QStringLiteral("%1: is a folder, not a file for the JSON report").arg(parsed.jsonPath));
        if (!QFileInfo(QFileInfo(parsed.jsonPath).absolutePath()).isDir())
            return refuse(QStringLiteral("%1: the JSON report's folder does not exist").arg(parsed.jsonPath));
        json = std::make_unique<QSaveFile>(parsed.jsonPath);
        if (!json->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return refuse(QStringLiteral("%1: cannot be written: %2").arg(parsed.jsonPath, json->errorString()));
    }
    QTemporaryDir reports;
    if (!reports.isValid())
        return refuse(QStringLiteral("no temporary folder for the checks' reports: ") + reports.errorString());

    const CheckResult loading = runCheckProcess(parsed.options, QLatin1String(kLoadingCheckName), reports.path());
    if (loading.verdict != Verdict::Pass)
        return refuse(QStringLiteral("%1: cannot be loaded as a notification module: %2").arg(plugin, loading.reason));

    QTextStream out(stdout);
    printTableHead(out, plugin);
    std::vector<CheckResult> results;
    for (const CheckDefinition &definition : checkSuite()) {
        if (!parsed.only.isEmpty() && !parsed.only.contains(QLatin1String(definition.name)))
            continue;
        CheckResult result = runCheckProcess(parsed.options, QLatin1String(definition.name), reports.path());
        result.title = QLatin1String(definition.title);
        printTableRow(out, result);
        results.push_back(result);
    }
    printSummary(out, results);

    QString cause;
    if (json && !writeWhole(*json, jsonReport(parsed.options, results), &cause))
        return refuse(QStringLiteral("%1: the JSON report could not be written: %2").arg(parsed.jsonPath, cause));
    return exitStatusOf(results);
}

} // namespace kx::check
