// PLATFORM FILE (POSIX): the resident fault trap. The handlers are installed
// once per process, on the first guarded call, and never swapped or removed;
// a guarded call only links a record on its own stack into this thread's
// chain, with no lock and no system call.
//
// A fault is taken as a guarded call's own only if the kernel raised it, the
// thread's innermost record still holds the bytes it was sealed with, and the
// faulting stack pointer lies below that record, inside the call's frames.
// A call left by a non-local exit is ended by the C library's longjmp itself
// where it runs the thread's cleanup entries (glibc); elsewhere, or for other
// jumps, its record lies above the code that runs afterwards, or has been
// written over by it: either way it is passed over. Everything else goes to
// the handler that was installed before ours, as the kernel would have
// delivered it.
#include "faultTrap_posix.h"

#include <csignal>
#include <cstddef>
#include <cstring>

#include <pthread.h>
#include <ucontext.h>

namespace {

constexpr int kTrappedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kTrappedSignalCount = int(sizeof kTrappedSignals / sizeof kTrappedSignals[0]);

// Initial-exec TLS: reading it in the handler needs no allocation and no lock.
__attribute__((tls_model("initial-exec"))) thread_local kxFaultTrapRecord *innermostCall = nullptr;

#if defined(__GLIBC__)
// The cleanup entries of the thread that glibc's longjmp and thread exit run.
// Exported by every glibc since 2.2.5; no longer declared in its headers.
extern "C" void _pthread_cleanup_push(_pthread_cleanup_buffer *buffer, void (*routine)(void *), void *argument);
extern "C" void _pthread_cleanup_pop(_pthread_cleanup_buffer *buffer, int execute);
#endif

pthread_once_t installOnce = PTHREAD_ONCE_INIT;
struct sigaction previousActions[kTrappedSignalCount]; // written once, before our handler can run
std::uint64_t sealKey = 0;                             // written once, before the first record is sealed

// The registers a jump would restore (the C libraries keep them at the start
// of the buffer) and the link to the enclosing call: what must be intact for
// a jump to land where the call began.
constexpr std::size_t kSealedJumpBytes = sizeof(sigjmp_buf) < 64 ? sizeof(sigjmp_buf) : 64;

std::uint64_t sealOf(const kxFaultTrapRecord *record) noexcept
{
    std::uint64_t words[kSealedJumpBytes / sizeof(std::uint64_t) + 1] = {};
    std::memcpy(words, &record->resume, kSealedJumpBytes);
    std::memcpy(&words[kSealedJumpBytes / sizeof(std::uint64_t)], &record->outer, sizeof record->outer);
    std::uint64_t hash = sealKey;
    for (const std::uint64_t word : words) {
        hash = (hash ^ word) * 0x100000001B3ull;
        hash ^= hash >> 29;
    }
    return hash;
}

bool isSealed(const kxFaultTrapRecord *record) noexcept
{
    return record->seal == sealOf(record);
}

std::uintptr_t addressOf(const void *pointer) noexcept
{
    return reinterpret_cast<std::uintptr_t>(pointer);
}

// The stack pointer of the interrupted code.
std::uintptr_t faultingStackPointer(const void *context, [[maybe_unused]] const void *handlerFrame) noexcept
{
    const auto *ucontext = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    return std::uintptr_t(ucontext->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
    return std::uintptr_t(ucontext->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
    return std::uintptr_t(ucontext->uc_mcontext.sp);
#else
    // Without an alternate stack the handler runs just below the faulting code.
    (void)ucontext;
    return addressOf(handlerFrame);
#endif
}

// The live guarded call that a fault at stackPointer belongs to, if any.
kxFaultTrapRecord *callOwningFault(std::uintptr_t stackPointer) noexcept
{
    for (kxFaultTrapRecord *record = innermostCall; record; record = record->outer) {
        if (!isSealed(record))
            return nullptr;
        if (stackPointer < addressOf(record))
            return record;
        // The fault lies above this call's frame: the call was abandoned, an
        // enclosing one may still be running.
    }
    return nullptr;
}

void resetToDefaultAction(int signalNumber) noexcept
{
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
}

bool isRaisedByKernel(const siginfo_t *info) noexcept
{
    return info && info->si_code > 0;
}

// Hands a signal that is not a guarded call's own to the handler installed
// before ours, or lets its default action happen.
void forwardToPrevious(int signalNumber, siginfo_t *info, void *context)
{
    int index = 0;
    while (index < kTrappedSignalCount && kTrappedSignals[index] != signalNumber)
        ++index;
    if (index == kTrappedSignalCount)
        return;
    const struct sigaction &previous = previousActions[index];
    // SIG_IGN and SIG_DFL mean the same with or without SA_SIGINFO.
    if (previous.sa_handler != SIG_IGN && previous.sa_handler != SIG_DFL) {
        // A one-shot handler runs with the default action back in place, so
        // that the repeated fault or its own raise ends the process rather
        // than coming round to it again.
        if (previous.sa_flags & SA_RESETHAND)
            resetToDefaultAction(signalNumber);
        pthread_sigmask(SIG_BLOCK, &previous.sa_mask, nullptr);
        if (previous.sa_flags & SA_SIGINFO)
            previous.sa_sigaction(signalNumber, info, context);
        else
            previous.sa_handler(signalNumber);
        return;
    }
    // A fault cannot be ignored: returning would repeat it forever.
    if (previous.sa_handler == SIG_IGN && !isRaisedByKernel(info))
        return;
    // The default action ends the process: put it in place and let the signal
    // happen again, by repeating the faulting access or by raising it anew.
    resetToDefaultAction(signalNumber);
    if (!isRaisedByKernel(info))
        raise(signalNumber);
}

void onTrappedSignal(int signalNumber, siginfo_t *info, void *context)
{
    if (isRaisedByKernel(info) && context) {
        const int handlerFrame = 0;
        if (kxFaultTrapRecord *call = callOwningFault(faultingStackPointer(context, &handlerFrame))) {
            innermostCall = call->outer;
            // The jump buffer keeps no signal mask (saving one costs a system
            // call on every guarded call); the mask of the faulting code is
            // put back here instead, which unblocks this signal again.
            pthread_sigmask(SIG_SETMASK, &static_cast<ucontext_t *>(context)->uc_sigmask, nullptr);
            siglongjmp(call->resume, 1);
        }
    }
    forwardToPrevious(signalNumber, info, context);
}

void installHandlers()
{
    sealKey = addressOf(&previousActions) * 0x9E3779B97F4A7C15ull ^ 0x6B78547261702031ull;
    struct sigaction ours = {};
    ours.sa_sigaction = onTrappedSignal;
    ours.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&ours.sa_mask);
    for (int i = 0; i < kTrappedSignalCount; ++i)
        sigaction(kTrappedSignals[i], &ours, &previousActions[i]);
}

// Run by longjmp for a call it jumps out of.
void endCallLeftByJump(void *record)
{
    innermostCall = static_cast<kxFaultTrapRecord *>(record)->outer;
}

} // namespace

void kxFaultTrapEnter(kxFaultTrapRecord *record)
{
    pthread_once(&installOnce, installHandlers);
    // Calls still running lie above this frame; a record at or below it was
    // left by a non-local exit.
    kxFaultTrapRecord *outer = innermostCall;
    while (outer && addressOf(outer) <= addressOf(record))
        outer = isSealed(outer) ? outer->outer : nullptr;
    if (outer && !isSealed(outer))
        outer = nullptr;
    record->outer = outer;
    record->seal = sealOf(record);
#if defined(__GLIBC__)
    _pthread_cleanup_push(&record->leftByJump, endCallLeftByJump, record);
#endif
    innermostCall = record;
}

void kxFaultTrapLeave(kxFaultTrapRecord *record)
{
#if defined(__GLIBC__)
    _pthread_cleanup_pop(&record->leftByJump, 0);
#endif
    // Also drops inner records that a non-local exit left behind.
    innermostCall = record->outer;
}
