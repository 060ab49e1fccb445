// The server resolves four undecorated names; anything else a plug-in
// exports is at best unused and at worst clashes with the server's own.
#include "kxCheckContext.h"
#include "kxCheckPlatform.h"
#include "kxCheckSuite.h"

#include "kxNotifyContract.h"

namespace kx::check {

bool isToolchainSymbol(const QString &name)
{
    static const char *const prefixes[] = {"_ZTI", "_ZTS", "_ZTV", "_ZTT", "_ZGV"};
    for (const char *prefix : prefixes) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return name == QLatin1String("_init") || name == QLatin1String("_fini");
}

void checkExports(CheckContext &context)
{
    context.step(QStringLiteral("reading the exports"));
    const ExportedNames names = exportedNames(context.options().pluginPath);
    if (!names.error.isEmpty()) {
        context.fail(QStringLiteral("the exports cannot be read: the file %1").arg(names.error));
        return;
    }
    const QStringList required = {QLatin1String(kx::kInitSymbol), QLatin1String(kx::kInfoSymbol),
                                  QLatin1String(kx::kNotifySymbol), QLatin1String(kx::kExitSymbol)};
    for (const QString &name : required) {
        if (names.functions.contains(name))
            continue;
        QStringList decorated;
        for (const QString &function : names.functions) {
            if (function.contains(name))
                decorated.append(function);
        }
        context.fail(decorated.isEmpty()
                         ? QStringLiteral("%1 is not exported as a function").arg(name)
                         : QStringLiteral("%1 is exported only decorated: %2").arg(name, decorated.join(QLatin1String(", "))));
    }
    QStringList more;
    for (const QString &function : names.functions) {
        if (!required.contains(function))
            more.append(function);
    }
    if (!more.isEmpty())
        context.warn(QStringLiteral("exports %1 more function%2: %3")
                         .arg(more.size())
                         .arg(more.size() == 1 ? QString() : QStringLiteral("s"))
                         .arg(more.join(QLatin1String(", "))));
    if (!names.data.isEmpty())
        context.warn(QStringLiteral("exports data: %1").arg(names.data.join(QLatin1String(", "))));
    context.passWith(QStringLiteral("exactly pInit, pInfo, pNotify and pExit"));
}

} // namespace kx::check
