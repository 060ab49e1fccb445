// Containment of memory faults raised while an export runs.
//
// The server's records are trusted as they stand: a pointer into an unmapped
// page, or a file mapping cut short, makes a read or write fault inside the
// call. runFaultContained turns such a fault, raised on the calling thread
// while the work runs, into ResultExceptionCaught, and the server goes on.
//
// What a contained fault leaves behind: the work is abandoned where it
// faulted, without unwinding. Destructors of the frames in between do not
// run, so heap memory they owned (Qt strings, lists) is never freed, and any
// record the work was writing keeps whatever it held at the fault (a message
// box may hold a new text with its old length, a log line may be half
// written). The plug-in's own work takes no lock, but a fault inside the
// allocator or the string library abandons whatever lock that code held, so
// containment is a last resort that keeps the server running, not a promise
// that the process is as clean as before.
//
// Faults outside the work, on other threads, signals sent by kill or raise,
// and a machine-check error reported in advance (SIGBUS, BUS_MCEERR_AO) are
// not contained: they reach the handler that was installed before the
// guard's, with its mask and SA_NODEFER honoured (or the default action). A
// thread cancelled during the call is cancelled after it returns, never
// inside it; a forced unwind (pthread_exit from the server's log) passes
// through the call unharmed.
//
// Limits on POSIX systems: the handlers (SIGSEGV, SIGBUS, SIGILL, SIGFPE) are
// installed on the first guarded call in the process and stay, in a small
// resident library (kxFaultTrap) that outlives the module. A handler the
// server installs later gets the faults the kernel gives it; unless it passes
// on those it does not expect, that includes the faults of calls. A call left
// by longjmp from the server's log is ended by the jump itself (a thread
// cleanup entry, with glibc), which also gives the thread back its former
// cancellation state. Other non-local exits (a context switch, the compiler's
// own jump, any jump without glibc) are recognised by the stack: by a fault
// above the call's frame, by its jump buffer written over, and at the
// thread's next call, which also unlinks the abandoned call's cleanup entry
// and, when no other call runs on the thread, ends with the cancellation
// state from before the abandoned call. Until that next call the thread
// keeps cancellation disabled, a fault below the frame with that buffer
// untouched would still jump back into it, and a thread exit would meet the
// abandoned call's cleanup entry (glibc).
//
// A fault in a handler of the server's for another signal that interrupts a
// call on the same stack lies below the call's frame and is taken as the
// call's own: the call ends with ResultExceptionCaught and the handler is
// abandoned. A handler on an alternate stack (SA_ONSTACK) lying below the
// thread's stack can be taken the same way.
//
// Only on x86-64, aarch64 and i386 does the trap read the stack pointer of
// the faulting code; on other processors it contains no fault at all and
// every one goes to the server's handler or the default action. The record
// is checked with a keyed 64-bit hash over every register the jump restores
// (x86-64: 8 words, stack pointer and return address included; aarch64: 22
// words, the same; i386: 6 words), the link to the enclosing call and the
// cancellation state: it finds a record written over by chance, it is no
// defence against code that forges one on purpose.
//
// The per-thread state (a pointer and an int) uses static TLS, so a process
// that has used up its static TLS reserve cannot load the module; pNotify
// must not be called from a signal handler.
//
// The mechanism is the platform's: signal handlers and a non-local jump on
// POSIX systems (faultGuard_posix.cpp, faultTrap/), structured exception
// handling on Windows (faultGuard_windows.cpp).
#ifndef FAULTGUARD_H
#define FAULTGUARD_H

namespace kx {

using ContainedWork = int (*)(void *context);

// Runs work(context) and returns its result, or ResultExceptionCaught if a
// memory fault on this thread ended it. Calls may nest. Not noexcept: a
// forced unwind must be able to pass.
int runFaultContained(ContainedWork work, void *context);

} // namespace kx

#endif // FAULTGUARD_H
