#include "kxPluginModule.h"

KxPluginModule::KxPluginModule(const QString &path)
    : m_library(path)
{
}

KxPluginModule::~KxPluginModule()
{
    unload();
}

bool KxPluginModule::load()
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
    const bool complete = resolve(kx::kInitSymbol, m_init) & resolve(kx::kInfoSymbol, m_info)
                          & resolve(kx::kNotifySymbol, m_notify) & resolve(kx::kExitSymbol, m_exit);
    if (!complete) {
        m_init = nullptr;
        m_info = nullptr;
        m_notify = nullptr;
        m_exit = nullptr;
        m_library.unload();
        return false;
    }
    return true;
}

bool KxPluginModule::unload()
{
    if (!isLoaded())
        return true;
    m_init = nullptr;
    m_info = nullptr;
    m_notify = nullptr;
    m_exit = nullptr;
    return m_library.unload();
}
