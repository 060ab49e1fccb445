#include "kxShared.h"

char16_t kxLatin1ToLower(char16_t unit) noexcept
{
    // A-Z and the Latin-1 capitals from U+00C0, except the multiplication sign.
    if ((unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7))
        return char16_t(unit + 0x20);
    return unit;
}

QString kxToKXUTF8(const QString &text, bool keepControls)
{
    if (keepControls)
        return text;
    QString result = text;
    QChar *units = nullptr;
    for (qsizetype i = 0; i < result.size(); ++i) {
        const char16_t unit = result.at(i).unicode();
        const bool control = unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
        if (control && unit != u'\n' && unit != u'\t') {
            if (!units)
                units = result.data(); // detach only when something changes
            units[i] = QLatin1Char('?');
        }
    }
    return result;
}
