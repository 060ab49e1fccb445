// pNotify's work on job records, client names and message boxes filled from
// the fuzzer's bytes, every stored length from 0 to 65535, corrupt client
// counts, null table entries, a missing main log or client table, bad layout
// markers and a log that throws. Checked: the result and the log lines fit
// the records, only named clients' boxes change, every changed box holds at
// most 2500 characters with its terminator, and nothing around the fields
// is read or written.
#include "fuzzInput.h"
#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxNotifyContract.h"
#include "kxStringField.h"
#include "kxServerSdkObject.h"
#include "notifyJob.h"
#include "records/kxClientRecord.h"
#include "records/kxJobRecord.h"

#include <QtCore/QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using kxfuzz::GuardZone;
using kxfuzz::require;

constexpr int kClients = 6;
constexpr std::size_t kGuardSize = 64;

// The server's log: checks each line's form and can throw on one of them.
class FuzzLog : public __KXSDK
{
public:
    void logMessage(int category, int flags, const QString &text) override
    {
        require(flags == 0);
        require(category == 2 || category == 17);
        require(!text.isEmpty());
        if (lines == throwAtLine)
            throw std::runtime_error("log unavailable");
        categories[std::size_t(lines < 4 ? lines : 3)] = category;
        if (lines == 0)
            require(text.startsWith(QLatin1String("pNotify kxMessage started for job {")));
        ++lines;
    }

    int lines = 0;
    int throwAtLine = -1;
    std::array<int, 4> categories{};
};

struct TextField
{
    std::size_t offset;
    int capacity;
};
constexpr TextField kJobTexts[] = {
    {kx::Job::kSceneOffset, kx::Job::SceneField::capacity()},
    {kx::Job::kImageOffset, kx::Job::ImageField::capacity()},
    {kx::Job::kImageExtensionOffset, kx::Job::ImageExtensionField::capacity()},
    {kx::Job::kInfoTextOffset, kx::Job::InfoTextField::capacity()},
    {kx::Job::kRecipientListOffset, kx::Job::RecipientListField::capacity()},
};

constexpr std::size_t fieldEnd(const TextField &field)
{
    return field.offset + 4 + 2 * std::size_t(field.capacity + 1);
}

struct Server
{
    kx::server::SdkObject sdk;
    FuzzLog *log = nullptr;
    kx::server::JobRecordBuilder job;
    kx::server::ClientTableBuilder clients;
    std::vector<GuardZone> guards;

    Server()
    {
        log = &sdk.installLog<FuzzLog>();
        for (int i = 0; i < kClients; ++i)
            clients.addClient(QString(), kx::server::ClientTableBuilder::ClientRecord::Zeroed);

        unsigned char *jobBytes = job.bytes();
        // Behind every text field of the job, up to the next field or 64 bytes.
        for (std::size_t i = 0; i < std::size(kJobTexts); ++i) {
            const std::size_t end = fieldEnd(kJobTexts[i]);
            std::size_t limit = end + kGuardSize;
            for (const TextField &other : kJobTexts) {
                if (other.offset >= end)
                    limit = std::min(limit, other.offset);
            }
            if (limit > end)
                guards.emplace_back(jobBytes + end, limit - end);
        }
        guards.emplace_back(jobBytes + kx::Job::kSceneOffset - kGuardSize, kGuardSize);
        for (int i = 0; i < kClients; ++i) {
            unsigned char *client = clients.client(i);
            const std::size_t boxEnd = kx::Client::kMessageBoxOffset + sizeof(kx::Client::MessageBoxField);
            guards.emplace_back(client + kx::Client::kMessageBoxOffset - kGuardSize, kGuardSize);
            guards.emplace_back(client + boxEnd, kGuardSize);
            guards.emplace_back(client + kx::Client::kNameOffset - kGuardSize, kGuardSize);
        }
    }
};

Server *server = nullptr;

void fillJobText(kxfuzz::ByteReader &input, unsigned char *job, const TextField &field)
{
    static char16_t units[kx::Job::ImageExtensionField::capacity() + 1];
    const std::uint16_t stored = input.text(units, field.capacity);
    kx::writeAt<std::uint16_t>(job, field.offset, stored);
    kx::writeAt<std::uint16_t>(job, field.offset + 2, 0);
    std::memcpy(job + field.offset + 4, units, sizeof(char16_t) * std::size_t(field.capacity + 1));
}

