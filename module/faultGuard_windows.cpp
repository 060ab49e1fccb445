// PLATFORM FILE (Windows): memory-fault containment with a vectored exception
// handler. The only place in the plug-in that uses Windows calls.
//
// mingw's g++ has no __try/__except, so the guard cannot be a frame-based
// handler. Instead one vectored handler is registered, first in line, at the
// first contained call after the module is loaded, and removed when the module
// is unloaded. Nothing is counted or locked per call: a call that never returns
// (the server's log leaves it with longjmp, the thread ends inside it) leaves
// nothing behind that a later call or the unload would wait for.
//
// The handler takes a fault only if it is one of kContainedCodes, raised on a
// thread whose innermost contained call is still live: the faulting stack
// pointer lies below that call's record, inside the frames the call made.
// Everything else (other threads, the server's own faults between calls, a
// call left without returning, guard-page hits, software exceptions such as
// C++ throws) goes on to the server's handlers as if ours were not there.
// A fault it takes is not unwound: the handler points the thread at a resume
// function, on the stack of runArmed's frame, that jumps back into that frame,
// the way a POSIX signal handler would; the system resumes the thread there
// after the exception dispatch has finished.
//
// Limits: being first in line, the handler also takes a fault that a
// frame-based handler inside the call (a system function probing memory)
// would have handled itself, and ends the call with the fault result; a
// vectored handler the server adds first in line after the module's first call
// comes before it. A call left without returning and without unwinding is
// recognised by the stack: by a fault above its record, and at the thread's
// next call from the same depth or above; a fault from deeper server frames
// before that would still jump back into it. A stack overflow is not
// contained: there is no stack left to resume on.
#include "faultGuard.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

#include "kxNotifyContract.h"

#include <windows.h>

#include <atomic>

