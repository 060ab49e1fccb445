#include "kxFarmGenerator.h"

#include "kxInputError.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"

#include <QtCore/QDir>
#include <QtCore/QJsonArray>

KxFarm kxGenerateFarm(qint64 count, const QString &prefix, const QString &logFolder)
{
    if (count < 1 || count > kx::ClientTable::kMaxClients)
        throw KxInputError(QStringLiteral("--clients: %1 is outside the limit: a client table holds 1 to %2 clients")
                               .arg(count).arg(kx::ClientTable::kMaxClients));
    const int width = std::max(2, int(QString::number(count).size()));
    const int nameCapacity = kx::Client::NameField::capacity();
    if (prefix.size() + width > nameCapacity)
        throw KxInputError(QStringLiteral("--prefix: %1 characters; with %2 digits the client name field holds "
                                          "at most %3 characters of prefix")
                               .arg(prefix.size()).arg(width).arg(nameCapacity - width));
    for (const QChar c : prefix) {
        if (c.unicode() > 0xFF)
            throw KxInputError(QStringLiteral("--prefix: U+%1 is outside Latin-1, which the client name field stores")
                                   .arg(c.unicode(), 4, 16, QLatin1Char('0')));
    }

    if (prefix.contains(QLatin1Char(';')))
        throw KxInputError(QStringLiteral("--prefix: must not contain \";\", which separates the names of a recipient list"));

    KxFarm farm;
    farm.logFolder = QDir::cleanPath(QDir::current().absoluteFilePath(logFolder));
    QJsonArray clients;
    farm.clients.reserve(std::size_t(count));
    for (qint64 i = 1; i <= count; ++i) {
        KxFarmClient client;
        client.name = prefix + QStringLiteral("%1").arg(i, width, 10, QLatin1Char('0'));
        clients.append(QJsonObject{{QStringLiteral("name"), client.name},
                                   {QStringLiteral("messageBox"), QString()}});
        farm.clients.push_back(client);
    }
    farm.document.insert(QStringLiteral("logFolder"), logFolder);
    farm.document.insert(QStringLiteral("clients"), clients);
    return farm;
}
