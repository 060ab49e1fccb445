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
// on those it does not expect, that includes the faults of calls. A one-shot
// handler of the server's (SA_RESETHAND) runs once; later faults that are not
// a call's meet the default action, while calls stay guarded.
//
// Each call's record lives in per-thread storage of the trap's, so a server
// may switch contexts inside a call and free a fiber's stack: the trap reads
// a call's stack only where it lies on the thread's own stack (as the C
// library reports it; a fiber's stack carved out of it counts as part of it).
// A fault belongs to the innermost open call whose frame lies above it on the
// same kind of stack: the thread's own, or any other. The trap cannot tell
// two fibers' stacks apart, so a server that runs calls on stacks of its own
// must not:
// - fault in its own code on one such stack below (at lower addresses than)
//   a call waiting or left on another: the fault would end that call;
// - leave a call on such a stack by a jump or for good and then fault below
//   it on that stack. Such a call is never known to be over: it keeps its
//   record (240 bytes) and the thread's cancellation stays disabled.
// The thread's cancellation is disabled while any of its calls is open and
// put back by the last one. On the thread's own stack a call is also over
// when glibc's longjmp jumps past it, and, if left by another jump or a
// switch away for good, at the thread's next call from its depth or above
// (from anywhere once its frame has been written over); until then a fault
// deeper down still ends it, and a thread exit meets its cleanup entry.
//
// A fault in a handler of the server's for another signal that interrupts a
// call on the same stack lies below the call's frame and is taken as the
// call's own: the call ends with ResultExceptionCaught and the handler is
// abandoned. pNotify must not be called from a signal handler.
//
// Only on x86-64, aarch64 and i386 does the trap read the stack pointer of
// the faulting code; on other processors it contains no fault at all. The
// trap's per-thread state is one pointer of static TLS; a thread's first call
// allocates its records and asks for its stack (for the main thread the C
// library reads /proc/self/maps). If that allocation fails, or more calls are
// open on the thread than memory allows, the call still catches exceptions
// but not faults.
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