namespace {

// EXCEPTION_GUARD_PAGE is not among them: a guard page belongs to whoever set
// it (a stack probe, a growing buffer), whose handler must see the hit.
constexpr DWORD kContainedCodes[] = {
    EXCEPTION_ACCESS_VIOLATION,   EXCEPTION_IN_PAGE_ERROR,      EXCEPTION_INT_DIVIDE_BY_ZERO,
    EXCEPTION_INT_OVERFLOW,       EXCEPTION_ILLEGAL_INSTRUCTION, EXCEPTION_PRIV_INSTRUCTION,
    EXCEPTION_DATATYPE_MISALIGNMENT, EXCEPTION_ARRAY_BOUNDS_EXCEEDED,
};

// One contained call on one thread; nested calls chain to the outer one.
struct ContainedCall
{
    void *resume[5]; // __builtin_setjmp buffer: no unwinding on the way back
    ContainedCall *outer;
};

// The stack pointer __builtin_setjmp saves on x86-64 (after the frame and
// the resume label).
constexpr int kSavedStackWord = 2;

// Plain Win32 state with constant initialisers: nothing the handler could
// allocate, no lock. mingw's thread_local is emulated and may allocate on
// first use, which must not happen inside an exception handler, so the
// per-thread record is a TLS slot.
INIT_ONCE registration = INIT_ONCE_STATIC_INIT;
std::atomic<DWORD> tlsSlot{TLS_OUT_OF_INDEXES};
std::atomic<PVOID> handlerHandle{nullptr};

ContainedCall *currentCall(DWORD slot) noexcept
{
    // TlsGetValue clears the last error on success; the thread's own value
    // must survive a fault that is not ours.
    const DWORD lastError = GetLastError();
    void *const call = TlsGetValue(slot);
    SetLastError(lastError);
    return static_cast<ContainedCall *>(call);
}

bool isContainedCode(DWORD code) noexcept
{
    for (const DWORD contained : kContainedCodes) {
        if (code == contained)
            return true;
    }
    return false;
}

// Runs on the faulting thread once the system has left the exception dispatch.
[[noreturn]] __attribute__((noinline)) void resumeAfterFault(ContainedCall *call)
{
    __builtin_longjmp(call->resume, 1);
}

LONG CALLBACK onException(EXCEPTION_POINTERS *pointers)
{
    const EXCEPTION_RECORD *record = pointers->ExceptionRecord;
    if (!isContainedCode(record->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    // A fault that is continued or re-raised must not be taken twice.
    if (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE)
        return EXCEPTION_CONTINUE_SEARCH;
    // The module is being unloaded: the slot may already be freed.
    const DWORD slot = tlsSlot.load(std::memory_order_acquire);
    if (slot == TLS_OUT_OF_INDEXES)
        return EXCEPTION_CONTINUE_SEARCH;
    ContainedCall *const call = currentCall(slot);
    if (!call)
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT *context = pointers->ContextRecord;
    ULONG_PTR stackLow; // both written by the call below
    ULONG_PTR stackHigh;
    GetCurrentThreadStackLimits(&stackLow, &stackHigh);
    const auto callAddress = reinterpret_cast<DWORD64>(call);
    // A live call's record lies on this thread's stack above the faulting
    // frames; otherwise the call was left and its frame is gone.
    if (context->Rsp >= callAddress || callAddress >= stackHigh)
        return EXCEPTION_CONTINUE_SEARCH;
    const auto savedStack = reinterpret_cast<DWORD64>(call->resume[kSavedStackWord]);
    if (savedStack <= context->Rsp || savedStack > callAddress)
        return EXCEPTION_CONTINUE_SEARCH; // the buffer was written over
    // Disarm first: a fault while leaving must not come back here.
    TlsSetValue(slot, call->outer);
    // Resume on runArmed's own stack, 16-byte aligned as after a call, with
    // the callee's home area below the saved stack pointer.
    DWORD64 stack = (savedStack - 64) & ~DWORD64(15);
    stack -= 8;
    context->Rsp = stack;
    context->EFlags &= ~DWORD(0x400); // the direction flag, as the calling convention wants it
    context->Rip = reinterpret_cast<DWORD64>(&resumeAfterFault);
    context->Rcx = callAddress;
    return EXCEPTION_CONTINUE_EXECUTION;
}

BOOL CALLBACK registerHandler(PINIT_ONCE, PVOID, PVOID *) noexcept
{
    const DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES)
        return FALSE;
    tlsSlot.store(slot, std::memory_order_release);
    PVOID handle = AddVectoredExceptionHandler(1, onException);
    if (!handle) {
        tlsSlot.store(TLS_OUT_OF_INDEXES, std::memory_order_release);
        TlsFree(slot);
        return FALSE; // the next call tries again
    }
    handlerHandle.store(handle, std::memory_order_release);
    return TRUE;
}

// Runs when the module is unloaded, and at process exit, when other threads
// may have been ended anywhere: no lock on this path.
struct UnloadCleanup
{
    UnloadCleanup() = default;
    UnloadCleanup(const UnloadCleanup &) = delete;
    UnloadCleanup &operator=(const UnloadCleanup &) = delete;
    ~UnloadCleanup()
    {
        // The handler sees the slot gone before it is freed and passes.
        const DWORD slot = tlsSlot.exchange(TLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
        if (PVOID handle = handlerHandle.exchange(nullptr, std::memory_order_acq_rel))
            RemoveVectoredExceptionHandler(handle);
        if (slot != TLS_OUT_OF_INDEXES)
            TlsFree(slot);
    }
};
UnloadCleanup unloadCleanup;

// Puts the outer call back when the work returns or is unwound through; a
// fault's jump back skips it, the handler having done so already.
struct ArmedCall
{
    DWORD slot;
    ContainedCall *call;
    ArmedCall(DWORD s, ContainedCall *c) noexcept
        : slot(s), call(c)
    {
        TlsSetValue(slot, call);
    }
    ~ArmedCall() { TlsSetValue(slot, call->outer); }
    ArmedCall(const ArmedCall &) = delete;
    ArmedCall &operator=(const ArmedCall &) = delete;
};

__attribute__((noinline)) int runWork(DWORD slot, ContainedCall *call, kx::ContainedWork work, void *context)
{
    const ArmedCall armed(slot, call);
    return work(context);
}

// Kept out of line so that the only state live across the jump back is in
// memory (call), never in a register the jump would not restore. Not
// noexcept: an unwinding exit from the work passes through.
__attribute__((noinline)) int runArmed(DWORD slot, ContainedCall *call, kx::ContainedWork work, void *context)
{
    if (__builtin_setjmp(call->resume) != 0)
        return kx::ResultExceptionCaught; // the handler already disarmed the call
    return runWork(slot, call, work, context);
}

} // namespace

int kx::runFaultContained(ContainedWork work, void *context)
{
    if (!InitOnceExecuteOnce(&registration, registerHandler, nullptr, nullptr))
        return work(context); // without containment rather than not at all
    const DWORD slot = tlsSlot.load(std::memory_order_acquire);
    if (slot == TLS_OUT_OF_INDEXES)
        return work(context);
    ContainedCall call;
    ContainedCall *outer = currentCall(slot);
    // A record at or below this one belongs to a call that was left without
    // returning (longjmp out of the server's log): its frame is gone, and so
    // is any chain read from it.
    if (reinterpret_cast<DWORD64>(outer) <= reinterpret_cast<DWORD64>(&call))
        outer = nullptr;
    call.outer = outer;
    return runArmed(slot, &call, work, context);
}
