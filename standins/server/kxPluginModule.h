// A notification plug-in loaded the way the server loads one: by path, with
// its four exports resolved by name.
#ifndef KXPLUGINMODULE_H
#define KXPLUGINMODULE_H

#include "kxNotifyContract.h"

#include <QtCore/QLibrary>
#include <QtCore/QString>

namespace kx::server {

class PluginModule
{
public:
    explicit PluginModule(const QString &path);
    ~PluginModule();
    PluginModule(const PluginModule &) = delete;
    PluginModule &operator=(const PluginModule &) = delete;

    // Loads the library and resolves all four exports; false with errorString() otherwise.
    bool load();
    bool unload();
    bool isLoaded() const noexcept { return m_notify != nullptr; }
    QString errorString() const { return m_error; }
    QString path() const { return m_library.fileName(); }

    int init() const { return m_init(); }
    int info(_kxPluginInfo *record) const { return m_info(record); }
    int notify(_kxNotifyParams *params) const { return m_notify(params); }
    int exit() const { return m_exit(); }

private:
    // Forgets the exports and lets the library go.
    bool release();

    QLibrary m_library;
    QString m_error;
    // The contract's declarations give the types; nothing here links against them.
    decltype(&pInit) m_init = nullptr;
    decltype(&pInfo) m_info = nullptr;
    decltype(&pNotify) m_notify = nullptr;
    decltype(&pExit) m_exit = nullptr;
};

} // namespace kx::server

#endif // KXPLUGINMODULE_H
