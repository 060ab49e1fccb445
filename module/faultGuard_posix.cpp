// PLATFORM FILE (POSIX): memory-fault containment with the resident fault
// trap (faultTrap/) and sigsetjmp. The only place in the module that uses
// POSIX calls.
//
// The trap's handlers are installed once per process and stay; a guarded call
// costs a jump buffer without signal mask, two calls into the trap and two
// changes of the thread's cancellation state, no lock and no system call.
#include "faultGuard.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

#include "faultTrap_posix.h"
#include "kxNotifyContract.h"

#include <csetjmp>

#include <pthread.h>

namespace {

// Ends the call also when a forced unwind (pthread_exit in the server's log)
// passes through. The trap defers a thread's cancellation during the call:
// the request waits for the server's next cancellation point after it.
class ArmedCall
{
public:
    explicit ArmedCall(kxFaultTrapFrame *frame) noexcept
        : m_frame(frame)
    {
    }
    // With asynchronous cancellation a pending request acts as the call
    // ends; its forced unwind must leave the destructor, not end the process.
    ~ArmedCall() noexcept(false) { kxFaultTrapLeave(m_frame); }
    ArmedCall(const ArmedCall &) = delete;
    ArmedCall &operator=(const ArmedCall &) = delete;

private:
    kxFaultTrapFrame *m_frame;
};

// A frame of its own, so a contained fault jumps over this object rather
// than over one in the frame it lands in.
__attribute__((noinline)) int runArmed(kxFaultTrapFrame *frame, kx::ContainedWork work, void *context)
{
    const ArmedCall armed(frame);
    return work(context);
}

} // namespace

// The frame record must lie on the stack the call runs on, never in a
// sanitizer's stand-in frame: it marks where the call's frames begin.
#if defined(__clang__) || defined(__GNUC__)
__attribute__((no_sanitize("address")))
#endif
int kx::runFaultContained(ContainedWork work, void *context)
{
    kxFaultTrapFrame frame;
    kxFaultTrapCall *const call = kxFaultTrapEnter(&frame);
    if (!call)
        return work(context); // the thread's records could not be allocated: exceptions are still caught
    // No signal mask in the buffer: the trap restores the faulting code's mask.
    if (sigsetjmp(call->resume, 0) != 0) {
        kxFaultTrapLeave(&frame);
        return ResultExceptionCaught;
    }
    call->armed = 1;
    return runArmed(&frame, work, context);
}
