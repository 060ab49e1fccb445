// _kxClient: the server's record of one render client, byte-packed.
// The plug-in reads the name and appends to the message box; the SDK's
// client routines construct, clear and validate bytes 0 .. 107731.
#ifndef KXCLIENTRECORD_H
#define KXCLIENTRECORD_H

#include "kxShared.h"

#include <cstddef>

namespace kx::Client {

constexpr std::size_t kMessageBoxOffset = 69848;     // MessageBoxField
constexpr std::size_t kInitialisedSize = 107732;     // bytes covered by construction and clear
constexpr std::size_t kNameOffset = 107738;          // NameField
constexpr std::size_t kRecordSize = 107792;

using MessageBoxField = _kxString<2500>;
using NameField = _kxString8_allSize<50>;

static_assert(sizeof(MessageBoxField) == 5006);
static_assert(kMessageBoxOffset + sizeof(MessageBoxField) <= kInitialisedSize);
static_assert(kNameOffset >= kInitialisedSize);
static_assert(kNameOffset + sizeof(NameField) == kRecordSize);

} // namespace kx::Client

#endif // KXCLIENTRECORD_H
