// Line break and path separator constants. Internal linkage: every source
// file that includes this holds its own copies, built at load, destroyed at unload.
#ifndef KXLINEBREAKCONSTANTS_H
#define KXLINEBREAKCONSTANTS_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace {
const wchar_t kPathSeparatorChars[1] = {L'\\'};

const QString kLineBreak = QStringLiteral("\r\n");
const QByteArray kLineBreakBytes = QByteArrayLiteral("\r\n");
const QString kPathSeparator = QString::fromWCharArray(kPathSeparatorChars, 1);
} // namespace

#endif // KXLINEBREAKCONSTANTS_H
