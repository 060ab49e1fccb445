// A plug-in keeps nothing between calls: the same event on fresh records
// gives the same result, log lines and boxes, however the calls before went,
// and no call reaches back into records of a call that has returned.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

namespace kx::check {

namespace {
const QStringList kClients = {QStringLiteral("render01"), QStringLiteral("render02"), QStringLiteral("render03")};

struct Seen
{
    CallOutcome outcome;
    std::vector<LogLine> lines;
    QStringList boxes;
};

Seen notifyOnFreshRecords(const server::PluginModule &module, RecordArena &arena, const JobEvent &event)
{
    CheckFarm farm(arena, kClients);
    farm.setJob(event);
    Seen seen;
    seen.outcome = farm.notify(module);
    for (LogLine line : farm.log().lines) {
        line.text = withTimesMasked(line.text);
        seen.lines.push_back(line);
    }
    for (int i = 0; i < farm.clientCount(); ++i)
        seen.boxes.append(withTimesMasked(farm.messageBox(i)));
    // Freed as a server frees them: a pointer kept into them now faults.
    arena.retire();
    return seen;
}
} // namespace

void checkNoState(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    kxSetFixedCurrentTime(1709647650000);
    RecordArena arena;
    JobEvent event;
    event.recipients = QStringLiteral("render01;render03");
    JobEvent other;
    other.idLetter = 7;
    other.idNumber = 7654321;
    other.scene = QStringLiteral("/projects/other/shot990.scn");
    other.recipients = QStringLiteral("render02");

    context.step(QStringLiteral("pNotify for a job naming two clients"));
    const Seen first = notifyOnFreshRecords(*module, arena, event);
    context.step(QStringLiteral("pNotify for another job, on fresh records, the first call's made inaccessible"));
    const Seen between = notifyOnFreshRecords(*module, arena, other);
    context.step(QStringLiteral("pNotify for the first job again, on fresh records, the earlier calls' made inaccessible"));
    const Seen again = notifyOnFreshRecords(*module, arena, event);
    kxSetFixedCurrentTime(0);

    for (const Seen *seen : {&first, &between, &again}) {
        if (seen->outcome.exceptionLeft) {
            context.fail(seen->outcome.describe());
            return;
        }
    }
    if (again.outcome.result != first.outcome.result)
        context.fail(QStringLiteral("the same event gave %1, then %2").arg(first.outcome.result).arg(again.outcome.result));
    if (again.lines.size() != first.lines.size())
        context.fail(QStringLiteral("the same event logged %1 lines, then %2").arg(first.lines.size()).arg(again.lines.size()));
    for (std::size_t i = 0; i < std::min(first.lines.size(), again.lines.size()); ++i) {
        if (!(first.lines[i] == again.lines[i])) {
            context.fail(QStringLiteral("the same event logged line %1 differently the second time").arg(i + 1));
            break;
        }
    }
    for (int i = 0; i < kClients.size(); ++i) {
        if (first.boxes[i] != again.boxes[i])
            context.fail(QStringLiteral("the same event left %1's message box differently the second time").arg(kClients[i]));
    }
    context.passWith(QStringLiteral("the same event twice: result %1, %2 log lines and the boxes alike (times masked)")
                         .arg(first.outcome.result)
                         .arg(first.lines.size()));
}

} // namespace kx::check
