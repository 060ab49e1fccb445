// PLATFORM FILE (POSIX): memory-fault containment with signal handlers and
// sigsetjmp/siglongjmp. The only place in the plug-in that uses POSIX calls.
//
// The handler is installed when the first contained call on any thread
// begins and the server's own handler is put back when the last one ends, so
// between calls the process runs with exactly the handlers the server set.
// A fault is contained only if it is raised by the kernel (not by kill or
// raise) on a thread that is inside a contained call; everything else goes to
// the server's handler as if ours were not there.
#include "faultGuard.h"

#include "kxNotifyPluginApi.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

#include <pthread.h>

namespace {

constexpr int kContainedSignals[] = {SIGSEGV, SIGBUS};
constexpr int kContainedSignalCount = int(sizeof kContainedSignals / sizeof kContainedSignals[0]);

// One contained call on one thread; nested calls chain to the outer one.
struct ContainedCall
{
    sigjmp_buf resume;
    ContainedCall *outer;
};

// Initial-exec TLS: reading it in the handler needs no allocation, so it is
// safe on a thread that never made a contained call.
#if defined(__GNUC__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local ContainedCall *currentCall = nullptr;

std::mutex installMutex;
int activeCalls = 0;                                   // guarded by installMutex
struct sigaction serverActions[kContainedSignalCount]; // what the server had installed

int indexOfSignal(int signalNumber) noexcept
{
    for (int i = 0; i < kContainedSignalCount; ++i) {
        if (kContainedSignals[i] == signalNumber)
            return i;
    }
    return -1;
}

bool isRaisedByKernel(const siginfo_t *info) noexcept
{
    return info && info->si_code > 0;
}

void resetToDefaultAction(int signalNumber) noexcept
{
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
}

// Passes a signal we do not contain on to the server's handler, or lets the
// default action happen.
void forwardToServer(int signalNumber, siginfo_t *info, void *context) noexcept
{
    const int index = indexOfSignal(signalNumber);
    if (index < 0)
        return;
    const struct sigaction &server = serverActions[index];
    // SIG_IGN and SIG_DFL mean the same with or without SA_SIGINFO.
    if (server.sa_handler != SIG_IGN && server.sa_handler != SIG_DFL) {
        // A one-shot handler runs with the default action back in place, so
        // that the repeated fault or its own raise ends the process rather
        // than coming round to it again.
        if (server.sa_flags & SA_RESETHAND)
            resetToDefaultAction(signalNumber);
        pthread_sigmask(SIG_BLOCK, &server.sa_mask, nullptr);
        if (server.sa_flags & SA_SIGINFO)
            server.sa_sigaction(signalNumber, info, context);
        else
            server.sa_handler(signalNumber);
        return;
    }
    // A fault cannot be ignored: returning would repeat it forever.
    if (server.sa_handler == SIG_IGN && !isRaisedByKernel(info))
        return;
    // The default action ends the process: put it in place and let the signal
    // happen again, by repeating the faulting access or by raising it anew.
    resetToDefaultAction(signalNumber);
    if (!isRaisedByKernel(info))
        raise(signalNumber);
}

void onMemoryFault(int signalNumber, siginfo_t *info, void *context)
{
    ContainedCall *call = currentCall;
    if (call && isRaisedByKernel(info)) {
        // Disarm first: a fault while leaving must not jump back here.
        currentCall = call->outer;
        siglongjmp(call->resume, 1);
    }
    forwardToServer(signalNumber, info, context);
}

bool isOurs(const struct sigaction &action) noexcept
{
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == onMemoryFault;
}

void installHandlers()
{
    const std::lock_guard<std::mutex> lock(installMutex);
    if (activeCalls++ > 0)
        return;
    struct sigaction ours = {};
    ours.sa_sigaction = onMemoryFault;
    ours.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&ours.sa_mask);
    for (int i = 0; i < kContainedSignalCount; ++i)
        sigaction(kContainedSignals[i], &ours, &serverActions[i]);
}

void restoreHandlers()
{
    const std::lock_guard<std::mutex> lock(installMutex);
    if (--activeCalls > 0)
        return;
    for (int i = 0; i < kContainedSignalCount; ++i) {
        // A server that replaced our handler meanwhile keeps its own choice.
        struct sigaction current = {};
        sigaction(kContainedSignals[i], nullptr, &current);
        if (isOurs(current))
            sigaction(kContainedSignals[i], &serverActions[i], nullptr);
    }
}

} // namespace

int kx::runFaultContained(ContainedWork work, void *context) noexcept
{
    installHandlers();
    ContainedCall call;
    call.outer = currentCall;
    if (sigsetjmp(call.resume, 1) != 0) {
        // Back from a contained fault; the handler already disarmed the call.
        restoreHandlers();
        return ResultExceptionCaught;
    }
    currentCall = &call;
    const int result = work(context);
    currentCall = call.outer;
    restoreHandlers();
    return result;
}
