#include "appendToMessageBox.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include <cstring>

namespace {
constexpr char16_t kLineFeed = u'\n';
const char kSeparator[] = "\n\n";

void breakLongLines(kx::MessageBox &text) noexcept
{
    const kx::MessageBox lineFeed('\n');
    int p = 0;
    for (;;) {
        const int found = text.indexOf(kLineFeed, p);
        const int e = found < 0 ? text.length() : found;
        if (e - p > kx::kMessageLineWidth) {
            // A line feed pushed past the capacity drops the text's last character.
            text.insert(p + kx::kMessageLineWidth, lineFeed);
            p += kx::kMessageLineWidth + 1;
            continue;
        }
        p = e + 1;
        if (p >= text.length())
            return;
    }
}
} // namespace

void kx::appendToMessageBox(MessageBox &box, MessageBox &text) noexcept
{
    breakLongLines(text);

    const int textLength = text.length();
    if (box.length() == 0) {
        std::memcpy(box.data(), text.constData(), sizeof(char16_t) * (MessageBox::capacity() + 1));
        box.setLength(textLength);
        box.clearUnused();
        return;
    }

    const int total = box.length() + textLength;
    if (total + 2 > MessageBox::capacity())
        box.remove(0, total - kMessageBoxTrimBase);
    box.add(kSeparator);

    int length = box.length();
    char16_t *units = box.data();
    for (int i = 0; i < textLength && length < MessageBox::capacity(); ++i)
        units[length++] = text.at(i);
    box.setLength(length);
}
