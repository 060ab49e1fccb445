// Windows' own side of fault containment, beside the cases it shares with
// POSIX systems (faultGuardTest.cpp, built into this program too): the guard's
// vectored handler stays first in line during a call, and leaves guard-page
// hits and the thread's last error to the server.
#include "faultGuard.h"
#include "faultTestServer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

// A server handler registered first in line after the load: the module's
// handler, registered at its first call, still comes first.
TEST(FaultGuardWindowsTest, ServerHandlerFirstInLineDoesNotSeeTheCallsFaults)
{
    FaultTestServer server;
    void *const first = AddVectoredExceptionHandler(1, recoveringServerHandler);
    const int before = serverFaults;
    EXPECT_EQ(server.notifyUnreadable(), 6);
    RemoveVectoredExceptionHandler(first);
    EXPECT_EQ(serverFaults, before);
}

// A guard page is its owner's: the hit reaches the server, the call completes.
std::atomic<int> guardPageHits{0};
LONG CALLBACK serverGuardPageHandler(EXCEPTION_POINTERS *pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_GUARD_PAGE)
        return EXCEPTION_CONTINUE_SEARCH;
    ++guardPageHits;
    return EXCEPTION_CONTINUE_EXECUTION; // the system has cleared the guard
}

TEST(FaultGuardWindowsTest, GuardPageHitInACallReachesTheServer)
{
    FaultTestServer server;
    void *const handler = AddVectoredExceptionHandler(0, serverGuardPageHandler);
    Pages job(kx::Job::kRecordSize);
    std::memcpy(job.bytes(), server.goodJob.bytes(), kx::Job::kRecordSize);
    DWORD old = 0;
    VirtualProtect(job.bytes(), 1, PAGE_READWRITE | PAGE_GUARD, &old);
    EXPECT_EQ(server.notify(job.bytes()), 14);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_EQ(guardPageHits, 1);
    EXPECT_EQ(server.log->lines.size(), 2u);
}

// A fault of the server's passing through the module's handler leaves the
// thread's last error as it was.
TEST(FaultGuardWindowsTest, LastErrorSurvivesAFaultTheServerHandles)
{
    Pages page(1);
    page.protectAll();
    struct Context
    {
        Pages *page;
        DWORD seen;
    } context{&page, 0};
    const kx::ContainedWork work = [](void *raw) -> int {
        auto *c = static_cast<Context *>(raw);
        std::thread([c] {
            SetLastError(4242);
            *static_cast<volatile unsigned char *>(c->page->bytes()) = 1; // mended by the server's handler
            c->seen = GetLastError();
        }).join();
        return 1;
    };
    EXPECT_EQ(kx::runFaultContained(work, &context), 1);
    EXPECT_EQ(context.seen, 4242u);
}

} // namespace
