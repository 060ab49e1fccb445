// A client's message box collects texts for its user until the server shows them.
#ifndef APPENDTOMESSAGEBOX_H
#define APPENDTOMESSAGEBOX_H

#include "kxSharedLayout.h"

namespace kx {

using MessageBox = _kxString<2500>;

constexpr int kMessageBoxCapacity = detail::StringLayout<MessageBox>::kCapacity;
constexpr int kMessageLineWidth = 250;
// Trimming cuts the box to this base before the separator and the text go in,
// which leaves a trimmed box one character short of its capacity.
constexpr int kMessageBoxTrimBase = 2497;

// Breaks text into lines of at most 250 characters (text is changed), then
// appends it to box behind an empty line, dropping the box's oldest characters
// to stay within its capacity. Works in place; no heap.
void appendToMessageBox(MessageBox &box, MessageBox &text) noexcept;

} // namespace kx

#endif // APPENDTOMESSAGEBOX_H
