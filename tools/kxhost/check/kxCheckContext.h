// One check as it runs in a process of its own: what it was asked to do,
// what it is doing right now (so that the process that started it can name
// the step in which it died) and what it found.
#ifndef KXCHECKCONTEXT_H
#define KXCHECKCONTEXT_H

#include <QtCore/QFile>
#include <QtCore/QString>

#include <memory>

namespace kx::server {
class PluginModule;
}

namespace kx::check {

enum class Verdict { Pass, Fail, Warn, Skip };
QString verdictName(Verdict verdict);
bool verdictFromName(const QString &name, Verdict *verdict);

struct CheckOptions
{
    QString pluginPath;
    int threads = 4;
    int cycles = 200;
    int timeLimitSeconds = 300;
};

// The lines a check's process writes for the process that started it.
namespace protocol {
constexpr char kStep[] = "step";
constexpr char kVerdict[] = "verdict";
} // namespace protocol

class CheckContext
{
public:
    // Reports go to `reportPath`, written line by line so a crash loses none.
    CheckContext(const CheckOptions &options, const QString &reportPath);
    ~CheckContext();

    const CheckOptions &options() const noexcept { return m_options; }
    bool isReportOpen() const { return m_report.isOpen(); }

    // Names what runs next. Should the process die in it, the check's
    // verdict is `onCrash` (a fail, or a warn where dying is allowed).
    void step(const QString &what, Verdict onCrash = Verdict::Fail);

    // The first finding of the worst kind gives the reason; the others are counted.
    void fail(const QString &reason) { add(Verdict::Fail, reason); }
    void warn(const QString &reason) { add(Verdict::Warn, reason); }
    void skip(const QString &reason) { add(Verdict::Skip, reason); }
    // The reason shown when nothing was found.
    void passWith(const QString &reason) { m_passReason = reason; }
    bool hasFailed() const noexcept { return m_verdict == Verdict::Fail; }

    // Loads the plug-in afresh; a failure is this check's.
    std::unique_ptr<server::PluginModule> loadPlugin();

    // Writes the verdict line; false when any line could not be written whole.
    bool finish();

private:
    void add(Verdict verdict, const QString &reason);
    void writeLine(const QByteArray &line);

    CheckOptions m_options;
    QFile m_report;
    Verdict m_verdict = Verdict::Pass;
    QString m_reason;
    QString m_passReason;
    int m_findings = 0;
    bool m_reportComplete = true;
};

} // namespace kx::check

#endif // KXCHECKCONTEXT_H
