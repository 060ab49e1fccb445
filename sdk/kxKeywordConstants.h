// Keyword, file-name and job ID alphabet constants. Internal linkage: every
// source file that includes this holds its own copies, built at load.
#ifndef KXKEYWORDCONSTANTS_H
#define KXKEYWORDCONSTANTS_H

#include <QtCore/QString>

namespace {
const QString kNoCheckFileName = QString::fromLatin1("no_check.file");
const QString kExecOnceFileName = QString::fromLatin1("execOnce.file");
const QString kExecEachClientFileName = QString::fromLatin1("execEachClient.file");
const QString kExecuteKeyword = QString::fromLatin1("Execute");
const QString kPythonKeyword = QString::fromLatin1("Python");
const QString kCommandJobKeyword = QString::fromLatin1("CommandJob");
const QString kEnvFileKeyword = QString::fromLatin1("kxEnvFile");
const QString kEnvLineKeyword = QString::fromLatin1("kxEnvLine");
const QString kEnvListKeyword = QString::fromLatin1("kxEnvList");
const QString kSubmitterParameterKeyword = QString::fromLatin1("kxSubmitterParameter");
const QString kSubmitClientGroupKeyword = QString::fromLatin1("SubmitClientGroup");
const QString kNoSceneExistCheckKeyword = QString::fromLatin1("NoSceneExistCheck");
const QString kAddCmdFlagsKeyword = QString::fromLatin1("AddCmdFlags");
// Job ID alphabets: no I and no zero in the upper one, no i and no m in the lower one.
const QString kIdAlphabetUpper = QString::fromLatin1("ABCDEFGHJKLMNOPQRSTUVWXYZ123456789+-");
const QString kIdAlphabetLower = QString::fromLatin1("abcdefghjklnopqrstuvwxyz");
} // namespace

#endif // KXKEYWORDCONSTANTS_H
