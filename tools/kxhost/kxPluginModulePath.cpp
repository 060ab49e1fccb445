#include "kxPluginModulePath.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>

namespace kx::host {

namespace {
QStringList pluginModuleCandidates()
{
    const QDir binaryFolder(QCoreApplication::applicationDirPath());
    const QString fileName = QStringLiteral(KXHOST_MODULE_FILE_NAME);
    return {QDir::cleanPath(binaryFolder.filePath(fileName)),
            QDir::cleanPath(binaryFolder.filePath(QStringLiteral(KXHOST_PLUGIN_DIR_FROM_BINARY "/") + fileName)),
            QStringLiteral(KXHOST_BUILT_MODULE_PATH)};
}
} // namespace

QString defaultPluginModulePath()
{
    const QStringList candidates = pluginModuleCandidates();
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return candidates.last();
}

} // namespace kx::host
