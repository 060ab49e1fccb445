// The resident fault trap's per-thread records, driven through its two
// functions as the module drives them. A thread's records are made at its
// first call and freed when it ends, and calls nested as deep as the first
// block holds take no memory of their own: a server runs thread pools for
// months, and a record lost per thread, or an allocation per call, adds up.
// Calls left without returning are closed once, a call whose records cannot
// be allocated is refused with nothing changed, and the server's own cleanup
// entries stay in the thread's chain.
#include "cancellation.h"
#include "faultTrap_posix.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <thread>

extern "C" __attribute__((weak)) std::size_t __sanitizer_get_current_allocated_bytes();

#if defined(KX_CALLOC_CAN_FAIL)
// Allocations the trap makes on this thread fail while set. Not built under
// the sanitizers, whose allocators this would bypass.
thread_local bool callocFails = false;
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);
extern "C" void *calloc(std::size_t count, std::size_t size)
{
    return callocFails ? nullptr : __libc_calloc(count, size);
}
#endif

#if defined(__GLIBC__)
// The C library's own cleanup entries, as a server written in C pushes them.
extern "C" void _pthread_cleanup_push(_pthread_cleanup_buffer *buffer, void (*routine)(void *), void *argument);
extern "C" void _pthread_cleanup_pop(_pthread_cleanup_buffer *buffer, int execute);
#endif

namespace {

long long heapInUse()
{
    if (__sanitizer_get_current_allocated_bytes)
        return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
    return static_cast<long long>(mallinfo2().uordblks);
}

// Opens depth calls, each in a frame below the one before, and runs
// atDeepest inside the innermost. The frames must lie on the real stack, as
// the module's do, never in a sanitizer's stand-in frame.
template <typename F>
__attribute__((noinline, no_sanitize("address"))) void nest(int depth, F &&atDeepest)
{
    kxFaultTrapFrame frame;
    kxFaultTrapCall *const call = kxFaultTrapEnter(&frame);
    ASSERT_NE(call, nullptr);
    if (depth > 1)
        nest(depth - 1, atDeepest);
    else
        atDeepest();
    kxFaultTrapLeave(&frame);
}

void oneCallOnAThreadThatEnds()
{
    std::thread([] { nest(1, [] {}); }).join();
}

TEST(FaultTrapRecords, AThreadsRecordsAreFreedWhenItEnds)
{
    for (int i = 0; i < 8; ++i)
        oneCallOnAThreadThatEnds(); // the system's own memory for threads, reused from here on
    const long long before = heapInUse();
    constexpr int kThreads = 256;
    for (int i = 0; i < kThreads; ++i)
        oneCallOnAThreadThatEnds();
    // A thread's records take some kilobytes: kept, they would add up to a megabyte here.
    EXPECT_LT(heapInUse() - before, 64 * 1024);
}

TEST(FaultTrapRecords, SixteenOpenCallsFitTheFirstBlockAndABlockAddedIsKept)
{
    std::thread([] {
        nest(1, [] {}); // the thread's records
        const long long before = heapInUse();
        long long atSixteen = 0, atSeventeen = 0, atSeventeenAgain = 0;
        nest(16, [&] { atSixteen = heapInUse(); });
        nest(17, [&] { atSeventeen = heapInUse(); });
        const long long afterAdding = heapInUse();
        nest(17, [&] { atSeventeenAgain = heapInUse(); });
        EXPECT_EQ(atSixteen, before);
        EXPECT_GT(atSeventeen, before);
        EXPECT_EQ(atSeventeenAgain, afterAdding);
        EXPECT_EQ(heapInUse(), afterAdding);
    }).join();
}

// Two calls, one inside the other, that the server leaves without returning
// and without the C library seeing it (a switch to another context that
// never comes back), then a call from the outer one's depth or from above:
// both are over, their late leaves change nothing, a stale record of the
// outer one cannot end the call that took its place, and cancellation is
// back once the last call ends.
__attribute__((noinline, no_sanitize("address"))) void leaveCallsBehind(bool sameDepth)
{
    kxFaultTrapFrame frames[3]; // each above the one before
    ASSERT_NE(kxFaultTrapEnter(&frames[1]), nullptr);
    ASSERT_NE(kxFaultTrapEnter(&frames[0]), nullptr);
    const std::uint64_t outerStamp = frames[1].stamp;
    kxFaultTrapFrame &next = frames[sameDepth ? 1 : 2];
    ASSERT_NE(kxFaultTrapEnter(&next), nullptr);
    const std::uint64_t nextStamp = next.stamp;
    kxFaultTrapLeave(&frames[0]);
    EXPECT_FALSE(isCancellable());
    if (sameDepth) {
        frames[1].stamp = outerStamp;
        kxFaultTrapLeave(&frames[1]);
        EXPECT_FALSE(isCancellable());
        frames[1].stamp = nextStamp;
    } else {
        kxFaultTrapLeave(&frames[1]);
        EXPECT_FALSE(isCancellable());
    }
    kxFaultTrapLeave(&next);
    EXPECT_TRUE(isCancellable());
    kxFaultTrapLeave(&frames[0]);
    EXPECT_TRUE(isCancellable());
}

TEST(FaultTrapCalls, CallsLeftWithoutReturningAreOverOnceAndCancellationComesBack)
{
    for (const bool sameDepth : {true, false}) {
        SCOPED_TRACE(sameDepth ? "next call from the outer one's depth" : "next call from above");
        std::thread([sameDepth] {
            leaveCallsBehind(sameDepth);
            nest(3, [] { EXPECT_FALSE(isCancellable()); });
            EXPECT_TRUE(isCancellable());
        }).join();
    }
}

#if defined(__GLIBC__)
// A thread of a server written in C: its cleanup entry around a call whose
// log ends the thread. Its frame lies on the thread's stack, as such a
// server's does, never in a sanitizer's stand-in frame.
__attribute__((no_sanitize("address"))) void *threadEndedInsideACall(void *ran)
{
    _pthread_cleanup_buffer serverEntry;
    _pthread_cleanup_push(&serverEntry, [](void *flag) { *static_cast<bool *>(flag) = true; }, ran);
    nest(2, [] { pthread_exit(nullptr); });
    _pthread_cleanup_pop(&serverEntry, 0);
    return nullptr;
}

// The server's entry runs on the way out.
TEST(FaultTrapCalls, TheServersCleanupEntryRunsWhenTheThreadEndsInsideACall)
{
    bool ran = false;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, threadEndedInsideACall, &ran), 0);
    pthread_join(thread, nullptr);
    EXPECT_TRUE(ran);
}
#endif

#if defined(KX_CALLOC_CAN_FAIL)
// A call opened below every open one while allocations fail.
__attribute__((noinline)) void expectRefusedWithoutMemory()
{
    kxFaultTrapFrame frame;
    callocFails = true;
    kxFaultTrapCall *const call = kxFaultTrapEnter(&frame);
    callocFails = false;
    EXPECT_EQ(call, nullptr);
}

// Without memory for the thread's records, or for a block past the first,
// the call is refused and the thread's cancellation is as it was.
TEST(FaultTrapCalls, ACallWithoutMemoryForItsRecordIsRefusedAndChangesNothing)
{
    std::thread([] {
        expectRefusedWithoutMemory();
        EXPECT_TRUE(isCancellable());
        nest(16, [] {
            expectRefusedWithoutMemory();
            EXPECT_FALSE(isCancellable()); // the sixteen open calls still defer it
        });
        EXPECT_TRUE(isCancellable());
        nest(17, [] {});
    }).join();
}
#endif

} // namespace

