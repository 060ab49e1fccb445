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
    kx::Client::NameField field;
    field.assign(name);
    kx::writeAt(record, kx::Client::kNameOffset, field);
    const int index = int(m_clients.size()) - 1;
    m_table->clients[index] = record;
    m_table->count = qint16(m_clients.size());
    return index;
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
    box.assign(text);
    box.clearUnused();
    kx::stringField<kx::Client::MessageBoxField>(m_clients[std::size_t(index)].get(), kx::Client::kMessageBoxOffset)
        .storeWhole(box);
}

} // namespace kx::server
