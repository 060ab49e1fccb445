#include "deliverToRecipients.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"
#include "kxLetterConstants.h"
#include "kxKeywordConstants.h"
#include "kxMarkerConstants.h"
#include "kxJobOptionDefinitions.h"

#include "appendToMessageBox.h"
#include "jobEvent.h"
#include "kxStringField.h"
#include "notifyLogLines.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"
#include "records/kxJobRecord.h"
#include "records/kxServerSdkRecord.h"
#include "serverLog.h"

#include <QtCore/QStringList>

#include <array>
#include <stdexcept>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#  include <xmmintrin.h>
#endif

namespace {
using RecipientName = kx::Client::NameField;
constexpr int kNameCapacity = kx::detail::StringLayout<RecipientName>::kCapacity;
// A list of 50 characters splits into at most 51 parts (all separators).
constexpr int kMaxRecipientParts = kx::Job::kRecipientListMaxUnits + 1;
static_assert(kNameCapacity < 64, "one bit for each length a name can have");

// A broken SDK object (no client table, no main log): the call ends through
// the catch-all, as the fault of reading through the null pointer would.
class BrokenServerObject : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A client is reached when the runtime's isEqual says its name equals a part.
// Whatever isEqual ignores, names it calls equal have equal lengths: that is
// all the filter in front of it relies on.
struct RecipientNames
{
    std::array<RecipientName, kMaxRecipientParts> names;
    std::array<int, kMaxRecipientParts> lengths;
    quint64 lengthsNamed = 0; // bit n: some part is n characters long
    int count = 0;

    void add(const QString &part) noexcept
    {
        RecipientName &name = names[std::size_t(count)];
        auto units = kx::stringOf(name);
        units.assign(part);
        lengths[std::size_t(count)] = units.length();
        lengthsNamed |= quint64(1) << units.length();
        ++count;
    }

    bool containsNameOf(const void *client) const noexcept
    {
        const auto field = kx::stringField<RecipientName>(client, kx::Client::kNameOffset);
        const int length = field.length();
        if (!(lengthsNamed & (quint64(1) << length)))
            return false;
        const RecipientName clientName = field.load();
        for (int j = 0; j < count; ++j) {
            if (lengths[std::size_t(j)] == length && clientName.isEqual(names[std::size_t(j)]))
                return true;
        }
        return false;
    }
};

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

int clientCount(const void *table) noexcept
{
    return kx::readAt<qint16>(table, kx::ClientTable::kCountOffset);
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
    scratch.clear();
    kx::stringOf(scratch).assign(text);
    auto field = kx::stringField<kx::Client::MessageBoxField>(client, kx::Client::kMessageBoxOffset);
    auto box = field.load();
    kx::appendToMessageBox(box, scratch);
    field.storeWhole(box);
}
} // namespace

void kx::deliverToRecipients(const void *sdkObject, const JobEvent &event, const QString &text)
{
    // The log so far reaches its file before any client's box changes.
    auto *mainLog = readAt<_kxLogfile *>(sdkObject, ServerSdk::kMainLogOffset);
    if (!mainLog)
        throw BrokenServerObject("the SDK object has no main log");
    mainLog->flush();
    const void *table = clientTableOf(sdkObject);
    if (!table)
        throw BrokenServerObject("the SDK object has no client table");

    bool delivered = false;
    RecipientNames recipients;
    splitRecipients(event.recipients, recipients);

    // Clients outside, names inside: a client is reached once however often
    // the list names it, and every client bearing a name is reached.
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

    auto *log = addressAt<__KXSDK>(sdkObject, std::ptrdiff_t(ServerSdk::kInterfaceOffset));
    if (delivered)
        logProgress(*log, deliveredLine(event, clientCount(table)));
    else
        logWarning(*log, notFoundLine(event, clientCount(table)));
}
