// PLATFORM FILE (POSIX): the resident fault trap. The handlers are installed
// once per process, on the first guarded call, and never swapped or removed;
// a guarded call takes a record from its thread's storage, with no lock and
// no system call.
//
// The records live in storage the trap owns, never on a call's stack: a call
// left by a context switch, whose stack the server may free, leaves a record
// that can still be read. A call is closed only when it is proven over: it
// returned, its fault ended it, the C library's longjmp jumped past it, or,
// on the thread's own stack, code runs at or above its frame or has written
// over it. Calls on other stacks (a fiber's) are never judged by position
// against the thread's stack, nor the thread's against theirs.
//
// A fault is taken as a call's own only if the kernel raised it for the
// faulting instruction and the faulting stack pointer lies below the frame of
// an armed open call on the same kind of stack (the thread's own, or
// another); the innermost such call gets it. On processors whose interrupted
// stack pointer this file does not read, no fault is taken as a call's own.
// Everything else goes to the handler that was installed before ours, as the
// kernel would have delivered it.
#include "faultTrap_posix.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdlib>

#include <pthread.h>
#include <signal.h>
#include <ucontext.h>

#if defined(__clang__) || defined(__GNUC__)
#  define KX_READS_STACK __attribute__((no_sanitize("address")))
#else
#  define KX_READS_STACK
#endif

