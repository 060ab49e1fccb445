#include "kxFarmGenerator.h"

#include "kxFarmFile.h"
#include "kxHostError.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"

#include <QtCore/QDir>

#include <utility>

namespace kx::host {

Farm generateFarm(const QString &countText, const QString &prefix, const QString &logFolder)
{
    bool isNumber = false;
    const qint64 count = countText.toLongLong(&isNumber);
    if (!isNumber)
        throw Error::badInput({}, QStringLiteral("--clients"), QStringLiteral("\"%1\" is not a whole number").arg(countText));
    if (logFolder.isEmpty())
        throw Error::badInput({}, QStringLiteral("--log-folder"), QStringLiteral("must name a folder"));
    if (count < 1 || count > kx::ClientTable::kMaxClients)
        throw Error::badInput({}, QStringLiteral("--clients"),
                              QStringLiteral("%1 is outside the limit: a client table holds 1 to %2 clients")
                                  .arg(count)
                                  .arg(kx::ClientTable::kMaxClients));
    const int width = std::max(2, int(QString::number(count).size()));
    const int nameCapacity = kx::Client::NameField::capacity();
    if (prefix.size() + width > nameCapacity)
        throw Error::badInput({}, QStringLiteral("--prefix"),
                              QStringLiteral("%1 characters; with %2 digits the client name field holds "
                                             "at most %3 characters of prefix")
                                  .arg(prefix.size())
                                  .arg(width)
                                  .arg(nameCapacity - width));
    const int nonLatin1 = firstNonLatin1(prefix);
    if (nonLatin1 >= 0)
        throw Error::badInput({}, QStringLiteral("--prefix"),
                              QStringLiteral("U+%1 is outside Latin-1, which the client name field stores")
                                  .arg(prefix.at(nonLatin1).unicode(), 4, 16, QLatin1Char('0')));
    const QString problem = listSeparatorProblem(prefix);
    if (!problem.isEmpty())
        throw Error::badInput({}, QStringLiteral("--prefix"), problem);

    Farm farm;
    farm.logFolder = QDir::cleanPath(QDir::current().absoluteFilePath(logFolder));
    Json clients = Json::array();
    farm.clients.reserve(std::size_t(count));
    for (qint64 i = 1; i <= count; ++i) {
        FarmClient client;
        client.name = prefix + QStringLiteral("%1").arg(i, width, 10, QLatin1Char('0'));
        clients.push_back(Json{{"name", client.name.toStdString()}, {"messageBox", ""}});
        farm.clients.push_back(client);
    }
    farm.document = Json::object();
    farm.document["logFolder"] = logFolder.toStdString();
    farm.document["clients"] = std::move(clients);
    return farm;
}

} // namespace kx::host
