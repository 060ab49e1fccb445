#include "appendToMessageBox.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "kxStringField.h"

#include <utility>

namespace {
constexpr char16_t kLineFeed = u'\n';
const char kSeparator[] = "\n\n";

void breakLongLines(kx::MessageBox &text) noexcept
{
    const kx::MessageBox lineFeed('\n');
    const auto units = kx::stringOf(text);
    int p = 0;
    for (;;) {
        const int found = text.indexOf(kLineFeed, p);
        // Whatever the runtime answers, the scan only moves forward.
        const int e = found < p ? units.length() : found;
        if (e - p > kx::kMessageLineWidth) {
            // Past the capacity, insert drops what the runtime drops.
            text.insert(p + kx::kMessageLineWidth, lineFeed);
            p += kx::kMessageLineWidth + 1;
            continue;
        }
        p = e + 1;
        if (p >= units.length())
            return;
    }
}
} // namespace

void kx::appendToMessageBox(MessageBox &box, MessageBox &text) noexcept
{
    breakLongLines(text);

    const auto textUnits = stringOf(std::as_const(text));
    auto boxUnits = stringOf(box);
    const int textLength = textUnits.length();
    if (boxUnits.length() == 0) {
        boxUnits.storeAllUnits(text);
        boxUnits.setLength(textLength);
        box.clearUnused();
        return;
    }

    const int total = boxUnits.length() + textLength;
    if (total + 2 > kMessageBoxCapacity)
        box.remove(0, total - kMessageBoxTrimBase);
    box.add(kSeparator);

    int length = boxUnits.length();
    for (int i = 0; i < textLength && length < kMessageBoxCapacity; ++i)
        boxUnits.setUnit(length++, textUnits.unit(i));
    boxUnits.setLength(length);
}
