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

#include <algorithm>
#include <array>
#include <cstring>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#  include <xmmintrin.h>
#endif

namespace {
const QString kSendToText = QStringLiteral(" kxNotifyKXMessage send to '");
const QString kSentTail = QStringLiteral("'. (");
const QString kNotSentText = QStringLiteral(" kxNotifyKXMessage NOT SEND. '");
const QString kNotFoundTail = QStringLiteral("' not found. (");
const QString kCountLineStart = QStringLiteral("  n:");
const QString kCountLineEnd = QStringLiteral("|||\n");

using RecipientName = kx::Client::NameField;
// A list of 50 characters splits into at most 51 parts (all separators).
constexpr int kMaxRecipientParts = kx::Job::RecipientListField::capacity() + 1;

// A cheap first test before isEqual: the length and the first eight
// characters with their letter-case bit (0x20) set. Names that isEqual takes
// as equal have equal lengths and characters that differ at most in letter
// case, which in Latin-1 is that bit, so they always have equal keys. This
// follows kxLatin1ToLower in kxShared: a wider case folding there needs a
// wider key here.
struct NameKey
{
    quint64 leading = 0;
    int length = 0;

    bool operator==(const NameKey &other) const noexcept
    {
        return leading == other.leading && length == other.length;
    }
};

constexpr int kKeyCharacters = 8;
static_assert(RecipientName::capacity() >= kKeyCharacters, "the key reads within the name's characters");

NameKey nameKey(const unsigned char *characters, int length) noexcept
{
    // Reads eight characters whatever the length (the field holds 51 bytes),
    // then keeps the first length of them.
    constexpr quint64 kCaseBits = 0x2020202020202020u;
    quint64 leading;
    std::memcpy(&leading, characters, sizeof leading);
    quint64 kept = ~quint64(0);
    if (length <= 0) {
        kept = 0;
    } else if (length < kKeyCharacters) {
        const int dropped = 8 * (kKeyCharacters - length);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        kept >>= dropped;
#else
        kept <<= dropped;
#endif
    }
    NameKey key;
    key.leading = (leading | kCaseBits) & kept;
    key.length = length;
    return key;
}

// The key of a client's name, read in place: no copy of the name for the
// clients that the key already rules out.
NameKey clientNameKey(const void *client) noexcept
{
    const int stored = kx::readAt<quint16>(client, kx::Client::kNameOffset);
    const int length = std::min(stored, RecipientName::capacity());
    return nameKey(kx::bytesAt(client, kx::Client::kNameOffset + 2), length);
}

struct RecipientNames
{
    std::array<RecipientName, kMaxRecipientParts> names;
    std::array<NameKey, kMaxRecipientParts> keys;
    int count = 0;

    void add(const QString &part) noexcept
    {
        RecipientName &name = names[std::size_t(count)];
        name.assign(part);
        keys[std::size_t(count)] =
            nameKey(reinterpret_cast<const unsigned char *>(name.constData()), name.length());
        ++count;
    }

    bool containsNameOf(const void *client) const noexcept
    {
        const NameKey key = clientNameKey(client);
        for (int j = 0; j < count; ++j) {
            if (!(keys[std::size_t(j)] == key))
                continue;
            const auto clientName = kx::loadString<kx::Client::NameField>(client, kx::Client::kNameOffset);
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
        result.add(part);
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

// Each client record lies on pages of its own: without a hint, the scan waits
// for every name in turn.
inline void prefetchForRead(const void *address) noexcept
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address, 0, 3);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(static_cast<const char *>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
}
constexpr int kPrefetchDistance = 16;

void prefetchName(const void *table, int index, int count) noexcept
{
    if (index >= count)
        return;
    if (const void *client = clientAt(table, index))
        prefetchForRead(kx::bytesAt(client, kx::Client::kNameOffset));
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
        prefetchName(table, i + kPrefetchDistance, clientCount(table));
        void *client = clientAt(table, i);
        if (!client)
            continue;
        if (!recipients.containsNameOf(client))
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
