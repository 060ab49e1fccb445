#include "deliverToRecipients.h"

#include "appendToMessageBox.h"
#include "jobIDText.h"
#include "kxLineBreakConstants.h"
#include "kxRecordAccess.h"
#include "kxShared.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"
#include "records/kxJobRecord.h"
#include "records/kxServerSdkRecord.h"
#include "serverLog.h"

#include <QtCore/QStringList>

#include <array>

namespace {
const QString kSendToText = QStringLiteral(" kxNotifyKXMessage send to '");
const QString kSentTail = QStringLiteral("'. (");
const QString kNotSentText = QStringLiteral(" kxNotifyKXMessage NOT SEND. '");
const QString kNotFoundTail = QStringLiteral("' not found. (");
const QString kCountLineStart = QStringLiteral("  n:");
const QString kCountLineEnd = QStringLiteral("|||\n");

using RecipientName = _kxString8_allSize<50>;
// A list of 50 characters splits into at most 51 parts (all separators).
constexpr int kMaxRecipientParts = kx::Job::RecipientListField::capacity() + 1;

struct RecipientNames
{
    std::array<RecipientName, kMaxRecipientParts> names;
    int count = 0;

    bool contains(const RecipientName &clientName) const noexcept
    {
        for (int j = 0; j < count; ++j) {
            if (clientName.isEqual(names[std::size_t(j)]))
                return true;
        }
        return false;
    }
};

QString recipientList(const void *job)
{
    return kx::readText<kx::Job::RecipientListField::capacity()>(job, kx::Job::kRecipientListOffset);
}

// Nothing is trimmed: a blank after ";" is part of the next name, "a;;b" holds
// an empty name. Each name is made once, not once per client.
void splitRecipients(const QString &list, RecipientNames &result)
{
    const QStringList parts = list.split(QLatin1Char(';'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    result.count = 0;
    for (const QString &part : parts) {
        if (result.count == kMaxRecipientParts)
            break;
        result.names[std::size_t(result.count++)].assign(part);
    }
}

const void *clientTableOf(const void *sdkObject) noexcept
{
    return kx::readAt<const void *>(sdkObject, kx::ServerSdk::kClientTableOffset);
}

// A missing table has no clients.
int clientCount(const void *table) noexcept
{
    return table ? kx::readAt<qint16>(table, kx::ClientTable::kCountOffset) : 0;
}

void *clientAt(const void *table, int index) noexcept
{
    return kx::readAt<void *>(table, kx::ClientTable::kClientsOffset + sizeof(void *) * std::size_t(index));
}

void deliverTo(void *client, const QString &text) noexcept
{
    // A fresh copy for each client: the layout inserts line feeds into it.
    kx::MessageBox scratch;
    scratch.assign(text);
    auto box = kx::loadString<kx::Client::MessageBoxField>(client, kx::Client::kMessageBoxOffset);
    kx::appendToMessageBox(box, scratch);
    kx::writeAt(client, kx::Client::kMessageBoxOffset, box);
}
} // namespace

void kx::deliverToRecipients(const void *sdkObject, const void *job, const QString &text)
{
    // The log so far reaches its file before any client's box changes.
    if (auto *mainLog = readAt<_kxLogfile *>(sdkObject, ServerSdk::kMainLogOffset))
        mainLog->flush();

    bool delivered = false;
    RecipientNames recipients;
    splitRecipients(recipientList(job), recipients);

    // Clients outside, names inside: a client is reached once however often
    // the list names it, and every client bearing a name is reached.
    const void *table = clientTableOf(sdkObject);
    for (int i = 0; i < clientCount(table); ++i) {
        void *client = clientAt(table, i);
        if (!client)
            continue;
        const auto name = loadString<Client::NameField>(client, Client::kNameOffset);
        if (!recipients.contains(name))
            continue;
        deliverTo(client, text);
        delivered = true;
    }

    const QString countLine = kCountLineStart + QString::number(clientCount(table)) + kCountLineEnd;
    auto *log = addressAt<__KXSDK>(sdkObject, std::ptrdiff_t(ServerSdk::kInterfaceOffset));
    if (delivered) {
        logProgress(*log, jobIDTextOfJob(job) + kSendToText + recipientList(job) + kSentTail
                              + countLine + QLatin1Char(')'));
    } else {
        logWarning(*log, jobIDTextOfJob(job) + kNotSentText + recipientList(job) + kNotFoundTail
                             + countLine + QLatin1Char(')'));
    }
}
