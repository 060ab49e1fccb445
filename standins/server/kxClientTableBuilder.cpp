#include "kxClientTableBuilder.h"

#include "kxClient.h"
#include "kxStringField.h"
#include "records/kxClientRecord.h"

#include <new>
#include <stdexcept>
#include <string>

namespace kx::server {

namespace {
template <typename T>
T *allocateZeroed(std::size_t size)
{
    void *memory = std::calloc(1, size);
    if (!memory)
        throw std::bad_alloc();
    return static_cast<T *>(memory);
}
} // namespace

ClientTableBuilder::ClientTableBuilder()
    : m_table(allocateZeroed<_kxClientTable>(sizeof(_kxClientTable)))
{
}

int ClientTableBuilder::addClient(const QString &name, ClientRecord kind)
{
    if (m_clients.size() >= std::size_t(kx::ClientTable::kMaxClients))
        throw std::length_error("a client table holds at most " + std::to_string(kx::ClientTable::kMaxClients)
                                + " clients");
    auto *record = allocateZeroed<unsigned char>(kx::Client::kRecordSize);
    m_clients.emplace_back(record);
    if (kind == ClientRecord::Constructed)
        _kxClient::constructAt(record);
    kx::stringField<kx::Client::NameField>(record, kx::Client::kNameOffset).assign(name);
    const int index = int(m_clients.size()) - 1;
    setClientAt(index, record);
    setCount(qint16(m_clients.size()));
    return index;
}

void ClientTableBuilder::setCount(qint16 count) noexcept
{
    kx::writeAt(m_table.get(), kx::ClientTable::kCountOffset, count);
}

void ClientTableBuilder::setClientAt(int index, void *record) noexcept
{
    kx::writeAt(m_table.get(), kx::ClientTable::kClientsOffset + sizeof(void *) * std::size_t(index), record);
}

QString ClientTableBuilder::clientName(int index) const
{
    return kx::stringField<kx::Client::NameField>(m_clients[std::size_t(index)].get(), kx::Client::kNameOffset).text();
}

QString ClientTableBuilder::messageBox(int index) const
{
    return kx::stringField<kx::Client::MessageBoxField>(m_clients[std::size_t(index)].get(), kx::Client::kMessageBoxOffset)
        .text();
}

void ClientTableBuilder::setMessageBox(int index, const QString &text)
{
    kx::Client::MessageBoxField box;
    box.clearUnused();
    kx::stringOf(box).assign(text);
    kx::stringField<kx::Client::MessageBoxField>(m_clients[std::size_t(index)].get(), kx::Client::kMessageBoxOffset)
        .storeWhole(box);
}

} // namespace kx::server
