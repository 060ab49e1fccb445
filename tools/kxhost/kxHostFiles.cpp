#include "kxHostFiles.h"

#include "kxHostError.h"

namespace kx::host {

void requireRegularFile(const QString &path)
{
    const FileIdentity identity = identifyFile(path);
    if (identity.kind == FileKind::Missing)
        throw Error::badInput(path, {}, QStringLiteral("no such file"));
    if (identity.kind == FileKind::Folder)
        throw Error::badInput(path, {}, QStringLiteral("is a folder, not a file"));
    if (identity.kind == FileKind::Other)
        throw Error::badInput(path, {}, QStringLiteral("is %1, not a regular file").arg(identity.kindName));
}

} // namespace kx::host
