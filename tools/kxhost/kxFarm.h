// A render farm as kxhost runs it: where the server's log files go, how its
// log channel is set up, and its render clients with their message boxes.
#ifndef KXFARM_H
#define KXFARM_H

#include "records/kxServerConfigRecord.h"

#include <QtCore/QJsonObject>
#include <QtCore/QString>

#include <array>
#include <vector>

struct KxFarmLogSettings
{
    QString mainFile = QStringLiteral("kxserver.log");
    QString errorFile = QStringLiteral("kxserver-error.log");
    QString splitFile = QStringLiteral("kxserver-split.log");
    std::array<bool, kx::ServerConfig::kLogCategoryCount> enabledCategories;
    char stampSeparator = '|';
    int splitCategory = -1; // negative: no split log
    QString logName = QStringLiteral("kxhost");

    KxFarmLogSettings() { enabledCategories.fill(true); }
};

struct KxFarmClient
{
    QString name;
    QString messageBox;
};

struct KxFarm
{
    QString filePath;   // empty for a generated farm that lives in memory only
    QString logFolder;  // absolute
    KxFarmLogSettings log;
    std::vector<KxFarmClient> clients;
    // The file's own object, so that saving keeps every field the way it was written.
    QJsonObject document;
};

#endif // KXFARM_H
