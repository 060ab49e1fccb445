// Keyword, file-name and job ID alphabet constants. Internal linkage: every
// source file that includes this holds its own copies, built at load.
#ifndef KXKEYWORDCONSTANTS_H
#define KXKEYWORDCONSTANTS_H

#include <QtCore/QString>

namespace {
const QString kNoCheckFileName = QStringLiteral("no_check.file");
const QString kExecOnceFileName = QStringLiteral("execOnce.file");
const QString kExecEachClientFileName = QStringLiteral("execEachClient.file");
const QString kExecuteKeyword = QStringLiteral("Execute");
const QString kPythonKeyword = QStringLiteral("Python");
const QString kCommandJobKeyword = QStringLiteral("CommandJob");
const QString kEnvFileKeyword = QStringLiteral("kxEnvFile");
const QString kEnvLineKeyword = QStringLiteral("kxEnvLine");
const QString kEnvListKeyword = QStringLiteral("kxEnvList");
const QString kSubmitterParameterKeyword = QStringLiteral("kxSubmitterParameter");
const QString kSubmitClientGroupKeyword = QStringLiteral("SubmitClientGroup");
const QString kNoSceneExistCheckKeyword = QStringLiteral("NoSceneExistCheck");
const QString kAddCmdFlagsKeyword = QStringLiteral("AddCmdFlags");
// Job ID alphabets: no I and no zero in the upper one, no i and no m in the lower one.
const QString kIdAlphabetUpper = QStringLiteral("ABCDEFGHJKLMNOPQRSTUVWXYZ123456789+-");
const QString kIdAlphabetLower = QStringLiteral("abcdefghjklnopqrstuvwxyz");
} // namespace

#endif // KXKEYWORDCONSTANTS_H