namespace {

struct Slot
{
    kxFaultTrapCall call; // first: a pointer to it is a pointer to the slot
    std::uintptr_t top;   // the call's frame record; the call's frames lie below it
    kxFaultTrapFrame *frame;
    std::uint64_t stamp;
    bool onThreadStack;
};

constexpr int kSlotsPerBlock = 16;

struct Block
{
    Slot slots[kSlotsPerBlock];
    std::uint32_t openMask; // bit i: slots[i] holds an open call
    Block *next;
};

struct ThreadCalls
{
    Block first;
    std::uintptr_t stackLow, stackHigh; // the thread's own stack, or empty if unknown
    int openCalls;
    int cancelStateBeforeCalls; // the state the last open call puts back
    std::uint64_t stampCount;
};

// Initial-exec TLS: reading it in the handler needs no allocation and no lock.
// Null until the thread's first call, and again once the thread has ended.
__attribute__((tls_model("initial-exec"))) thread_local ThreadCalls *threadCalls = nullptr;

#if defined(__GLIBC__)
// The cleanup entries of the thread that glibc's longjmp and thread exit run.
// Exported by every glibc since 2.2.5; no longer declared in its headers.
extern "C" void _pthread_cleanup_push(_pthread_cleanup_buffer *buffer, void (*routine)(void *), void *argument);
extern "C" void _pthread_cleanup_pop(_pthread_cleanup_buffer *buffer, int execute);
#endif

pthread_once_t installOnce = PTHREAD_ONCE_INIT;
pthread_key_t threadEndKey;
bool hasThreadEndKey = false;
// A signal the trap handles, and the action in place before ours (written
// once, before our handler can run).
struct TrappedSignal
{
    int number;
    struct sigaction previous;
    std::atomic<bool> oneShotSpent; // a one-shot previous handler has run
};
TrappedSignal trappedSignals[] = {{SIGSEGV, {}, {}}, {SIGBUS, {}, {}}, {SIGILL, {}, {}}, {SIGFPE, {}, {}}};
std::uint64_t stampKey; // written once, before the first stamp

std::uintptr_t addressOf(const void *pointer) noexcept
{
    return reinterpret_cast<std::uintptr_t>(pointer);
}

Slot *slotOf(kxFaultTrapCall *call) noexcept
{
    return reinterpret_cast<Slot *>(call);
}

// Calls f(slot) for every open call of the thread.
template <typename F>
void forEachOpen(ThreadCalls *calls, F &&f)
{
    for (Block *block = &calls->first; block; block = block->next) {
        for (std::uint32_t mask = block->openMask; mask; mask &= mask - 1)
            f(block->slots[__builtin_ctz(mask)]);
    }
}

// A slot's block and its bit in the block's mask; no block if the address is
// none of the thread's slots.
struct SlotPlace
{
    Block *block;
    std::uint32_t bit;
};

// Found by address alone: slot may come from a frame record that has been
// written over.
SlotPlace placeOf(ThreadCalls *calls, const Slot *slot) noexcept
{
    for (Block *block = &calls->first; block; block = block->next) {
        const std::uintptr_t offset = addressOf(slot) - addressOf(block->slots);
        if (offset < sizeof block->slots && offset % sizeof(Slot) == 0)
            return {block, 1u << (offset / sizeof(Slot))};
    }
    return {};
}

bool isOpen(ThreadCalls *calls, const Slot *slot) noexcept
{
    const SlotPlace place = placeOf(calls, slot);
    return place.block && (place.block->openMask & place.bit);
}

// Only for a call whose frame lies on the thread's own stack, mapped for the
// thread's life: has code that ran since written over the frame record? What
// lies there now may be anything, also memory a sanitizer has poisoned.
KX_READS_STACK bool isFrameIntact(const Slot &slot) noexcept
{
    return slot.frame->stamp == slot.stamp;
}

bool isOnThreadStack(const ThreadCalls *calls, std::uintptr_t address) noexcept
{
    return calls->stackLow <= address && address < calls->stackHigh;
}

void closeSlot(ThreadCalls *calls, Slot *slot) noexcept
{
    const SlotPlace place = placeOf(calls, slot);
    if (place.block) {
        place.block->openMask &= ~place.bit;
        --calls->openCalls;
    }
}

// Last: a pending asynchronous cancellation acts in here.
void putCancelStateBackIfLast(ThreadCalls *calls)
{
    if (calls->openCalls == 0)
        pthread_setcancelstate(calls->cancelStateBeforeCalls, nullptr);
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

// The open call that a fault at stackPointer belongs to, if any. Reads only
// the thread's records and frames on the thread's own stack.
Slot *callOwningFault(std::uintptr_t stackPointer) noexcept
{
    ThreadCalls *const calls = threadCalls;
    if (!calls)
        return nullptr;
    const bool onThreadStack = isOnThreadStack(calls, stackPointer);
    Slot *owner = nullptr;
    forEachOpen(calls, [&](Slot &slot) {
        if (!slot.call.armed || slot.onThreadStack != onThreadStack || stackPointer >= slot.top)
            return;
        if (onThreadStack && !isFrameIntact(slot))
            return;
        if (!owner || slot.top < owner->top)
            owner = &slot;
    });
    return owner;
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
    TrappedSignal *trapped = nullptr;
    for (TrappedSignal &candidate : trappedSignals) {
        if (candidate.number == signalNumber)
            trapped = &candidate;
    }
    if (!trapped)
        return;
    const struct sigaction &previous = trapped->previous;
    // SIG_IGN and SIG_DFL mean the same with or without SA_SIGINFO. A
    // one-shot handler runs once; after that the default action is in its
    // place, as the kernel would have put it, while ours stays for the calls.
    const bool isHandler = previous.sa_handler != SIG_IGN && previous.sa_handler != SIG_DFL;
    if (isHandler && !((previous.sa_flags & SA_RESETHAND) && trapped->oneShotSpent.exchange(true))) {
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
        if (Slot *call = callOwningFault(stackPointer)) {
            // The module closes the call when the jump lands. The jump buffer
            // keeps no signal mask (saving one costs a system call on every
            // guarded call); the mask of the faulting code is put back here
            // instead, which unblocks this signal again.
            call->call.armed = 0;
            pthread_sigmask(SIG_SETMASK, &static_cast<ucontext_t *>(context)->uc_sigmask, nullptr);
            siglongjmp(call->call.resume, 1);
        }
    }
    forwardToPrevious(signalNumber, info, context);
}

void freeThreadCalls(void *argument)
{
    auto *calls = static_cast<ThreadCalls *>(argument);
    threadCalls = nullptr;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    for (Block *block = calls->first.next; block;) {
        Block *const next = block->next;
        std::free(block);
        block = next;
    }
    std::free(calls);
}

void installHandlers()
{
    stampKey = addressOf(trappedSignals) * 0x9E3779B97F4A7C15ull ^ 0x6B78547261702033ull;
    hasThreadEndKey = pthread_key_create(&threadEndKey, freeThreadCalls) == 0;
    struct sigaction ours = {};
    ours.sa_sigaction = onTrappedSignal;
    ours.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&ours.sa_mask);
    // All previous actions are in place before the first of ours can run: a
    // fault on another thread meanwhile finds the one it must be passed to.
    for (TrappedSignal &trapped : trappedSignals)
        sigaction(trapped.number, nullptr, &trapped.previous);
    for (const TrappedSignal &trapped : trappedSignals)
        sigaction(trapped.number, &ours, nullptr);
}

// On the thread's first call: its records, and where its own stack lies (the
// C library's answer; for the main thread it reads the process's maps).
// Elsewhere the stack stays unknown and every call counts as on another stack.
ThreadCalls *startThread()
{
    auto *calls = static_cast<ThreadCalls *>(std::calloc(1, sizeof(ThreadCalls)));
    if (!calls || !hasThreadEndKey || pthread_setspecific(threadEndKey, calls) != 0) {
        std::free(calls);
        return nullptr;
    }
#if defined(__linux__)
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void *low = nullptr;
        std::size_t size = 0;
        if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
            calls->stackLow = addressOf(low);
            calls->stackHigh = addressOf(low) + size;
        }
        pthread_attr_destroy(&attributes);
    }
