// PLATFORM FILE (POSIX): the contract between the module and its resident
// fault trap, a tiny shared library that holds the signal handler and the
// per-thread records of guarded calls. The module links it; it is never
// unloaded (linked with -z nodelete), so the handler's code stays valid after
// every copy of the module is gone, and all copies share one trap by its
// versioned library name.
//
// A change to the record's layout or to the functions' meaning needs a new
// library version (KX_FAULT_TRAP_SOVERSION in CMake): a trap already resident
// in a process is shared by name with every module loaded later.
#ifndef FAULTTRAP_POSIX_H
#define FAULTTRAP_POSIX_H

#include <csetjmp>
#include <cstdint>

#include <pthread.h>

#if defined(KX_FAULT_TRAP_BUILD)
#  define KX_FAULT_TRAP_API extern "C" __attribute__((visibility("default")))
#else
#  define KX_FAULT_TRAP_API extern "C"
#endif

// One guarded call, kept in the guarded frame on the calling thread's stack.
struct kxFaultTrapRecord
{
    sigjmp_buf resume;         // set by the module, with sigsetjmp(resume, 0)
    kxFaultTrapRecord *outer;  // the enclosing guarded call on this thread; written by the trap
    std::uint64_t seal;        // written by the trap: proves the jump target, link and state unchanged since entry
    int previousCancelState;   // written by the trap: the thread's cancellation state before the call
#if defined(__GLIBC__)
    // The C library's longjmp runs the thread's cleanup entries it jumps
    // past: this one tells the trap that a non-local exit left the call.
    _pthread_cleanup_buffer leftByJump; // written by the trap
#endif
};

// Makes record the thread's innermost guarded call and disables the thread's
// cancellation until the call ends. Installs the handlers on the first call
// in the process. Records of calls left by a non-local exit (they lie below
// this frame) are dropped first.
KX_FAULT_TRAP_API void kxFaultTrapEnter(kxFaultTrapRecord *record);

// Ends the guarded call of record, also after a contained fault ended it, and
// puts the thread's cancellation state back. A pending request of
// asynchronous cancellation acts in here: callers must let its unwind pass.
KX_FAULT_TRAP_API void kxFaultTrapLeave(kxFaultTrapRecord *record);

#endif // FAULTTRAP_POSIX_H
