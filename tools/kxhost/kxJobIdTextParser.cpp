#include "kxJobIdTextParser.h"

#include "jobIDText.h"
#include "kxKeywordConstants.h"

namespace kx::host {

bool parseJobIdText(const QString &text, std::array<unsigned char, 8> *id)
{
    const int size = int(text.size());
    if (size < 6 || size > 7 || text.at(0) != QLatin1Char('{') || text.at(size - 1) != QLatin1Char('}'))
        return false;

    const int upperBase = int(kIdAlphabetUpper.size());
    const int lowerBase = int(kIdAlphabetLower.size());
    quint32 v = 0;
    for (int i = 1; i <= 3; ++i) {
        const int digit = int(kIdAlphabetUpper.indexOf(text.at(i)));
        if (digit < 0)
            return false;
        v = v * quint32(upperBase) + quint32(digit);
    }

    int letterByte = 0;
    if (size == 6) {
        if (text.at(4) != QLatin1Char(' ')) {
            const int index = int(kIdAlphabetLower.indexOf(text.at(4)));
            if (index < 0)
                return false;
            letterByte = index + 1;
        }
    } else {
        const int high = int(kIdAlphabetLower.indexOf(text.at(4)));
        const int low = int(kIdAlphabetLower.indexOf(text.at(5)));
        if (high <= 0 || low < 0)
            return false;
        letterByte = high * lowerBase + low + 1;
        if (letterByte > 255)
            return false;
    }

    const kx::JobId value = kx::makeJobId(quint8(letterByte), v * kx::kJobIdNumberScale);
    // The plug-in's own algorithm has the last word: whatever it would not show back is refused.
    if (kx::jobIDText(value) != text)
        return false;
    *id = value;
    return true;
}

} // namespace kx::host
