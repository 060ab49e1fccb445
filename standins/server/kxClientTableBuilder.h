// The server's client table with its client records. The table object is
// 161 MB; it is allocated zeroed, so the pages nobody touches cost nothing.
// Client records are constructed by the SDK routines unless asked otherwise.
#ifndef KXCLIENTTABLEBUILDER_H
#define KXCLIENTTABLEBUILDER_H

#include "kxNotifyContract.h"

#include <QtCore/QString>

#include <cstdlib>
#include <memory>
#include <vector>

namespace kx::server {

class ClientTableBuilder
{
public:
    ClientTableBuilder();

    _kxClientTable *table() noexcept { return m_table.get(); }
    int clientCount() const noexcept { return int(m_clients.size()); }

    enum class ClientRecord {
        Constructed, // built by the SDK's client routines (about 105 KB written)
        Zeroed,      // left zeroed: cheap for very large tables
    };

    // Adds a client record with that name (Latin-1, cut to 50); returns its index.
    int addClient(const QString &name, ClientRecord record = ClientRecord::Constructed);
    unsigned char *client(int index) noexcept { return m_clients[std::size_t(index)].get(); }

    // The table's fields as a server may leave them: any count, any entry.
    void setCount(qint16 count) noexcept;
    void setClientAt(int index, void *record) noexcept;

    QString clientName(int index) const;
    QString messageBox(int index) const;
    void setMessageBox(int index, const QString &text);

private:
    struct FreeDeleter
    {
        void operator()(void *p) const noexcept { std::free(p); }
    };
    std::unique_ptr<_kxClientTable, FreeDeleter> m_table;
    std::vector<std::unique_ptr<unsigned char, FreeDeleter>> m_clients;
};

} // namespace kx::server

#endif // KXCLIENTTABLEBUILDER_H
