// PLATFORM FILE (Windows): memory-fault containment with a vectored exception
// handler. The only place in the plug-in that uses Windows calls.
//
// mingw's g++ has no __try/__except, so the guard cannot be a frame-based
// handler. Instead a vectored handler is registered, first in line, while any
// contained call runs on any thread, and removed when the last one ends: between
// calls the process has exactly the handlers the server set, and an unloaded
// module leaves no handler behind.
//
// The handler takes a fault only if it is one of kContainedCodes and it is
// raised on a thread that is inside a contained call; everything else (other
// threads, the server's own faults between calls, software exceptions such as
// C++ throws) goes on to the server's handlers as if ours were not there.
// A fault it takes is not unwound: the handler points the thread at a resume
// function that jumps back to the frame of runFaultContained, the way a POSIX
// signal handler would, and the system resumes the thread there after the
// exception dispatch has finished.
//
// Limits: being first in line, the handler also takes a fault that a
// frame-based handler inside the call (a system function probing memory)
// would have handled itself, and ends the call with the fault result. A stack
// overflow is not contained: there is no stack left to resume on.
#include "faultGuard.h"

#include "kxNotifyPluginApi.h"

#include <windows.h>

namespace {

constexpr DWORD kContainedCodes[] = {
    EXCEPTION_ACCESS_VIOLATION,   EXCEPTION_IN_PAGE_ERROR,      EXCEPTION_INT_DIVIDE_BY_ZERO,
    EXCEPTION_INT_OVERFLOW,       EXCEPTION_ILLEGAL_INSTRUCTION, EXCEPTION_PRIV_INSTRUCTION,
    EXCEPTION_DATATYPE_MISALIGNMENT, EXCEPTION_ARRAY_BOUNDS_EXCEEDED, EXCEPTION_GUARD_PAGE,
};

// One contained call on one thread; nested calls chain to the outer one.
struct ContainedCall
{
    void *resume[5]; // __builtin_setjmp buffer: no unwinding on the way back
    ContainedCall *outer;
};

// Plain Win32 state: no constructors, nothing the handler could allocate.
// mingw's thread_local is emulated and may allocate on first use, which must
// not happen inside an exception handler, so the per-thread record is a TLS slot.
SRWLOCK installLock = SRWLOCK_INIT;
DWORD tlsSlot = TLS_OUT_OF_INDEXES; // guarded by installLock while allocated
PVOID handlerHandle = nullptr;      // guarded by installLock
int activeCalls = 0;                // guarded by installLock

ContainedCall *currentCall() noexcept
{
    // TlsGetValue clears the last error on success; the thread's own value
    // must survive a fault that is not ours.
    const DWORD lastError = GetLastError();
    void *const call = TlsGetValue(tlsSlot);
    SetLastError(lastError);
    return static_cast<ContainedCall *>(call);
}

void setCurrentCall(ContainedCall *call) noexcept
{
    TlsSetValue(tlsSlot, call);
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
    ContainedCall *call = currentCall();
    if (!call)
        return EXCEPTION_CONTINUE_SEARCH;
    // Disarm first: a fault while leaving must not come back here.
    setCurrentCall(call->outer);
    CONTEXT *context = pointers->ContextRecord;
    // Resume below the faulting frame, on a 16-byte aligned stack as after a
    // call, with room for the callee's home area.
    DWORD64 stack = context->Rsp - 256;
    stack &= ~DWORD64(15);
    stack -= 8;
    context->Rsp = stack;
    context->EFlags &= ~DWORD(0x400); // the direction flag, as the calling convention wants it
    context->Rip = reinterpret_cast<DWORD64>(&resumeAfterFault);
    context->Rcx = reinterpret_cast<DWORD64>(call);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Returns false if the handler cannot be put in place; the call then runs
// without containment rather than not at all.
bool installHandler() noexcept
{
    AcquireSRWLockExclusive(&installLock);
    bool installed = true;
    if (activeCalls == 0) {
        if (tlsSlot == TLS_OUT_OF_INDEXES)
            tlsSlot = TlsAlloc();
        if (tlsSlot != TLS_OUT_OF_INDEXES)
            handlerHandle = AddVectoredExceptionHandler(1, onException);
        installed = handlerHandle != nullptr;
    }
    if (installed)
        ++activeCalls;
    ReleaseSRWLockExclusive(&installLock);
    return installed;
}

void removeHandler() noexcept
{
    AcquireSRWLockExclusive(&installLock);
    if (--activeCalls == 0) {
        RemoveVectoredExceptionHandler(handlerHandle);
        handlerHandle = nullptr;
    }
    ReleaseSRWLockExclusive(&installLock);
}

// A thread ended inside a call (TerminateThread) never removes its share; the
// module must not leave its handler or its slot behind when it is unloaded.
struct UnloadCleanup
{
    UnloadCleanup() = default;
    UnloadCleanup(const UnloadCleanup &) = delete;
    UnloadCleanup &operator=(const UnloadCleanup &) = delete;
    ~UnloadCleanup()
    {
        AcquireSRWLockExclusive(&installLock);
        if (handlerHandle)
            RemoveVectoredExceptionHandler(handlerHandle);
        handlerHandle = nullptr;
        activeCalls = 0;
        if (tlsSlot != TLS_OUT_OF_INDEXES)
            TlsFree(tlsSlot);
        tlsSlot = TLS_OUT_OF_INDEXES;
        ReleaseSRWLockExclusive(&installLock);
    }
};
UnloadCleanup unloadCleanup;

// Kept out of line so that the only state live across the jump back is in
// memory (call), never in a register the jump would not restore.
__attribute__((noinline)) int runArmed(ContainedCall *call, kx::ContainedWork work, void *context) noexcept
{
    if (__builtin_setjmp(call->resume) != 0)
        return kx::ResultExceptionCaught; // the handler already disarmed the call
    setCurrentCall(call);
    const int result = work(context);
    setCurrentCall(call->outer);
    return result;
}

} // namespace

int kx::runFaultContained(ContainedWork work, void *context)
{
    if (!installHandler())
        return work(context);
    ContainedCall call;
    call.outer = currentCall();
    const int result = runArmed(&call, work, context);
    removeHandler();
    return result;
}
