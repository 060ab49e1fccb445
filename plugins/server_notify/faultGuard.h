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
// Faults outside the work, on other threads, and signals sent by kill or
// raise are not contained: they reach the handler that was installed before
// the guard's (or the default action). A thread cancelled during the call is
// cancelled after it returns, never inside it; a forced unwind (pthread_exit
// from the server's log) passes through the call unharmed.
//
// Limits on POSIX systems: the handlers (SIGSEGV, SIGBUS, SIGILL, SIGFPE) are
// installed on the first guarded call in the process and stay, in a small
// resident library (kxFaultTrap) that outlives the module. A handler the
// server installs later gets the faults the kernel gives it; unless it passes
// on those it does not expect, that includes the faults of calls. A call left
// by longjmp from the server's log is ended by the jump itself (a thread
// cleanup entry, with glibc). Other non-local exits are recognised by the
// stack: by a fault above the call's frame, by its jump buffer written over,
// and at the thread's next call; a fault below the frame with that buffer
// untouched would still jump back into it. The per-thread state uses static TLS, so a process
// that has used up its static TLS reserve cannot load the module; pNotify must
// not be called from a signal handler.
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
