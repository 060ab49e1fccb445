// Where kxhost finds the notification module when no --plugin is given.
#ifndef KXPLUGINMODULEPATH_H
#define KXPLUGINMODULEPATH_H

#include <QtCore/QStringList>

// In order: beside the kxhost binary, the installed plug-in folder relative
// to the binary, then the module built together with this kxhost.
QStringList kxPluginModuleCandidates();
// The first candidate that exists, else the last one (so errors name a path).
QString kxDefaultPluginModulePath();

#endif // KXPLUGINMODULEPATH_H
