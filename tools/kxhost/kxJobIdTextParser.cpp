#include "kxJobIdTextParser.h"

namespace kx::host {

namespace {
// The characters of a job ID text as the job event file describes them: three
// digits in base 36, then a space or one or two letters in base 24.
const QString kUpperDigits = QStringLiteral("ABCDEFGHJKLMNOPQRSTUVWXYZ123456789+-");
const QString kLetters = QStringLiteral("abcdefghjklnopqrstuvwxyz");
// The text shows the number in bytes 3 to 6 divided by this.
constexpr quint32 kNumberScale = 10000;
constexpr std::size_t kNumberByte = 3;
} // namespace

bool parseJobIdText(const QString &text, std::array<unsigned char, 8> *id)
{
    const int size = int(text.size());
    if (size < 6 || size > 7 || text.at(0) != QLatin1Char('{') || text.at(size - 1) != QLatin1Char('}'))
        return false;

    quint32 number = 0;
    for (int i = 1; i <= 3; ++i) {
        const int digit = int(kUpperDigits.indexOf(text.at(i)));
        if (digit < 0)
            return false;
        number = number * quint32(kUpperDigits.size()) + quint32(digit);
    }

    // Byte 0: 0 a space, 1 to 24 one letter, from 25 on two letters whose first is never
    // the alphabet's first (that would be the one-letter form again).
    int letterByte = 0;
    const int base = int(kLetters.size());
    if (size == 6) {
        if (text.at(4) != QLatin1Char(' ')) {
            const int index = int(kLetters.indexOf(text.at(4)));
            if (index < 0)
                return false;
            letterByte = index + 1;
        }
    } else {
        const int high = int(kLetters.indexOf(text.at(4)));
        const int low = int(kLetters.indexOf(text.at(5)));
        if (high <= 0 || low < 0)
            return false;
        letterByte = high * base + low + 1;
        if (letterByte > 255)
            return false;
    }

    std::array<unsigned char, 8> value{};
    value[0] = static_cast<unsigned char>(letterByte);
    const quint32 stored = number * kNumberScale;
    for (std::size_t i = 0; i < 4; ++i)
        value[kNumberByte + i] = static_cast<unsigned char>(stored >> (8 * i));
    *id = value;
    return true;
}

} // namespace kx::host
