#include "kxShared.h"


namespace {
bool isMaskedControl(char16_t unit) noexcept
{
    if (unit < 0x20)
        return unit != u'\n' && unit != u'\t';
    return unit >= 0x7F && unit <= 0x9F;
}
} // namespace

QString kxToKXUTF8(const QString &text, bool keepControls)
{
    if (keepControls)
        return text;
    // Most texts hold nothing to mask: look through all of it first (a loop
    // without an early exit, which the compiler can vectorise) before copying.
    // Through a view: QString::utf16() may reallocate the caller's string (a literal, in Qt 6).
    const char16_t *units = QStringView(text).utf16();
    const qsizetype size = text.size();
    // Branch-free, so that it runs on many units at once.
    unsigned hasMasked = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        hasMasked |= unsigned(unit < 0x20) & unsigned(unit != u'\n') & unsigned(unit != u'\t');
        hasMasked |= unsigned(char16_t(unit - 0x7F) <= 0x20);
    }
    if (!hasMasked)
        return text;
    QString result = text;
    QChar *resultUnits = result.data();
    for (qsizetype i = 0; i < size; ++i) {
        if (isMaskedControl(resultUnits[i].unicode()))
            resultUnits[i] = QLatin1Char('?');
    }
    return result;
}
