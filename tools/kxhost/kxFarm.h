// A render farm as kxhost runs it: where the server's log files go, how its
// log channel is set up, and its render clients with their message boxes.
#ifndef KXFARM_H
#define KXFARM_H

#include "kxJsonFieldReader.h"
#include "records/kxServerConfigRecord.h"

#include <QtCore/QString>

#include <array>
#include <vector>

namespace kx::host {

struct FarmLogSettings
{
    QString mainFile = QStringLiteral("kxserver.log");
    QString errorFile = QStringLiteral("kxserver-error.log");
    QString splitFile = QStringLiteral("kxserver-split.log");
    std::array<bool, kx::ServerConfig::kLogCategoryCount> enabledCategories;
    char stampSeparator = '|';
    int splitCategory = -1; // negative: no split log
    QString logName = QStringLiteral("kxhost");

    FarmLogSettings() { enabledCategories.fill(true); }
};

struct FarmClient
{
    QString name;
    QString messageBox;
};

struct Farm
{
    QString filePath;   // empty for a generated farm that lives in memory only
    QString logFolder;  // absolute
    FarmLogSettings log;
    std::vector<FarmClient> clients;
    // The file's own object, so that saving keeps every field the way it was written.
    Json document;
};

} // namespace kx::host

#endif // KXFARM_H
