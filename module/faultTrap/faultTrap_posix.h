// PLATFORM FILE (POSIX): the contract between the module and its resident
// fault trap, a tiny shared library that holds the signal handler and the
// per-thread records of guarded calls. The module links it; it is never
// unloaded (linked with -z nodelete), so the handler's code stays valid after
// every copy of the module is gone, and all copies share one trap by its
// versioned library name.
//
// A change to these records or to the functions' meaning needs a new library
// version (its SOVERSION in module/CMakeLists.txt): a trap already resident in a
// process is shared by name with every module loaded later.
#ifndef FAULTTRAP_POSIX_H
#define FAULTTRAP_POSIX_H

#include <csetjmp>
#include <csignal>
#include <cstdint>

#include <pthread.h>

#if defined(KX_FAULT_TRAP_BUILD)
#  define KX_FAULT_TRAP_API extern "C" __attribute__((visibility("default")))
#else
#  define KX_FAULT_TRAP_API extern "C"
#endif

struct kxFaultTrapCall;

// The part of a guarded call kept in the guarded frame, on the stack the call
// runs on; its address marks the top of the call's frames. Written by the
// trap; the trap reads it again only while the call is known to run, or where
// it lies on the thread's own stack (mapped for the thread's life).
struct kxFaultTrapFrame
{
    kxFaultTrapCall *call;
    std::uint64_t stamp; // matches the call's record while the frame is intact
#if defined(__GLIBC__)
    // The C library's longjmp runs the thread's cleanup entries it jumps
    // past: this one tells the trap that a jump left the call.
    _pthread_cleanup_buffer leftByJump;
#endif
};

// One guarded call, in storage the trap keeps per thread.
struct kxFaultTrapCall
{
    sigjmp_buf resume;            // set by the module with sigsetjmp(resume, 0)
    volatile sig_atomic_t armed;  // set to 1 by the module once resume holds the call's frame
};

// Opens the guarded call whose frame is frame and disables the thread's
// cancellation while any of its calls is open. Installs the handlers on the
// first call in the process. Returns the call's record, or null, leaving
// everything as it was, if the thread's records cannot be allocated.
KX_FAULT_TRAP_API kxFaultTrapCall *kxFaultTrapEnter(kxFaultTrapFrame *frame);

// Ends the guarded call of frame, also after a contained fault ended it; the
// thread's last open call puts its cancellation state back. A pending request
// of asynchronous cancellation acts in here: callers must let its unwind pass.
KX_FAULT_TRAP_API void kxFaultTrapLeave(kxFaultTrapFrame *frame);

#endif // FAULTTRAP_POSIX_H
