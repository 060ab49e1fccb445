// Any eight ID bytes give a job ID text of the fixed shape: an opening brace,
// three characters of the upper alphabet, one blank or one or two characters
// of the lower alphabet, and a closing brace.
#include "jobIDText.h"

#include <QtCore/QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
const QString kUpper = QStringLiteral("ABCDEFGHJKLMNOPQRSTUVWXYZ123456789+-");
const QString kLower = QStringLiteral("abcdefghjklnopqrstuvwxyz");

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    kx::JobId id{};
    std::memcpy(id.data(), data, std::min(size, id.size()));
    const QString text = kx::jobIDText(id);

    require(text.size() == 6 || text.size() == 7);
    require(text.startsWith(QLatin1Char('{')) && text.endsWith(QLatin1Char('}')));
    for (int i = 1; i <= 3; ++i)
        require(kUpper.contains(text.at(i)));
    if (id[0] == 0) {
        require(text.size() == 6 && text.at(4) == QLatin1Char(' '));
    } else {
        for (qsizetype i = 4; i < text.size() - 1; ++i)
            require(kLower.contains(text.at(i)));
        // One lower letter up to the alphabet's length, two beyond it.
        require((text.size() == 7) == (id[0] > kLower.size()));
    }
    return 0;
}
