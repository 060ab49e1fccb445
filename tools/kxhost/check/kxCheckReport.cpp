#include "kxCheckReport.h"

#include "kxTerminalText.h"

#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <algorithm>

namespace kx::check {

namespace {
constexpr int kNameWidth = 14;
constexpr int kVerdictWidth = 8;
constexpr char kFormat[] = "kxhost-check 1";

int countOf(const std::vector<CheckResult> &results, Verdict verdict)
{
    return int(std::count_if(results.begin(), results.end(), [verdict](const CheckResult &r) { return r.verdict == verdict; }));
}

QString milliseconds(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 1);
}
} // namespace

void printTableHead(QTextStream &out, const QString &pluginPath)
{
    out << "module   " << kx::host::visibleText(pluginPath) << "\n\n"
        << QStringLiteral("check").leftJustified(kNameWidth) << QStringLiteral("verdict").leftJustified(kVerdictWidth)
        << "reason, time\n";
    out.flush();
}

void printTableRow(QTextStream &out, const CheckResult &result)
{
    out << result.name.leftJustified(kNameWidth - 1) << ' ' << verdictName(result.verdict).leftJustified(kVerdictWidth)
        << kx::host::visibleText(result.reason) << "  " << milliseconds(result.milliseconds) << '\n';
    out.flush();
}

QString summaryLine(const std::vector<CheckResult> &results)
{
    return QStringLiteral("%1 %2: %3 pass, %4 fail, %5 warn, %6 skip")
        .arg(results.size())
        .arg(results.size() == 1 ? QStringLiteral("check") : QStringLiteral("checks"))
        .arg(countOf(results, Verdict::Pass))
        .arg(countOf(results, Verdict::Fail))
        .arg(countOf(results, Verdict::Warn))
        .arg(countOf(results, Verdict::Skip));
}

void printSummary(QTextStream &out, const std::vector<CheckResult> &results)
{
    out << '\n' << summaryLine(results) << '\n';
    out.flush();
}

int exitStatusOf(const std::vector<CheckResult> &results)
{
    return countOf(results, Verdict::Fail) > 0 ? 1 : 0;
}

QByteArray jsonReport(const CheckOptions &options, const std::vector<CheckResult> &results)
{
    QJsonArray checks;
    for (const CheckResult &result : results) {
        checks.append(QJsonObject{{QStringLiteral("name"), result.name},
                                  {QStringLiteral("title"), result.title},
                                  {QStringLiteral("verdict"), verdictName(result.verdict)},
                                  {QStringLiteral("reason"), result.reason},
                                  {QStringLiteral("milliseconds"), double(qRound64(result.milliseconds * 10)) / 10.0}});
    }
    const QJsonObject summary{{QStringLiteral("checks"), int(results.size())},
                              {QStringLiteral("pass"), countOf(results, Verdict::Pass)},
                              {QStringLiteral("fail"), countOf(results, Verdict::Fail)},
                              {QStringLiteral("warn"), countOf(results, Verdict::Warn)},
                              {QStringLiteral("skip"), countOf(results, Verdict::Skip)}};
    const QJsonObject report{
        {QStringLiteral("format"), QLatin1String(kFormat)},
        {QStringLiteral("plugin"), QFileInfo(options.pluginPath).absoluteFilePath()},
        {QStringLiteral("options"), QJsonObject{{QStringLiteral("threads"), options.threads},
                                                {QStringLiteral("cycles"), options.cycles},
                                                {QStringLiteral("timeLimitSeconds"), options.timeLimitSeconds}}},
        {QStringLiteral("checks"), checks},
        {QStringLiteral("summary"), summary},
        {QStringLiteral("exitStatus"), exitStatusOf(results)}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

} // namespace kx::check
