// How long pNotify takes on the smallest and on the largest farm: a figure
// for the plug-in's author, no verdict.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxClientTableBuilder.h"
#include "kxPluginModule.h"

#include <QtCore/QElapsedTimer>

#include <algorithm>
#include <new>

namespace kx::check {

namespace {
qint64 medianNanoseconds(const server::PluginModule &module, CheckFarm &farm, int calls)
{
    std::vector<qint64> times;
    QElapsedTimer timer;
    for (int i = 0; i < calls; ++i) {
        timer.start();
        farm.notify(module);
        times.push_back(timer.nsecsElapsed());
    }
    std::nth_element(times.begin(), times.begin() + calls / 2, times.end());
    return times[std::size_t(calls / 2)];
}

QString duration(qint64 nanoseconds)
{
    return nanoseconds < 1000000 ? QStringLiteral("%1 us").arg(double(nanoseconds) / 1e3, 0, 'f', 1)
                                 : QStringLiteral("%1 ms").arg(double(nanoseconds) / 1e6, 0, 'f', 2);
}
} // namespace

void checkTiming(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    RecordArena arena;
    JobEvent event;

    context.step(QStringLiteral("pNotify timed on a farm of 1 client"));
    CheckFarm small(arena, {QStringLiteral("client00001")});
    small.log().keepsLines = false;
    event.recipients = QStringLiteral("client00001");
    small.setJob(event);
    const qint64 oneClient = medianNanoseconds(*module, small, 1001);

    context.step(QStringLiteral("pNotify timed on a farm of 32767 clients"));
    constexpr int kLargest = kx::ClientTable::kMaxClients;
    try {
        server::ClientTableBuilder table;
        for (int i = 1; i <= kLargest; ++i)
            table.addClient(QStringLiteral("client%1").arg(i, 5, 10, QLatin1Char('0')),
                            server::ClientTableBuilder::ClientRecord::Zeroed);
        CheckFarm large(arena, {});
        large.log().keepsLines = false;
        kx::writeAt(large.sdkObject(), kx::ServerSdk::kClientTableOffset, table.table());
        // The last client: every name of the table is compared.
        event.recipients = QStringLiteral("client%1").arg(kLargest);
        large.setJob(event);
        const qint64 allClients = medianNanoseconds(*module, large, 21);
        context.passWith(QStringLiteral("median %1 at 1 client, %2 at 32767 clients")
                             .arg(duration(oneClient), duration(allClients)));
    } catch (const std::bad_alloc &) {
        context.skip(QStringLiteral("median %1 at 1 client; no memory for 32767 clients").arg(duration(oneClient)));
    }
}

} // namespace kx::check
