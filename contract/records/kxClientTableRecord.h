// _kxClientTable: the server's table of render clients. Its pointer array
// lies 161 MB into the object; a server allocates it so that untouched pages cost nothing.
#ifndef KXCLIENTTABLERECORD_H
#define KXCLIENTTABLERECORD_H

#include <QtCore/QtGlobal>

#include <cstddef>

namespace kx::ClientTable {

constexpr std::size_t kCountOffset = 1238;           // i16: clients in use
constexpr std::size_t kClientsOffset = 169108016;    // _kxClient*[]: entries 0 .. count - 1
constexpr int kMaxClients = 32767;                   // the count is a signed 16-bit value
constexpr std::size_t kRecordSize = kClientsOffset + sizeof(void *) * kMaxClients;

static_assert(kClientsOffset == 0xA146230);
static_assert(kClientsOffset % sizeof(void *) == 0);

} // namespace kx::ClientTable

// The object as the server lays it out; its fields are reached by offset only.
struct _kxClientTable
{
    alignas(8) unsigned char bytes[kx::ClientTable::kRecordSize];
};
static_assert(sizeof(_kxClientTable) == kx::ClientTable::kRecordSize);

#endif // KXCLIENTTABLERECORD_H
