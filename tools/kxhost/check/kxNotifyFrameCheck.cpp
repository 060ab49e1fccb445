// The frame of pNotify: what it must refuse before it touches anything, and
// that nothing but a result code leaves it.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

namespace kx::check {

namespace {
const QStringList kClients = {QStringLiteral("render01"), QStringLiteral("render02"), QStringLiteral("render03")};

// One call that must give `expected` and change nothing of the server's.
void expectRefusal(CheckContext &context, const server::PluginModule &module, CheckFarm &farm,
                   _kxNotifyParams *params, int expected, const QString &what)
{
    context.step(QStringLiteral("pNotify with ") + what);
    const CheckFarm::Snapshot before = farm.snapshot();
    const CallOutcome outcome = callNotify(module, params);
    if (outcome.exceptionLeft || outcome.result != expected) {
        context.fail(QStringLiteral("%1 for %2, not %3").arg(outcome.describe(), what).arg(expected));
        return;
    }
    const QString change = farm.firstChange(before, farm.snapshot(), {});
    if (!change.isEmpty())
        context.fail(QStringLiteral("pNotify with %1: %2").arg(what, change));
}
} // namespace

void checkNotifyFrame(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    RecordArena arena;
    CheckFarm farm(arena, kClients);
    JobEvent event;
    event.recipients = QStringLiteral("render01;render03");
    farm.setJob(event);
    unsigned char *const params = reinterpret_cast<unsigned char *>(farm.params());

    expectRefusal(context, *module, farm, nullptr, kx::ResultLayoutMismatch, QStringLiteral("a null call record"));
    for (const auto &[offset, what] : {std::pair{kx::NotifyParams::kSdkPointerOffset, "a null SDK pointer"},
                                       std::pair{kx::NotifyParams::kJobPointerOffset, "a null job pointer"}}) {
        void *const pointer = kx::readAt<void *>(params, offset);
        kx::writeAt<void *>(params, offset, nullptr);
        expectRefusal(context, *module, farm, farm.params(), kx::ResultLayoutMismatch, QLatin1String(what));
        kx::writeAt(params, offset, pointer);
    }

    int markers = 0;
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers) {
        for (const bool codeWrong : {true, false}) {
            const std::size_t offset = marker.codeOffset + (codeWrong ? 0 : 2);
            const quint16 kept = kx::readAt<quint16>(farm.job(), offset);
            kx::writeAt<quint16>(farm.job(), offset, codeWrong ? quint16(marker.code + 1) : 0);
            expectRefusal(context, *module, farm, farm.params(), kx::ResultLayoutMismatch,
                          codeWrong ? QStringLiteral("the job marker at byte %1 not %2").arg(offset).arg(marker.code)
                                    : QStringLiteral("the job marker word at byte %1 zero").arg(offset));
            kx::writeAt(farm.job(), offset, kept);
            ++markers;
        }
    }

    using namespace kx::ServerSdk;
    kx::writeAt<quint16>(farm.sdkObject(), kLayoutMarkerOffset, kLayoutMarker + 1);
    expectRefusal(context, *module, farm, farm.params(), kx::ResultLayoutMismatch,
                  QStringLiteral("the SDK object's marker at byte 30 not 24092"));
    kx::writeAt<quint16>(farm.sdkObject(), kLayoutMarkerOffset, kLayoutMarker);
    kx::writeAt<quint32>(farm.sdkObject(), kEndMarkerOffset, kEndMarker ^ 1);
    expectRefusal(context, *module, farm, farm.params(), kx::ResultLayoutMismatch,
                  QStringLiteral("the SDK object's end marker at byte 24188 not 0x0A23D23C"));
    kx::writeAt<quint32>(farm.sdkObject(), kEndMarkerOffset, kEndMarker);

    event.recipients.clear();
    farm.setJob(event);
    expectRefusal(context, *module, farm, farm.params(), kx::ResultNoRecipient, QStringLiteral("an empty recipient list"));

    // The log throws at each line in turn, as far as a call reaches.
    event.recipients = QStringLiteral("render01;render03");
    farm.setJob(event);
    int throwingLines = 0;
    for (int line = 0; line < 64; ++line) {
        context.step(QStringLiteral("pNotify with a log that throws at line %1").arg(line + 1));
        farm.log().throwAtLine = line;
        farm.log().lineCount = 0;
        const CallOutcome outcome = farm.notify(*module);
        const bool reached = farm.log().lineCount > line;
        farm.log().throwAtLine = -1;
        if (!reached)
            break;
        ++throwingLines;
        if (outcome.exceptionLeft || outcome.result != kx::ResultExceptionCaught)
            context.fail(QStringLiteral("%1 when the log threw at line %2, not 6").arg(outcome.describe()).arg(line + 1));
    }
    context.passWith(QStringLiteral("5 for a null call record, 2 null pointers, %1 wrong job markers and 2 wrong SDK "
                                    "markers; 14 without recipients; 6 for a log throwing at any of %2 lines")
                         .arg(markers)
                         .arg(throwingLines));
}

} // namespace kx::check
