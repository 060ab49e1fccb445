// What `kxhost check` shows: a table with a row a check and a summary line
// on standard output, and the same as a JSON report for a plug-in author's CI.
#ifndef KXCHECKREPORT_H
#define KXCHECKREPORT_H

#include "kxCheckRunner.h"

#include <QtCore/QByteArray>
#include <QtCore/QTextStream>

#include <vector>

namespace kx::check {

void printTableHead(QTextStream &out, const QString &pluginPath);
void printTableRow(QTextStream &out, const CheckResult &result);
void printSummary(QTextStream &out, const std::vector<CheckResult> &results);
QString summaryLine(const std::vector<CheckResult> &results);

// Exit status 1 when a check failed, else 0.
int exitStatusOf(const std::vector<CheckResult> &results);
QByteArray jsonReport(const CheckOptions &options, const std::vector<CheckResult> &results);

} // namespace kx::check

#endif // KXCHECKREPORT_H
