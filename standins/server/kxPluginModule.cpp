#include "kxPluginModule.h"

#include <algorithm>
#include <iterator>

namespace kx::server {

PluginModule::PluginModule(const QString &path)
    : m_library(path)
{
}

PluginModule::~PluginModule()
{
    unload();
}

bool PluginModule::load()
{
    if (isLoaded())
        return true;
    if (!m_library.load()) {
        m_error = m_library.errorString();
        return false;
    }
    auto resolve = [this](const char *symbol, auto &function) {
        function = reinterpret_cast<std::decay_t<decltype(function)>>(m_library.resolve(symbol));
        if (!function && m_error.isEmpty())
            m_error = QStringLiteral("%1: the export %2 is missing").arg(m_library.fileName(), QLatin1String(symbol));
        return function != nullptr;
    };
    m_error.clear();
    // Every export is resolved, so the message names the first one missing.
    const bool resolved[] = {resolve(kx::kInitSymbol, m_init), resolve(kx::kInfoSymbol, m_info),
                             resolve(kx::kNotifySymbol, m_notify), resolve(kx::kExitSymbol, m_exit)};
    const bool complete = std::all_of(std::begin(resolved), std::end(resolved), [](bool b) { return b; });
    if (!complete)
        release();
    return complete;
}

bool PluginModule::unload()
{
    return !isLoaded() || release();
}

bool PluginModule::release()
{
    m_init = nullptr;
    m_info = nullptr;
    m_notify = nullptr;
    m_exit = nullptr;
    return m_library.unload();
}

} // namespace kx::server