#endif
    std::atomic_signal_fence(std::memory_order_seq_cst);
    threadCalls = calls;
    return calls;
}

// The first free slot, in a block added at the end when every one is taken.
Slot *freeSlot(ThreadCalls *calls)
{
    for (Block *block = &calls->first;; block = block->next) {
        const std::uint32_t free = ~block->openMask & ((1u << kSlotsPerBlock) - 1);
        if (free)
            return &block->slots[__builtin_ctz(free)];
        if (!block->next) {
            auto *added = static_cast<Block *>(std::calloc(1, sizeof(Block)));
            if (!added)
                return nullptr;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            block->next = added;
        }
    }
}

void openSlot(ThreadCalls *calls, Slot *slot) noexcept
{
    const SlotPlace place = placeOf(calls, slot);
    if (place.block) {
        std::atomic_signal_fence(std::memory_order_seq_cst);
        place.block->openMask |= place.bit;
        ++calls->openCalls;
    }
}

#if defined(__GLIBC__)
// Run by longjmp for a call it jumps out of, and by a thread's exit for an
// entry still linked.
void endCallLeftByJump(void *argument)
{
    auto *frame = static_cast<kxFaultTrapFrame *>(argument);
    ThreadCalls *const calls = threadCalls;
    Slot *const slot = slotOf(frame->call);
    if (!calls || !isOpen(calls, slot) || slot->frame != frame)
        return;
    closeSlot(calls, slot);
    putCancelStateBackIfLast(calls);
}
#endif

} // namespace

kxFaultTrapCall *kxFaultTrapEnter(kxFaultTrapFrame *frame)
{
    pthread_once(&installOnce, installHandlers);
    int previousState = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previousState);
    ThreadCalls *const calls = threadCalls ? threadCalls : startThread();
    if (!calls) {
        pthread_setcancelstate(previousState, nullptr);
        return nullptr;
    }
    // Calls left by an exit the C library did not see kept cancellation
    // disabled; the server's own state is the one from before them.
    if (calls->openCalls == 0)
        calls->cancelStateBeforeCalls = previousState;
    const std::uintptr_t top = addressOf(frame);
    const bool onThreadStack = isOnThreadStack(calls, top);
    // On the thread's own stack, a call whose frame lies at or below this one,
    // or whose frame record has been written over, is over: it was left by a
    // jump or a switch that never comes back. Still open above: the calls
    // this one runs inside; the innermost of them has the cleanup entry that
    // must come before ours.
    Slot *outer = nullptr;
    bool closedAny = false;
    if (onThreadStack) {
        forEachOpen(calls, [&](Slot &open) {
            if (!open.onThreadStack)
                return;
            if (open.top <= top || !isFrameIntact(open))
                closeSlot(calls, &open), closedAny = true;
            else if (!outer || open.top < outer->top)
                outer = &open;
        });
    }
    Slot *const slot = freeSlot(calls);
    // No slot is free only while every one holds an open call: those keep
    // cancellation disabled.
    if (!slot)
        return nullptr;
    slot->call.armed = 0;
    slot->top = top;
    slot->frame = frame;
    slot->stamp = (++calls->stampCount * 0x9E3779B97F4A7C15ull) ^ stampKey;
    slot->onThreadStack = onThreadStack;
    frame->call = &slot->call;
    frame->stamp = slot->stamp;
#if defined(__GLIBC__)
    // Only for calls on the thread's own stack: an entry left on a fiber's
    // stack that the server frees would be read by the thread's exit.
    if (onThreadStack) {
        _pthread_cleanup_push(&frame->leftByJump, endCallLeftByJump, frame);
        // An entry below ours, or one of a call just found over, belongs to a
        // call left by a switch or a jump of the compiler's: a thread exit
        // must not run it.
        _pthread_cleanup_buffer *const before = frame->leftByJump.__prev;
        if (before && (closedAny || addressOf(before) <= addressOf(&frame->leftByJump)))
            frame->leftByJump.__prev = outer ? &outer->frame->leftByJump : nullptr;
    }
#endif
    openSlot(calls, slot);
    return &slot->call;
}

void kxFaultTrapLeave(kxFaultTrapFrame *frame)
{
    ThreadCalls *const calls = threadCalls;
    Slot *const slot = slotOf(frame->call);
    // Already closed: a later call found it over, or a jump's cleanup ended it.
    if (!calls || !isOpen(calls, slot) || slot->frame != frame || slot->stamp != frame->stamp)
        return;
#if defined(__GLIBC__)
    if (slot->onThreadStack)
        _pthread_cleanup_pop(&frame->leftByJump, 0);
#endif
    slot->call.armed = 0;
    closeSlot(calls, slot);
    putCancelStateBackIfLast(calls);
}
