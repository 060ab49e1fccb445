// pInit and pExit serve the server's loading and unloading; a server may call
// them in any order and any number of times, around every other call.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

#include <cstring>

namespace kx::check {

void checkInitExit(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    RecordArena arena;
    CheckFarm farm(arena, {QStringLiteral("render01")});
    JobEvent event;
    event.recipients = QStringLiteral("render01");
    farm.setJob(event);

    enum Call { Init, Exit, Info, Notify };
    static const Call sequence[] = {Exit, Exit, Init, Init, Init, Exit, Info, Notify,
                                    Init, Notify, Exit, Info, Exit, Init, Exit};
    int number = 0;
    int judged = 0;
    for (Call call : sequence) {
        ++number;
        if (call == Info) {
            context.step(QStringLiteral("pInfo as call %1 of the sequence").arg(number));
            unsigned char info[kx::PluginInfo::kRecordSize] = {};
            kx::writeAt<quint16>(info, kx::PluginInfo::kVersionOffset, kx::PluginInfo::kRecordVersion);
            kx::writeAt(info, kx::PluginInfo::kSdkPointerOffset, farm.sdkInterface());
            module->info(reinterpret_cast<_kxPluginInfo *>(info));
            continue;
        }
        if (call == Notify) {
            context.step(QStringLiteral("pNotify as call %1 of the sequence").arg(number));
            const CallOutcome outcome = farm.notify(*module);
            if (outcome.exceptionLeft)
                context.fail(outcome.describe() + QStringLiteral(" as call %1 of the sequence").arg(number));
            continue;
        }
        const QString name = call == Init ? QStringLiteral("pInit") : QStringLiteral("pExit");
        context.step(QStringLiteral("%1 as call %2 of the sequence").arg(name).arg(number));
        int result = 0;
        try {
            result = call == Init ? module->init() : module->exit();
        } catch (...) {
            context.fail(QStringLiteral("an exception left %1 as call %2 of the sequence").arg(name).arg(number));
            continue;
        }
        ++judged;
        if (result != kx::ResultSuccess)
            context.fail(QStringLiteral("%1 returned %2 as call %3 of the sequence").arg(name).arg(result).arg(number));
    }
    context.passWith(QStringLiteral("1 from each of %1 calls, pExit first, repeated, around pInfo and pNotify")
                         .arg(judged));
}

} // namespace kx::check
