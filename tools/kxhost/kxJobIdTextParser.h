// The way back from a job ID text such as {KT9a} to an ID value that shows it.
#ifndef KXJOBIDTEXTPARSER_H
#define KXJOBIDTEXTPARSER_H

#include <QtCore/QString>

#include <array>

namespace kx::host {

// The 8-byte ID value whose text is `text`: the letter byte and, in bytes 3
// to 6, the smallest number giving those three characters (their value times
// 10000). False when no value gives that text.
bool parseJobIdText(const QString &text, std::array<unsigned char, 8> *id);

} // namespace kx::host

#endif // KXJOBIDTEXTPARSER_H
