// PLATFORM FILE (POSIX): the resident fault trap. The handlers are installed
// once per process, on the first guarded call, and never swapped or removed;
// a guarded call only links a record on its own stack into this thread's
// chain, with no lock and no system call.
//
// A fault is taken as a guarded call's own only if the kernel raised it for
// the faulting instruction, the thread's innermost record still holds the
// bytes it was sealed with, and the faulting stack pointer lies below that
// record, inside the call's frames. On processors whose interrupted stack
// pointer this file does not read, no fault is taken as a call's own.
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
#include <signal.h>
#include <ucontext.h>

namespace {

constexpr int kTrappedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kTrappedSignalCount = int(sizeof kTrappedSignals / sizeof kTrappedSignals[0]);

// Initial-exec TLS: reading it in the handler needs no allocation and no lock.
__attribute__((tls_model("initial-exec"))) thread_local kxFaultTrapRecord *innermostCall = nullptr;
// The cancellation state the thread had before its outermost guarded call.
__attribute__((tls_model("initial-exec"))) thread_local int stateBeforeOutermostCall = PTHREAD_CANCEL_ENABLE;

#if defined(__GLIBC__)
// The cleanup entries of the thread that glibc's longjmp and thread exit run.
// Exported by every glibc since 2.2.5; no longer declared in its headers.
extern "C" void _pthread_cleanup_push(_pthread_cleanup_buffer *buffer, void (*routine)(void *), void *argument);
extern "C" void _pthread_cleanup_pop(_pthread_cleanup_buffer *buffer, int execute);
#endif

pthread_once_t installOnce = PTHREAD_ONCE_INIT;
struct sigaction previousActions[kTrappedSignalCount]; // written once, before our handler can run
std::uint64_t sealKey;                                 // written once, before the first record is sealed

// Every register a jump would restore (the C libraries keep them at the
// start of the buffer), the link to the enclosing call and the state to put
// back: what must be intact for a jump to land where the call began.
#if defined(__x86_64__)
constexpr std::size_t kSealedJumpBytes = 8 * 8;  // rbx rbp r12-r15 rsp pc
#elif defined(__aarch64__)
constexpr std::size_t kSealedJumpBytes = 22 * 8; // x19-x30 sp d8-d15
#elif defined(__i386__)
constexpr std::size_t kSealedJumpBytes = 6 * 4;  // ebx esi edi ebp esp pc
#else
constexpr std::size_t kSealedJumpBytes = sizeof(sigjmp_buf) < 64 ? sizeof(sigjmp_buf) / 8 * 8 : 64;
#endif
static_assert(kSealedJumpBytes <= sizeof(sigjmp_buf), "the sealed registers lie inside the jump buffer");
static_assert(kSealedJumpBytes % sizeof(std::uint64_t) == 0, "the sealed registers are whole words");

constexpr std::size_t kSealedJumpWords = kSealedJumpBytes / sizeof(std::uint64_t);

std::uint64_t sealOf(const kxFaultTrapRecord *record) noexcept
{
    std::uint64_t words[kSealedJumpWords + 2] = {};
    std::memcpy(words, &record->resume, kSealedJumpBytes);
    std::memcpy(&words[kSealedJumpWords], &record->outer, sizeof record->outer);
    std::memcpy(&words[kSealedJumpWords + 1], &record->previousCancelState, sizeof record->previousCancelState);
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

// The stack pointer of the interrupted code, or 0 where it is not known: the
// handler's own frame is no stand-in, as it may run on an alternate stack.
std::uintptr_t faultingStackPointer(const void *context) noexcept
{
    const auto *ucontext = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    return std::uintptr_t(ucontext->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
    return std::uintptr_t(ucontext->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
    return std::uintptr_t(ucontext->uc_mcontext.sp);
#else
    (void)ucontext;
    return 0;
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

// A fault of the interrupted instruction: returning from the handler would
// raise it again. A machine-check error reported in advance (memory found
// bad that nothing is reading now) is none, though the kernel sends it.
bool isFaultOfInstruction(int signalNumber, const siginfo_t *info) noexcept
{
#if defined(BUS_MCEERR_AO)
    if (signalNumber == SIGBUS && info && info->si_code == BUS_MCEERR_AO)
        return false;
#else
    (void)signalNumber;
#endif
    return isRaisedByKernel(info);
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
        // The kernel would not have blocked the signal for such a handler.
        if ((previous.sa_flags & SA_NODEFER) && !sigismember(&previous.sa_mask, signalNumber)) {
            sigset_t self;
            sigemptyset(&self);
            sigaddset(&self, signalNumber);
            pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
        }
        if (previous.sa_flags & SA_SIGINFO)
            previous.sa_sigaction(signalNumber, info, context);
        else
            previous.sa_handler(signalNumber);
        return;
    }
    // A fault cannot be ignored: returning would repeat it forever.
    const bool repeatsOnReturn = isFaultOfInstruction(signalNumber, info);
    if (previous.sa_handler == SIG_IGN && !repeatsOnReturn)
        return;
    // The default action ends the process: put it in place and let the signal
    // happen again, by repeating the faulting access or by raising it anew
    // (it stays pending until this handler returns).
    resetToDefaultAction(signalNumber);
    if (!repeatsOnReturn)
        raise(signalNumber);
}

void onTrappedSignal(int signalNumber, siginfo_t *info, void *context)
{
    const std::uintptr_t stackPointer = context ? faultingStackPointer(context) : 0;
    if (isFaultOfInstruction(signalNumber, info) && stackPointer != 0) {
        if (kxFaultTrapRecord *call = callOwningFault(stackPointer)) {
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
    // All previous actions are in place before the first of ours can run: a
    // fault on another thread meanwhile finds the one it must be passed to.
    for (int i = 0; i < kTrappedSignalCount; ++i)
        sigaction(kTrappedSignals[i], nullptr, &previousActions[i]);
    for (int i = 0; i < kTrappedSignalCount; ++i)
        sigaction(kTrappedSignals[i], &ours, nullptr);
}

constexpr int kNoCancelState = -1;

// Last: a pending asynchronous cancellation acts in here. A record's state is
// put back once, however many ways its call ends.
void restoreCancelState(kxFaultTrapRecord *record)
{
    const int state = record->previousCancelState;
    record->previousCancelState = kNoCancelState;
    if (state != kNoCancelState)
        pthread_setcancelstate(state, nullptr);
}

#if defined(__GLIBC__)
// Run by longjmp for a call it jumps out of.
void endCallLeftByJump(void *argument)
{
    auto *record = static_cast<kxFaultTrapRecord *>(argument);
    innermostCall = record->outer;
    restoreCancelState(record);
}
#endif

} // namespace

void kxFaultTrapEnter(kxFaultTrapRecord *record)
{
    pthread_once(&installOnce, installHandlers);
    // Calls still running lie above this frame; a record at or below it was
    // left by a non-local exit.
    const kxFaultTrapRecord *const callsBefore = innermostCall;
    kxFaultTrapRecord *outer = innermostCall;
    while (outer && addressOf(outer) <= addressOf(record))
        outer = isSealed(outer) ? outer->outer : nullptr;
    if (outer && !isSealed(outer))
        outer = nullptr;
    int previousState = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previousState);
    if (!outer) {
        // Calls left by an exit the C library did not see kept cancellation
        // disabled; the server's own state is the one from before them.
        if (callsBefore && previousState == PTHREAD_CANCEL_DISABLE)
            previousState = stateBeforeOutermostCall;
        stateBeforeOutermostCall = previousState;
    }
    record->previousCancelState = previousState;
    record->outer = outer;
    record->seal = sealOf(record);
#if defined(__GLIBC__)
    _pthread_cleanup_push(&record->leftByJump, endCallLeftByJump, record);
    // The entry below ours belongs to a call left by an exit the C library
    // did not see (a context switch, a jump of the compiler's): its frame is
    // gone, and a thread exit must not run it. Live entries lie above.
    if (record->leftByJump.__prev && addressOf(record->leftByJump.__prev) <= addressOf(&record->leftByJump))
        record->leftByJump.__prev = outer ? &outer->leftByJump : nullptr;
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
    restoreCancelState(record);
}
