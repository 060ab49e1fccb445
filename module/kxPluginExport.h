// The one export macro of the module: plain C names, visible, undecorated.
#ifndef KXPLUGINEXPORT_H
#define KXPLUGINEXPORT_H

#if defined(_WIN32)
#  define KX_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#  define KX_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif // KXPLUGINEXPORT_H
