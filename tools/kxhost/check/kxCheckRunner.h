// The side of `kxhost check` that stays alive: it runs each check in a new
// kxhost process with a time limit and reads back what the check reported,
// so that a plug-in that crashes, hangs or aborts fails that check only.
#ifndef KXCHECKRUNNER_H
#define KXCHECKRUNNER_H

#include "kxCheckContext.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

namespace kx::check {

// The hidden options with which kxhost runs one check in a process of its own.
constexpr char kOneCheckOption[] = "--one-check";
constexpr char kReportOption[] = "--report-to";
constexpr char kLoadingCheckName[] = "loading";

struct CheckResult
{
    QString name;
    QString title;
    Verdict verdict = Verdict::Fail;
    QString reason;
    double milliseconds = 0;
};

// What a check's process wrote and how it ended, made into a verdict.
struct ChildEnd
{
    enum How { Finished, Crashed, TimedOut, NotStarted };
    How how = Finished;
    int exitCode = 0;
    QString detail; // the signal or exception of a crash, the reason it did not start
};
CheckResult verdictOf(const QByteArray &report, const ChildEnd &end, int timeLimitSeconds);

// Runs one check (or the loading) in a kxhost process of its own.
CheckResult runCheckProcess(const CheckOptions &options, const QString &name, const QString &reportFolder);

} // namespace kx::check

#endif // KXCHECKRUNNER_H
