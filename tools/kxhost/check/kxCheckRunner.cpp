#include "kxCheckRunner.h"

#include <QtCore/QByteArrayList>
#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QProcess>

#include <algorithm>

namespace kx::check {

CheckResult verdictOf(const QByteArray &report, const ChildEnd &end, int timeLimitSeconds)
{
    CheckResult result;
    QString step;
    Verdict onCrash = Verdict::Fail;
    bool hasVerdict = false;
    // Only whole lines: a line without its line feed was cut short.
    QByteArrayList lines = report.split('\n');
    lines.removeLast();
    for (const QByteArray &bytes : lines) {
        const QString line = QString::fromUtf8(bytes);
        const QString kind = line.section(QLatin1Char(' '), 0, 0);
        Verdict verdict = Verdict::Fail;
        if (!verdictFromName(line.section(QLatin1Char(' '), 1, 1), &verdict))
            continue;
        const QString text = line.section(QLatin1Char(' '), 2);
        if (kind == QLatin1String(protocol::kStep)) {
            step = text;
            onCrash = verdict;
        } else if (kind == QLatin1String(protocol::kVerdict)) {
            hasVerdict = true;
            result.verdict = verdict;
            result.reason = text;
        }
    }
    if (end.how == ChildEnd::Finished && end.exitCode == 0 && hasVerdict)
        return result;

    const QString during = step.isEmpty() ? QString() : QStringLiteral(" during: ") + step;
    result.verdict = Verdict::Fail;
    switch (end.how) {
    case ChildEnd::NotStarted:
        result.reason = QStringLiteral("the check's process could not be started: ") + end.detail;
        break;
    case ChildEnd::TimedOut:
        result.reason = QStringLiteral("did not end within %1 s%2").arg(timeLimitSeconds).arg(during);
        break;
    case ChildEnd::Crashed:
    case ChildEnd::Finished:
        result.verdict = onCrash;
        result.reason = (end.how == ChildEnd::Crashed ? QStringLiteral("crashed (%1)").arg(end.detail)
                                                      : QStringLiteral("the process ended with status %1").arg(end.exitCode))
                        + during;
        if (onCrash == Verdict::Warn)
            result.reason += QStringLiteral(" (containing a fault is the plug-in's choice)");
        break;
    }
    return result;
}

namespace {
// True when the process ended within the limit, counted from the timer's start.
bool waitDroppingOutput(QProcess &process, const QElapsedTimer &timer, qint64 limitMilliseconds)
{
    while (process.state() != QProcess::NotRunning) {
        const qint64 left = limitMilliseconds - timer.elapsed();
        if (left <= 0)
            return false;
        process.waitForFinished(int(std::min<qint64>(left, 100)));
        process.readAll();
    }
    return true;
}
} // namespace

CheckResult runCheckProcess(const CheckOptions &options, const QString &name, const QString &reportFolder)
{
    const QString reportPath = QDir(reportFolder).filePath(name + QStringLiteral(".report"));
    QFile::remove(reportPath);
    QProcess process;
    // What the plug-in prints is its own business: read as it comes, so that
    // no pipe fills, and dropped (a null device is slow under wine).
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList arguments = {QStringLiteral("check"),
                                   options.pluginPath,
                                   QLatin1String(kOneCheckOption),
                                   name,
                                   QLatin1String(kReportOption),
                                   reportPath,
                                   QStringLiteral("--threads"),
                                   QString::number(options.threads),
                                   QStringLiteral("--cycles"),
                                   QString::number(options.cycles),
                                   QStringLiteral("--time-limit"),
                                   QString::number(options.timeLimitSeconds)};
    QElapsedTimer timer;
    timer.start();
    process.start(QCoreApplication::applicationFilePath(), arguments);
    ChildEnd end;
    if (!process.waitForStarted(60000)) {
        end.how = ChildEnd::NotStarted;
        end.detail = process.errorString();
    } else if (!waitDroppingOutput(process, timer, qint64(options.timeLimitSeconds) * 1000)) {
        end.how = ChildEnd::TimedOut;
        process.kill();
        process.waitForFinished(60000);
    } else if (process.exitStatus() == QProcess::CrashExit) {
        end.how = ChildEnd::Crashed;
#if defined(Q_OS_WIN)
        end.detail = QStringLiteral("exception 0x") + QString::number(quint32(process.exitCode()), 16).toUpper();
#else
        end.detail = QStringLiteral("signal %1").arg(process.exitCode());
#endif
    } else {
        end.exitCode = process.exitCode();
#if defined(Q_OS_WIN)
        // An unhandled exception ends a Windows process with its code as the status.
        if (quint32(end.exitCode) >= 0xC0000000u) {
            end.how = ChildEnd::Crashed;
            end.detail = QStringLiteral("exception 0x") + QString::number(quint32(end.exitCode), 16).toUpper();
        }
#endif
    }
    const double milliseconds = double(timer.nsecsElapsed()) / 1e6;
    QFile reportFile(reportPath);
    const QByteArray report = reportFile.open(QIODevice::ReadOnly) ? reportFile.read(1 << 20) : QByteArray();
    CheckResult result = verdictOf(report, end, options.timeLimitSeconds);
    result.name = name;
    result.milliseconds = milliseconds;
    return result;
}

} // namespace kx::check
