// The resident fault trap's per-thread records, driven through its two
// functions as the module drives them: a thread's records are made at its
// first call and freed when it ends, and calls nested as deep as the first
// block holds take no memory of their own. A server runs thread pools for
// months; a record lost per thread, or an allocation per call, adds up.
#include "faultTrap_posix.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstddef>
#include <thread>

extern "C" __attribute__((weak)) std::size_t __sanitizer_get_current_allocated_bytes();

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

} // namespace
