// kxhost's two readers, farm and job event file, on any bytes: each either
// refuses them as bad input (status 2, one message naming the file) or gives
// values within every limit the formats set. A farm that was taken is written
// back and read again, and must come back the same.
#include "kxFarmFile.h"
#include "kxHostError.h"
#include "kxJobEventFile.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"
#include "kxNotifyContract.h"

#include <QtCore/QByteArray>
#include <QtCore/QStringList>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {
void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

const QString kFarmPath = QStringLiteral("farm.json");
const QString kJobPath = QStringLiteral("jobs.json");

void requireRefusal(const kx::host::Error &error, const QString &filePath)
{
    require(error.status() == kx::host::ExitBadInput);
    require(error.file() == filePath);
    require(!error.problem().isEmpty());
}

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

void checkFarm(const QByteArray &bytes)
{
    kx::host::Farm farm;
    try {
        farm = kx::host::parseFarm(kFarmPath, bytes);
    } catch (const kx::host::Error &error) {
        requireRefusal(error, kFarmPath);
        return;
    }
    require(farm.clients.size() <= std::size_t(kx::ClientTable::kMaxClients));
    QStringList boxes;
    for (const kx::host::FarmClient &client : farm.clients) {
        require(client.name.size() <= kx::Client::NameField::capacity() && isLatin1(client.name));
        require(!client.name.contains(QLatin1Char(';')));
        require(client.messageBox.size() <= kx::Client::MessageBoxField::capacity());
        boxes.append(client.messageBox);
    }
    require(farm.log.splitCategory >= -128 && farm.log.splitCategory <= 127);

    // What a save writes reads back as the same farm.
    const std::string saved = kx::host::farmDocument(farm, boxes).dump(4);
    const kx::host::Farm again = kx::host::parseFarm(kFarmPath, QByteArray::fromStdString(saved));
    require(again.logFolder == farm.logFolder && again.clients.size() == farm.clients.size());
    for (std::size_t i = 0; i < farm.clients.size(); ++i) {
        require(again.clients[i].name == farm.clients[i].name);
        require(again.clients[i].messageBox == farm.clients[i].messageBox);
    }
    require(again.log.mainFile == farm.log.mainFile && again.log.errorFile == farm.log.errorFile
            && again.log.splitFile == farm.log.splitFile && again.log.logName == farm.log.logName);
    require(again.log.enabledCategories == farm.log.enabledCategories);
    require(again.log.stampSeparator == farm.log.stampSeparator && again.log.splitCategory == farm.log.splitCategory);
}

void checkJobEvents(const QByteArray &bytes)
{
    std::vector<kx::host::JobEvent> events;
    try {
        events = kx::host::parseJobEvents(kJobPath, bytes);
    } catch (const kx::host::Error &error) {
        requireRefusal(error, kJobPath);
        return;
    }
    require(!events.empty() && events.size() <= 100000);
    for (const kx::host::JobEvent &event : events) {
        require(event.progressCode >= 0 && event.progressCode <= 255);
        require(event.recipients.size() <= kx::Job::RecipientListField::capacity());
        require(event.scene.size() <= kx::Job::SceneField::capacity());
        require(event.image.size() <= kx::Job::ImageField::capacity());
        require(event.imageExtension.size() <= kx::Job::ImageExtensionField::capacity());
        require(event.infoText.size() <= kx::Job::InfoTextField::capacity());
        require(!event.idText.isEmpty());
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), decltype(QByteArray().size())(size));
    checkFarm(bytes);
    checkJobEvents(bytes);
    return 0;
}
