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

// Ends the call's record also when a forced unwind (pthread_exit in the
// server's log) passes through. The trap defers a thread's cancellation
// during the call: the request waits for the server's next cancellation
// point after it (the trap's record keeps the state to put back, so a jump
// out of the server's log puts it back too).
class ArmedRecord
{
public:
    explicit ArmedRecord(kxFaultTrapRecord *record) noexcept
        : m_record(record)
    {
        kxFaultTrapEnter(record);
    }
    // With asynchronous cancellation a pending request acts as the call
    // ends; its forced unwind must leave the destructor, not end the process.
    ~ArmedRecord() noexcept(false) { kxFaultTrapLeave(m_record); }
    ArmedRecord(const ArmedRecord &) = delete;
    ArmedRecord &operator=(const ArmedRecord &) = delete;

private:
    kxFaultTrapRecord *m_record;
};

// A frame of its own, so a contained fault jumps over this object rather
// than over one in the frame it lands in.
__attribute__((noinline)) int runArmed(kxFaultTrapRecord *record, kx::ContainedWork work, void *context)
{
    const ArmedRecord armed(record);
    return work(context);
}

} // namespace

int kx::runFaultContained(ContainedWork work, void *context)
{
    kxFaultTrapRecord record;
    // No signal mask in the buffer: the trap restores the faulting code's mask.
    if (sigsetjmp(record.resume, 0) != 0) {
        kxFaultTrapLeave(&record);
        return ResultExceptionCaught;
    }
    return runArmed(&record, work, context);
}
