// Stored lengths are the server's to get right, but one it gets wrong must
// not make a plug-in read or write beyond the field; and a client record the
// plug-in cannot read ends the call or the process, the plug-in's choice.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

namespace kx::check {

namespace {
const QStringList kClients = {QStringLiteral("render01"), QStringLiteral("render02"), QStringLiteral("render03")};
const std::vector<bool> kNamed = {true, false, true};

struct StoredLength
{
    const char *field;
    std::size_t offset;    // of the field in its record
    int capacity;
    bool inMessageBox;     // of the first client, else of the job
};

constexpr StoredLength kFields[] = {
    {"the job's scene", kx::Job::kSceneOffset, kx::Job::kSceneMaxUnits - 1, false},
    {"the job's image", kx::Job::kImageOffset, kx::Job::kImageMaxUnits - 1, false},
    {"the job's image extension", kx::Job::kImageExtensionOffset, kx::Job::kImageExtensionMaxUnits - 1, false},
    {"the job's info text", kx::Job::kInfoTextOffset, kx::Job::kInfoTextMaxUnits - 1, false},
    {"the job's recipient list", kx::Job::kRecipientListOffset, kx::Job::kRecipientListMaxUnits, false},
    {"client render01's message box", kx::Client::kMessageBoxOffset, kx::Client::MessageBoxField::capacity(), true},
};
} // namespace

void checkBadLengths(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    JobEvent event;
    event.recipients = QStringLiteral("render01;render03");

    int cases = 0;
    for (const StoredLength &field : kFields) {
        for (const int length : {field.capacity + 1, 0xFFFF}) {
            const QString what = QStringLiteral("%1 holding a stored length of %2 (capacity %3)")
                                     .arg(QLatin1String(field.field))
                                     .arg(length)
                                     .arg(field.capacity);
            context.step(QStringLiteral("pNotify with ") + what);
            RecordArena arena;
            FarmLayout layout;
            // The recipient list is the one job text followed by bytes no plug-in reads.
            layout.guardBehindRecipients = field.offset == kx::Job::kRecipientListOffset;
            CheckFarm farm(arena, kClients, layout);
            farm.setJob(event);
            unsigned char *record = field.inMessageBox ? farm.client(0) : farm.job();
            kx::writeAt<quint16>(record, field.offset, quint16(length));
            const CheckFarm::Snapshot before = farm.snapshot();
            const CallOutcome outcome = farm.notify(*module);
            ++cases;
            if (outcome.exceptionLeft) {
                context.fail(QStringLiteral("%1 with %2").arg(outcome.describe(), what));
                continue;
            }
            const QString change = farm.firstChange(before, farm.snapshot(), kNamed);
            if (!change.isEmpty())
                context.fail(QStringLiteral("pNotify with %1: %2").arg(what, change));
            for (int i = 0; i < farm.clientCount(); ++i) {
                const quint16 stored = kx::readAt<quint16>(farm.client(i), kx::Client::kMessageBoxOffset);
                const bool unchanged = field.inMessageBox && i == 0 && stored == length;
                if (!unchanged && stored > kx::Client::MessageBoxField::capacity())
                    context.fail(QStringLiteral("pNotify with %1 left a message box length of %2").arg(what).arg(stored));
            }
        }
    }

    // Last: a plug-in without containment ends the process here.
    const QString what = QStringLiteral("a client pointer into an inaccessible page");
    context.step(QStringLiteral("pNotify with ") + what, Verdict::Warn);
    RecordArena arena;
    CheckFarm farm(arena, kClients);
    RecordArena gone;
    const PlacedRecord unreadable = gone.place(kx::Client::kRecordSize);
    gone.retire();
    farm.setClientPointer(1, unreadable.bytes);
    event.recipients = QStringLiteral("render01;render02;render03");
    farm.setJob(event);
    const CallOutcome outcome = farm.notify(*module);
    if (outcome.exceptionLeft || (outcome.result != kx::ResultExceptionCaught && outcome.result != kx::ResultSuccess))
        context.fail(QStringLiteral("%1 with %2, not 6").arg(outcome.describe(), what));
    context.passWith(QStringLiteral("%1 lengths above capacity read and written within the fields; %2")
                         .arg(cases)
                         .arg(outcome.result == kx::ResultExceptionCaught
                                  ? QStringLiteral("6 for an unreadable client")
                                  : QStringLiteral("an unreadable client left unread")));
}

} // namespace kx::check
