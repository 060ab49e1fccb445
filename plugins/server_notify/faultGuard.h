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
// raise are not contained: they reach the handler the server had installed
// (or the default action). The server's handler is in place again once the
// outermost contained call on any thread has returned.
//
// Limits on POSIX systems: the handler's per-thread state uses static TLS, so
// a process that has used up its static TLS reserve cannot load the module;
// pNotify must not be called from a signal handler or a child forked while
// another thread is inside a call; and a server that installs its own handler
// during a call and chains to ours as "previous" keeps a pointer into the
// module after it is unloaded.
//
// The mechanism is the platform's: signal handlers and a non-local jump on
// POSIX systems (faultGuard_posix.cpp), structured exception handling on
// Windows (faultGuard_windows.cpp).
#ifndef FAULTGUARD_H
#define FAULTGUARD_H

namespace kx {

using ContainedWork = int (*)(void *context);

// Runs work(context) and returns its result, or ResultExceptionCaught if a
// memory fault on this thread ended it. Calls may nest.
int runFaultContained(ContainedWork work, void *context) noexcept;

} // namespace kx

#endif // FAULTGUARD_H
