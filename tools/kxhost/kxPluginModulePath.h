// Where kxhost finds the notification module when no --plugin is given.
#ifndef KXPLUGINMODULEPATH_H
#define KXPLUGINMODULEPATH_H

#include <QtCore/QStringList>

namespace kx::host {

// The first that exists of: the module beside the kxhost binary, in the
// installed plug-in folder relative to the binary, and the module built
// together with this kxhost; else the last (so errors name a path).
QString defaultPluginModulePath();

} // namespace kx::host

#endif // KXPLUGINMODULEPATH_H
