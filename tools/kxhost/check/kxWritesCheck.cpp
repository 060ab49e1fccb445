// A plug-in owns nothing of the server's but the message boxes of the clients
// a job names, and those only to append to.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

namespace kx::check {

void checkWrites(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    RecordArena arena;
    const QStringList clients = {QStringLiteral("render01"), QStringLiteral("render02"), QStringLiteral("render03")};
    const FarmLayout layout;
    CheckFarm farm(arena, clients, layout);
    JobEvent event;
    event.recipients = QStringLiteral("render01;render03");
    farm.setJob(event);
    const std::vector<bool> named = {true, false, true};

    context.step(QStringLiteral("pNotify for a job naming two of three clients, every record against an "
                                "inaccessible page"));
    const CheckFarm::Snapshot before = farm.snapshot();
    const CallOutcome outcome = farm.notify(*module);
    if (outcome.exceptionLeft || outcome.result != kx::ResultSuccess) {
        context.fail(outcome.describe() + QStringLiteral(" for a job naming two of three clients, not 1"));
        return;
    }
    const QString change = farm.firstChange(before, farm.snapshot(), named);
    if (!change.isEmpty())
        context.fail(QStringLiteral("pNotify wrote where it must not: ") + change);

    QStringList changedBoxes;
    for (int i = 0; i < farm.clientCount(); ++i) {
        const auto box = kx::stringField<kx::Client::MessageBoxField>(farm.client(i), kx::Client::kMessageBoxOffset);
        const QString text = box.text();
        if (text == layout.earlierMessage)
            continue;
        changedBoxes.append(clients[i]);
        if (box.storedLength() > kx::Client::MessageBoxField::capacity())
            context.fail(QStringLiteral("%1's message box holds a length of %2, above its capacity of 2500")
                             .arg(clients[i])
                             .arg(box.storedLength()));
        else if (!text.startsWith(layout.earlierMessage) || text.size() <= layout.earlierMessage.size())
            context.fail(QStringLiteral("%1's message box lost its earlier text instead of being appended to")
                             .arg(clients[i]));
    }
    if (changedBoxes.size() == 1)
        context.warn(QStringLiteral("only %1's message box changed of the two named").arg(changedBoxes.first()));
    context.passWith(changedBoxes.isEmpty()
                         ? QStringLiteral("nothing of the server's written (no message box changed)")
                         : QStringLiteral("appended to the two named boxes; no other byte of the server's changed"));
}

} // namespace kx::check