// The recipient parts as 8-bit names, the way the list is read: stored length
// cut to the field, split at every ";" with empty parts kept.
std::vector<kx::Client::NameField> recipientNames(const unsigned char *job)
{
    const QString list = kx::stringField<kx::Job::RecipientListField>(job, kx::Job::kRecipientListOffset).text();
    std::vector<kx::Client::NameField> names;
    for (const QString &part : list.split(QLatin1Char(';'), Qt::KeepEmptyParts, Qt::CaseSensitive)) {
        names.emplace_back();
        names.back().assign(part);
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    kxSetFixedCurrentTime(1709647650000);
    server = new Server;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Server &s = *server;
    kxfuzz::ByteReader input(data, size);
    const std::uint8_t flags = input.u8();
    const std::uint8_t markerChoice = input.u8();
    const std::uint8_t throwChoice = input.u8();
    unsigned char *job = s.job.bytes();

    // Layout markers valid unless the input breaks one of the eight words.
    for (std::size_t i = 0; i < std::size(kx::Job::kLayoutMarkers); ++i) {
        kx::writeAt<quint16>(job, kx::Job::kLayoutMarkers[i].codeOffset, kx::Job::kLayoutMarkers[i].code);
        kx::writeAt<quint16>(job, kx::Job::kLayoutMarkers[i].codeOffset + 2, 1);
    }
    const bool brokenMarker = flags & 0x01;
    if (brokenMarker) {
        const std::size_t word = markerChoice % 8;
        const quint16 value = word % 2 ? 0 : quint16(kx::readAt<quint16>(job, 2 * word) ^ (markerChoice | 1));
        kx::writeAt<quint16>(job, 2 * word, value);
    }
    s.log->throwAtLine = (flags & 0x02) ? throwChoice % 3 : -1;
    s.log->mainLog = (flags & 0x04) ? nullptr : &s.sdk.mainLog();
    const bool hasTable = !(flags & 0x08);
    s.sdk.setClientTable(hasTable ? s.clients.table() : nullptr);

    kx::writeAt<quint8>(job, kx::Job::kProgressCodeOffset, input.u8());
    input.bytes(job + kx::Job::kIdOffset, 8);
    const int count = static_cast<std::int8_t>(input.u8());
    s.clients.setCount(qint16(count));
    for (const TextField &field : kJobTexts)
        fillJobText(input, job, field);
    const std::vector<kx::Client::NameField> names = recipientNames(job);

    std::array<bool, kClients> reached{};
    // Kept across inputs: 30 KB of heap each time would cost more than the call.
    static std::array<kx::Client::MessageBoxField, kClients> boxesBefore;
    bool anyReached = false;
    for (int i = 0; i < kClients; ++i) {
        unsigned char *client = s.clients.client(i);
        const std::uint8_t mode = input.u8();
        kx::Client::NameField name;
        char nameBytes[sizeof name];
        const std::uint16_t nameStored = input.text(nameBytes + 2, kx::Client::NameField::capacity());
        std::memcpy(nameBytes, &nameStored, 2);
        nameBytes[sizeof name - 1] = 0;
        std::memcpy(&name, nameBytes, sizeof name);
        if (mode & 0x02)
            name = names[std::size_t(mode >> 2) % names.size()];
        kx::writeAt(client, kx::Client::kNameOffset, name);

        char16_t units[kx::Client::MessageBoxField::capacity() + 1];
        const std::uint16_t boxStored = input.text(units, kx::Client::MessageBoxField::capacity());
        kx::writeAt<std::uint16_t>(client, kx::Client::kMessageBoxOffset, boxStored);
        kx::writeAt<std::uint16_t>(client, kx::Client::kMessageBoxOffset + 2, 0);
        std::memcpy(client + kx::Client::kMessageBoxOffset + 4, units, sizeof units);
        boxesBefore[std::size_t(i)] = kx::readAt<kx::Client::MessageBoxField>(client, kx::Client::kMessageBoxOffset);

        const bool inTable = !(mode & 0x01);
        s.clients.setClientAt(i, inTable ? client : nullptr);
        if (!hasTable || !inTable || i >= count)
            continue;
        const auto stored = kx::stringField<kx::Client::NameField>(client, kx::Client::kNameOffset).load();
        for (const auto &part : names)
            reached[std::size_t(i)] = reached[std::size_t(i)] || stored.isEqual(part);
        anyReached = anyReached || reached[std::size_t(i)];
    }

    for (const GuardZone &guard : s.guards)
        guard.arm();
    const quint64 flushesBefore = s.sdk.mainLog().flushCount();
    s.log->lines = 0;
    _kxNotifyParams params = kx::NotifyParams::make(s.sdk.sdkInterface(), s.job.record());
    int result = 0;
    bool thrown = false;
    try {
        result = kx::notifyJob(&params);
    } catch (const std::runtime_error &) {
        thrown = true;
    }
    for (const GuardZone &guard : s.guards)
        guard.check();

    const bool hasRecipients = kx::readAt<quint16>(job, kx::Job::kRecipientListOffset) != 0;
    const int expected = brokenMarker ? kx::ResultLayoutMismatch
                                      : (hasRecipients ? kx::ResultSuccess : kx::ResultNoRecipient);
    const int expectedLines = expected == kx::ResultSuccess ? 3 : (expected == kx::ResultNoRecipient ? 2 : 1);
    const bool logThrows = s.log->throwAtLine >= 0 && s.log->throwAtLine < expectedLines;
    // Delivery runs once the text line is written; a throw from the summary comes after it.
    const bool deliveryRuns = expected == kx::ResultSuccess && !(logThrows && s.log->throwAtLine < 2);
    // An SDK object without main log or client table ends the call before any box changes.
    const bool brokenObject = !s.log->mainLog || !hasTable;
    require(thrown == (logThrows || (deliveryRuns && brokenObject)));
    if (!thrown) {
        require(result == expected);
        require(s.log->lines == expectedLines);
        if (expected == kx::ResultNoRecipient)
            require(s.log->categories[1] == 2);
        if (expected == kx::ResultSuccess)
            require(s.log->categories[2] == (anyReached ? 17 : 2));
    }
    if (deliveryRuns && brokenObject)
        require(s.log->lines == 2);
    const bool delivered = deliveryRuns && !brokenObject;
    const bool flushed = deliveryRuns && s.log->mainLog;
    require(s.sdk.mainLog().flushCount() - flushesBefore == (flushed ? 1u : 0u));
    for (int i = 0; i < kClients; ++i) {
        const auto box = kx::readAt<kx::Client::MessageBoxField>(s.clients.client(i), kx::Client::kMessageBoxOffset);
        const bool changed = std::memcmp(&box, &boxesBefore[std::size_t(i)], sizeof box) != 0;
        require(!changed || (delivered && reached[std::size_t(i)]));
        if (delivered && reached[std::size_t(i)]) {
            require(box.storedLength() <= kx::Client::MessageBoxField::capacity());
            require(box.storedLength() >= 2);
            require(box.at(box.length()) == 0);
        }
    }
    return 0;
}
