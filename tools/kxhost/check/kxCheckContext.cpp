#include "kxCheckContext.h"

#include "kxPluginModule.h"

#include <QtCore/QFileInfo>

namespace kx::check {

namespace {
// Worse verdicts win: a fail over a warn over a skip over a pass.
int weight(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Fail:
        return 3;
    case Verdict::Warn:
        return 2;
    case Verdict::Skip:
        return 1;
    case Verdict::Pass:
        break;
    }
    return 0;
}

QByteArray oneLine(const QString &text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line.toUtf8();
}
} // namespace

QString verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("pass");
    case Verdict::Fail:
        return QStringLiteral("fail");
    case Verdict::Warn:
        return QStringLiteral("warn");
    case Verdict::Skip:
        return QStringLiteral("skip");
    }
    return QString();
}

bool verdictFromName(const QString &name, Verdict *verdict)
{
    for (Verdict candidate : {Verdict::Pass, Verdict::Fail, Verdict::Warn, Verdict::Skip}) {
        if (verdictName(candidate) == name) {
            *verdict = candidate;
            return true;
        }
    }
    return false;
}

CheckContext::CheckContext(const CheckOptions &options, const QString &reportPath)
    : m_options(options), m_report(reportPath)
{
    // A new file only: the option is kxhost's own, but must not let a mistyped
    // command line append to a file that was there.
    m_report.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
}

CheckContext::~CheckContext() = default;

void CheckContext::writeLine(const QByteArray &line)
{
    const QByteArray whole = line + '\n';
    m_reportComplete = m_report.write(whole) == whole.size() && m_reportComplete;
}

void CheckContext::step(const QString &what, Verdict onCrash)
{
    writeLine(QByteArray(protocol::kStep) + ' ' + verdictName(onCrash).toUtf8() + ' ' + oneLine(what));
}

void CheckContext::add(Verdict verdict, const QString &reason)
{
    ++m_findings;
    if (weight(verdict) > weight(m_verdict)) {
        m_verdict = verdict;
        m_reason = reason;
    }
}

std::unique_ptr<server::PluginModule> CheckContext::loadPlugin()
{
    auto module = std::make_unique<server::PluginModule>(QFileInfo(m_options.pluginPath).absoluteFilePath());
    if (!module->load()) {
        fail(QStringLiteral("cannot be loaded: ") + module->errorString());
        return nullptr;
    }
    return module;
}

bool CheckContext::finish()
{
    QString reason = m_verdict == Verdict::Pass ? m_passReason : m_reason;
    if (m_verdict != Verdict::Pass && m_findings > 1)
        reason += QStringLiteral(" (and %1 more findings)").arg(m_findings - 1);
    writeLine(QByteArray(protocol::kVerdict) + ' ' + verdictName(m_verdict).toUtf8() + ' ' + oneLine(reason));
    return m_reportComplete;
}

} // namespace kx::check
