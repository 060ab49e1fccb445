#include "kxTerminalText.h"

namespace kx::host {

bool isControl(char16_t unit) noexcept
{
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

QString visibleText(const QString &text)
{
    decltype(text.size()) controls = 0;
    for (const QChar c : text)
        controls += isControl(c.unicode()) ? 1 : 0;
    if (controls == 0)
        return text;
    QString visible;
    visible.reserve(text.size() + 3 * controls);
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (!isControl(unit)) {
            visible += c;
            continue;
        }
        switch (unit) {
        case u'\t': visible += QLatin1String("\\t"); break;
        case u'\r': visible += QLatin1String("\\r"); break;
        case u'\n': visible += QLatin1String("\\n"); break;
        default:
            visible += QLatin1String("\\x") + QString::number(uint(unit), 16).toUpper().rightJustified(2, QLatin1Char('0'));
            break;
        }
    }
    return visible;
}

} // namespace kx::host
