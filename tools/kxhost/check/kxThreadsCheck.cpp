// Calls for different jobs on different threads never meet inside a plug-in:
// each thread's farm ends as it does when its calls run alone.
#include "kxCheckContext.h"
#include "kxCheckFarm.h"
#include "kxCheckSuite.h"

#include "kxPluginModule.h"

#include <atomic>
#include <thread>

namespace kx::check {

namespace {
constexpr int kCallsPerThread = 1000;

QStringList clientsOf(int thread)
{
    return {QStringLiteral("t%1-a").arg(thread), QStringLiteral("t%1-b").arg(thread), QStringLiteral("t%1-c").arg(thread)};
}

JobEvent eventOf(int thread, int call)
{
    JobEvent event;
    event.idLetter = quint8(1 + thread % 200);
    event.idNumber = quint32(10000 * (call + 1) + thread);
    event.scene = QStringLiteral("/projects/thread%1/shot%2.scn").arg(thread).arg(call);
    event.image = QStringLiteral("/renders/thread%1/shot%2_####").arg(thread).arg(call);
    event.recipients = call % 3 == 2 ? QString() : QStringLiteral("t%1-a;t%1-c").arg(thread);
    return event;
}

struct Run
{
    std::vector<int> results;
    std::vector<LogLine> lines;
    QStringList boxes;
    QString exception;
};

// The thread's calls on its farm; `start` holds them until every thread is ready.
void runCalls(const server::PluginModule &module, CheckFarm &farm, int thread, Run &run,
              const std::atomic<bool> *start)
{
    while (start && !start->load())
        std::this_thread::yield();
    for (int call = 0; call < kCallsPerThread; ++call) {
        farm.setJob(eventOf(thread, call));
        const CallOutcome outcome = farm.notify(module);
        if (outcome.exceptionLeft && run.exception.isEmpty())
            run.exception = outcome.describe();
        run.results.push_back(outcome.result);
    }
}

void collect(CheckFarm &farm, Run &run)
{
    for (LogLine line : farm.log().lines) {
        line.text = withTimesMasked(line.text);
        run.lines.push_back(line);
    }
    for (int i = 0; i < farm.clientCount(); ++i)
        run.boxes.append(withTimesMasked(farm.messageBox(i)));
}
} // namespace

void checkThreads(CheckContext &context)
{
    const auto module = context.loadPlugin();
    if (!module)
        return;
    const int threads = context.options().threads;
    kxSetFixedCurrentTime(1709647650000);

    context.step(QStringLiteral("the calls of each thread's farm alone, one thread after the other"));
    std::vector<Run> alone(std::size_t(threads), Run{});
    for (int t = 0; t < threads; ++t) {
        RecordArena arena;
        CheckFarm farm(arena, clientsOf(t));
        runCalls(*module, farm, t, alone[std::size_t(t)], nullptr);
        collect(farm, alone[std::size_t(t)]);
    }

    context.step(QStringLiteral("%1 threads x %2 calls at once").arg(threads).arg(kCallsPerThread));
    RecordArena arena;
    std::vector<std::unique_ptr<CheckFarm>> farms;
    for (int t = 0; t < threads; ++t)
        farms.push_back(std::make_unique<CheckFarm>(arena, clientsOf(t)));
    std::vector<Run> together(std::size_t(threads), Run{});
    std::atomic<bool> start{false};
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back(runCalls, std::cref(*module), std::ref(*farms[std::size_t(t)]), t,
                             std::ref(together[std::size_t(t)]), &start);
    start = true;
    for (std::thread &thread : running)
        thread.join();
    kxSetFixedCurrentTime(0);

    for (int t = 0; t < threads; ++t) {
        Run &run = together[std::size_t(t)];
        const Run &expected = alone[std::size_t(t)];
        collect(*farms[std::size_t(t)], run);
        if (!run.exception.isEmpty() || !expected.exception.isEmpty()) {
            context.fail(QStringLiteral("thread %1: %2").arg(t + 1).arg(run.exception.isEmpty() ? expected.exception : run.exception));
            continue;
        }
        for (int call = 0; call < kCallsPerThread; ++call) {
            if (run.results[std::size_t(call)] != expected.results[std::size_t(call)]) {
                context.fail(QStringLiteral("thread %1, call %2: pNotify returned %3, alone %4")
                                 .arg(t + 1)
                                 .arg(call + 1)
                                 .arg(run.results[std::size_t(call)])
                                 .arg(expected.results[std::size_t(call)]));
                break;
            }
        }
        if (!(run.lines == expected.lines))
            context.fail(QStringLiteral("thread %1: the log lines differ from those of its calls alone").arg(t + 1));
        if (run.boxes != expected.boxes)
            context.fail(QStringLiteral("thread %1: the message boxes differ from those of its calls alone").arg(t + 1));
    }
    context.passWith(QStringLiteral("%1 threads x %2 calls: every result, log line and box as with the calls alone")
                         .arg(threads)
                         .arg(kCallsPerThread));
}

} // namespace kx::check
