// Any box and text, with any stored lengths: afterwards the box holds at most
// 2500 characters with its terminator in place, box and text hold what a
// plain model of the layout and the trim gives, and nothing around either
// string is read or written.
#include "appendToMessageBox.h"
#include "fuzzInput.h"
#include "kxStringField.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

using kx::MessageBox;
using kxfuzz::GuardZone;
using kxfuzz::require;
using Units = std::vector<char16_t>;

// The model's own figures, not the operation's constants, so a changed
// constant shows up as a difference.
constexpr int kCapacity = 2500;
constexpr std::size_t kLineWidth = 250;
constexpr std::size_t kTrimBase = 2497;
static_assert(MessageBox::capacity() == kCapacity);
constexpr std::size_t kGuardSize = 64;
constexpr std::size_t kFieldSize = sizeof(MessageBox);
// Guard, box, guard, text, guard; the second guard runs on to a multiple of 8
// so the text starts where a granule of shadow memory does.
constexpr std::size_t kBoxOffset = kGuardSize;
constexpr std::size_t kTextOffset = (kBoxOffset + kFieldSize + kGuardSize + 7) / 8 * 8;
constexpr std::size_t kBufferSize = (kTextOffset + kFieldSize + kGuardSize + 7) / 8 * 8;

// The line layout, one step at a time as the operation is described: a line
// longer than 250 gets a line feed after its 250th character, and a text
// pushed past the capacity loses its last character.
KX_FUZZ_HARNESS Units laidOut(Units text)
{
    std::size_t p = 0;
    for (;;) {
        std::size_t e = p;
        while (e < text.size() && text[e] != u'\n')
            ++e;
        if (e - p > kLineWidth) {
            text.insert(text.begin() + std::ptrdiff_t(p + kLineWidth), u'\n');
            if (text.size() > std::size_t(kCapacity))
                text.resize(kCapacity);
            p += kLineWidth + 1;
            continue;
        }
        p = e + 1;
        if (p >= text.size())
            return text;
    }
}

KX_FUZZ_HARNESS Units appended(Units box, const Units &text)
{
    if (box.empty())
        return text;
    const std::size_t total = box.size() + text.size();
    if (total + 2 > std::size_t(kCapacity)) {
        const std::size_t cut = std::min(box.size(), total - kTrimBase);
        box.erase(box.begin(), box.begin() + std::ptrdiff_t(cut));
    }
    box.push_back(u'\n');
    box.push_back(u'\n');
    for (std::size_t i = 0; i < text.size() && box.size() < std::size_t(kCapacity); ++i)
        box.push_back(text[i]);
    return box;
}

KX_FUZZ_HARNESS Units unitsOf(const MessageBox &s)
{
    return Units(s.constData(), s.constData() + s.length());
}

KX_FUZZ_HARNESS void fill(kxfuzz::ByteReader &input, std::uint8_t *field)
{
    char16_t units[kCapacity + 1];
    const std::uint16_t stored = input.text(units, kCapacity);
    kx::writeAt<std::uint16_t>(field, 0, stored);
    kx::writeAt<std::uint16_t>(field, 2, input.u16());
    std::memcpy(field + 4, units, sizeof units);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    alignas(8) static std::uint8_t buffer[kBufferSize];
    const GuardZone guards[] = {
        {buffer, kBoxOffset},
        {buffer + kBoxOffset + kFieldSize, kTextOffset - kBoxOffset - kFieldSize},
        {buffer + kTextOffset + kFieldSize, kBufferSize - kTextOffset - kFieldSize},
    };

    kxfuzz::ByteReader input(data, size);
    // Even: the box is loaded from its record as the delivery does it and
    // stored back; odd: the append works on the stored strings in place.
    const bool inPlace = input.u8() & 1;
    std::uint8_t *boxField = buffer + kBoxOffset;
    std::uint8_t *textField = buffer + kTextOffset;
    fill(input, boxField);
    fill(input, textField);
    for (const GuardZone &guard : guards)
        guard.arm();

    // The model starts from what the operation sees: stored lengths read as
    // at most the capacity.
    const auto initialBox = kx::stringField<MessageBox>(boxField, 0).load();
    auto text = kx::stringField<MessageBox>(textField, 0).load();
    const Units expectedText = laidOut(unitsOf(text));
    const Units expectedBox = appended(unitsOf(initialBox), expectedText);

    if (inPlace) {
        // The strings are trivially copyable: their bytes are their value.
        auto *box = std::launder(reinterpret_cast<MessageBox *>(boxField));
        auto *storedText = std::launder(reinterpret_cast<MessageBox *>(textField));
        kx::appendToMessageBox(*box, *storedText);
        // A stored text over the capacity that needed no line feed keeps its stored length.
        require(storedText->length() == int(expectedText.size()));
        require(unitsOf(*storedText) == expectedText);
    } else {
        auto box = kx::stringField<MessageBox>(boxField, 0).load();
        kx::appendToMessageBox(box, text);
        kx::writeAt(boxField, 0, box);
        require(text.storedLength() == expectedText.size());
        require(unitsOf(text) == expectedText);
        require(text.at(text.length()) == 0);
    }

    for (const GuardZone &guard : guards)
        guard.check();
    const auto box = kx::readAt<MessageBox>(boxField, 0);
    require(box.storedLength() <= kCapacity);
    require(box.at(box.length()) == 0);
    require(unitsOf(box) == expectedBox);
    if (initialBox.length() == 0) {
        // An empty box takes the text whole, and nothing old stays behind it.
        require(kxfuzz::isAllZero(box.constData() + box.length(), std::size_t(kCapacity - box.length() + 1)));
    }
    return 0;
}
