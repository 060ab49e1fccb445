// Fault containment on Windows, as a hostile server sees it: pages made
// inaccessible with VirtualProtect, faults of every contained kind on the
// calling thread, nested calls, several threads at once, and a server whose
// own vectored handler must still get every fault that is not the call's.
#include "faultGuard.h"
#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxNotifyContract.h"
#include "kxServerSdkObject.h"
#include "records/kxClientRecord.h"
#include "records/kxJobRecord.h"
#include "recordingLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <windows.h>

namespace {

std::size_t pageSize()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

const std::size_t kPageSize = pageSize();
const std::size_t kJobPages = (kx::Job::kRecordSize + kPageSize - 1) / kPageSize;

// Pages of the process's own, readable and writable until protected.
class Pages
{
public:
    explicit Pages(std::size_t pages)
        : m_size(pages * kPageSize),
          m_bytes(static_cast<unsigned char *>(VirtualAlloc(nullptr, m_size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
    {
    }
    ~Pages()
    {
        if (m_bytes)
            VirtualFree(m_bytes, 0, MEM_RELEASE);
    }
    Pages(const Pages &) = delete;
    Pages &operator=(const Pages &) = delete;

    unsigned char *bytes() const noexcept { return m_bytes; }
    void protectPageOf(std::size_t offset, DWORD protection = PAGE_NOACCESS) const
    {
        DWORD old = 0;
        VirtualProtect(m_bytes + offset / kPageSize * kPageSize, kPageSize, protection, &old);
    }
    void protectAll(DWORD protection = PAGE_NOACCESS) const
    {
        DWORD old = 0;
        VirtualProtect(m_bytes, m_size, protection, &old);
    }

private:
    std::size_t m_size;
    unsigned char *m_bytes;
};

// The server's own vectored handler: it counts the access violations it is
// given and mends them by making the page readable and writable again.
std::atomic<int> serverHandlerRuns{0};
LONG CALLBACK serverHandler(EXCEPTION_POINTERS *pointers)
{
    const EXCEPTION_RECORD *record = pointers->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    ++serverHandlerRuns;
    DWORD old = 0;
    void *const address = reinterpret_cast<void *>(record->ExceptionInformation[1]);
    if (!VirtualProtect(address, 1, PAGE_READWRITE, &old))
        return EXCEPTION_CONTINUE_SEARCH;
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Installs serverHandler for the scope, last in line like a server that set
// its handler up long before the module was loaded.
class ServerHandler
{
public:
    ServerHandler()
        : m_handle(AddVectoredExceptionHandler(0, serverHandler))
    {
        serverHandlerRuns = 0;
    }
    ~ServerHandler() { RemoveVectoredExceptionHandler(m_handle); }
    ServerHandler(const ServerHandler &) = delete;
    ServerHandler &operator=(const ServerHandler &) = delete;
    bool installed() const noexcept { return m_handle != nullptr; }

private:
    void *m_handle;
};

// The server: its SDK object with a recording log, a job, and the module.
class FaultGuardWindowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.load()) << qPrintable(module.errorString());
        log = &sdk.installLog<RecordingLog>();
        goodJob.setId(1, 1234567);
    }

    int notify(void *job)
    {
        _kxNotifyParams params{sdk.sdkInterface(), static_cast<_kxJob *>(job)};
        return module.notify(&params);
    }

    // A fault must leave the module fully usable: the next call runs normally.
    void expectNextCallRunsNormally()
    {
        log->lines.clear();
        EXPECT_EQ(notify(goodJob.record()), 14);
        ASSERT_EQ(log->lines.size(), 2u);
        EXPECT_EQ(log->lines[1].category, 2);
    }

    kx::server::PluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    kx::server::SdkObject sdk;
    RecordingLog *log = nullptr;
    kx::server::JobRecordBuilder goodJob; // recipient list empty: start line, warning, 14
};

struct BrokenJob
{
    const char *name;
    std::size_t faultOffset; // where the first faulting access lies
    DWORD protection;
    std::size_t expectedLines;
};

const BrokenJob kBrokenJobs[] = {
    // The job ID is read for the start line before anything is logged.
    {"whole record no access", 0, PAGE_NOACCESS, 0},
    // Layout markers and ID readable, the recipient list not: the start line is out.
    {"recipient list no access", kx::Job::kRecipientListOffset, PAGE_NOACCESS, 1},
};

TEST_F(FaultGuardWindowsTest, FaultOnCallingThreadEndsCallWith6AndModuleStaysUsable)
{
    for (const BrokenJob &broken : kBrokenJobs) {
        SCOPED_TRACE(broken.name);
        Pages pages(kJobPages);
        ASSERT_NE(pages.bytes(), nullptr);
        std::memcpy(pages.bytes(), goodJob.bytes(), kx::Job::kRecordSize);
        pages.protectPageOf(broken.faultOffset, broken.protection);
        log->lines.clear();
        EXPECT_EQ(notify(pages.bytes()), 6);
        EXPECT_EQ(log->lines.size(), broken.expectedLines);
        expectNextCallRunsNormally();
    }
}

TEST_F(FaultGuardWindowsTest, RepeatedFaultsAreEachContained)
{
    Pages pages(kJobPages);
    ASSERT_NE(pages.bytes(), nullptr);
    pages.protectPageOf(0);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(notify(pages.bytes()), 6) << "call " << i;
    expectNextCallRunsNormally();
}

// A client-table entry that points into pages the server has made
// inaccessible: the fault comes in the middle of the delivery. The client
// before it keeps the text it already received.
TEST_F(FaultGuardWindowsTest, ClientEntryIntoANoAccessPageEndsCallWith6)
{
    kx::server::ClientTableBuilder clients;
    clients.addClient(QStringLiteral("render01"));
    clients.addClient(QStringLiteral("render01"));
    clients.addClient(QStringLiteral("render01"));
    sdk.setClientTable(clients.table());
    kx::server::JobRecordBuilder job;
    job.setId(1, 1234567);
    job.setProgressCode(200);
    job.setRecipients(QStringLiteral("render01"));

    Pages noAccess((kx::Client::kRecordSize + kPageSize - 1) / kPageSize);
    ASSERT_NE(noAccess.bytes(), nullptr);
    noAccess.protectAll();
    unsigned char *const healthy = clients.table()->clients[1];
    clients.table()->clients[1] = noAccess.bytes();

    log->lines.clear();
    EXPECT_EQ(notify(job.record()), 6);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_FALSE(clients.messageBox(0).isEmpty());
    EXPECT_TRUE(clients.messageBox(2).isEmpty());

    clients.table()->clients[1] = healthy;
    log->lines.clear();
    EXPECT_EQ(notify(job.record()), 1);
    ASSERT_EQ(log->lines.size(), 3u);
    EXPECT_FALSE(clients.messageBox(1).isEmpty());
    EXPECT_FALSE(clients.messageBox(2).isEmpty());
    expectNextCallRunsNormally();
}

// A message box the server made read-only: the append is a write fault.
TEST_F(FaultGuardWindowsTest, WriteToAReadOnlyClientRecordEndsCallWith6)
{
    kx::server::ClientTableBuilder clients;
    clients.addClient(QStringLiteral("render01"));
    sdk.setClientTable(clients.table());
    kx::server::JobRecordBuilder job;
    job.setId(1, 1234567);
    job.setProgressCode(200);
    job.setRecipients(QStringLiteral("render01"));

    Pages readOnly((kx::Client::kRecordSize + kPageSize - 1) / kPageSize);
    ASSERT_NE(readOnly.bytes(), nullptr);
    std::memcpy(readOnly.bytes(), clients.table()->clients[0], kx::Client::kRecordSize);
    readOnly.protectAll(PAGE_READONLY);
    unsigned char *const healthy = clients.table()->clients[0];
    clients.table()->clients[0] = readOnly.bytes();
    EXPECT_EQ(notify(job.record()), 6);
    clients.table()->clients[0] = healthy;
    expectNextCallRunsNormally();
}

TEST_F(FaultGuardWindowsTest, NullPointersAreALayoutMismatchNotAFault)
{
    EXPECT_EQ(module.notify(nullptr), 5);
    _kxNotifyParams noSdk{nullptr, goodJob.record()};
    EXPECT_EQ(module.notify(&noSdk), 5);
    _kxNotifyParams noJob{sdk.sdkInterface(), nullptr};
    EXPECT_EQ(module.notify(&noJob), 5);
    EXPECT_TRUE(log->lines.empty());
    expectNextCallRunsNormally();
}

TEST_F(FaultGuardWindowsTest, ExceptionsFromTheServerLogEndTheCallWith6)
{
    const std::function<void()> throwers[] = {
        [] { throw std::runtime_error("log file gone"); },
        [] { throw std::bad_alloc(); },
        [] { throw 17; },
    };
    for (const auto &thrower : throwers) {
        log->onLine = thrower;
        EXPECT_EQ(notify(goodJob.record()), 6);
    }
    log->onLine = nullptr;
    expectNextCallRunsNormally();
}

// A fault inside the server's own log, called from inside pNotify, is raised
// inside the call and ends it.
TEST_F(FaultGuardWindowsTest, FaultInTheServerLogDuringTheCallEndsItWith6)
{
    Pages pages(1);
    ASSERT_NE(pages.bytes(), nullptr);
    pages.protectAll();
    volatile unsigned char *const noAccess = pages.bytes();
    log->onLine = [noAccess] { *noAccess = 1; };
    EXPECT_EQ(notify(goodJob.record()), 6);
    log->onLine = nullptr;
    expectNextCallRunsNormally();
}

// pNotify called again from inside the server's log while a call runs: the
// inner fault ends only the inner call, and the outer call is still guarded.
TEST_F(FaultGuardWindowsTest, NestedCallsAreContainedSeparately)
{
    Pages noAccess(kJobPages);
    ASSERT_NE(noAccess.bytes(), nullptr);
    noAccess.protectPageOf(0);
    Pages outerJob(kJobPages);
    ASSERT_NE(outerJob.bytes(), nullptr);
    std::memcpy(outerJob.bytes(), goodJob.bytes(), kx::Job::kRecordSize);
    outerJob.protectPageOf(kx::Job::kRecipientListOffset);

    std::vector<int> innerResults;
    log->onLine = [&] {
        if (innerResults.empty()) {
            innerResults.push_back(0);
            innerResults.back() = notify(noAccess.bytes());
        }
    };
    EXPECT_EQ(notify(outerJob.bytes()), 6);
    ASSERT_EQ(innerResults.size(), 1u);
    EXPECT_EQ(innerResults[0], 6);
    log->onLine = nullptr;
    expectNextCallRunsNormally();
}

// Four server threads at once, each with its own log and records, faulting
// on every other call: every fault ends only its own call.
TEST_F(FaultGuardWindowsTest, FourThreadsAtOnceEachContainTheirOwnFaults)
{
    constexpr int kThreads = 4;
    constexpr int kCalls = 50;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, &failures] {
            kx::server::SdkObject ownSdk;
            ownSdk.installLog<RecordingLog>();
            kx::server::JobRecordBuilder ownJob;
            ownJob.setId(1, 1234567);
            Pages noAccess(kJobPages);
            if (!noAccess.bytes()) {
                ++failures;
                return;
            }
            noAccess.protectPageOf(0);
            for (int call = 0; call < kCalls; ++call) {
                const bool faulting = call % 2 == 0;
                _kxNotifyParams params{ownSdk.sdkInterface(),
                                       static_cast<_kxJob *>(faulting ? static_cast<void *>(noAccess.bytes())
                                                                      : static_cast<void *>(ownJob.record()))};
                if (module.notify(&params) != (faulting ? 6 : 14))
                    ++failures;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    expectNextCallRunsNormally();
}

// While one thread is inside a call, a fault on another thread is the
// server's: its handler mends it and the call goes on undisturbed.
TEST_F(FaultGuardWindowsTest, FaultOfAnotherThreadDuringACallReachesTheServer)
{
    ServerHandler server;
    ASSERT_TRUE(server.installed());
    Pages pages(1);
    ASSERT_NE(pages.bytes(), nullptr);
    pages.protectAll();
    volatile unsigned char *const noAccess = pages.bytes();
    bool otherThreadFinished = false;
    log->onLine = [&] {
        if (!otherThreadFinished) {
            std::thread other([noAccess] { *noAccess = 7; });
            other.join();
            otherThreadFinished = true;
        }
    };
    EXPECT_EQ(notify(goodJob.record()), 14);
    log->onLine = nullptr;
    EXPECT_TRUE(otherThreadFinished);
    EXPECT_EQ(serverHandlerRuns.load(), 1);
    EXPECT_EQ(*noAccess, 7);
}

// Faults of the server between calls reach its handler, before and after
// contained faults, and after the module is unloaded: nothing of the module's
// handler is left behind to run code that is no longer there.
TEST_F(FaultGuardWindowsTest, ServerHandlerStillReceivesFaultsOutsideTheCall)
{
    ServerHandler server;
    ASSERT_TRUE(server.installed());
    Pages pages(1);
    ASSERT_NE(pages.bytes(), nullptr);
    volatile unsigned char *const bytes = pages.bytes();

    pages.protectAll();
    *bytes = 1;
    EXPECT_EQ(serverHandlerRuns.load(), 1);

    Pages noAccessJob(kJobPages);
    ASSERT_NE(noAccessJob.bytes(), nullptr);
    noAccessJob.protectPageOf(0);
    EXPECT_EQ(notify(noAccessJob.bytes()), 6);
    EXPECT_EQ(serverHandlerRuns.load(), 1); // the call's own fault is not the server's

    pages.protectAll();
    *bytes = 2;
    EXPECT_EQ(serverHandlerRuns.load(), 2);

    ASSERT_TRUE(module.unload()) << qPrintable(module.errorString());
    pages.protectAll();
    *bytes = 3;
    EXPECT_EQ(serverHandlerRuns.load(), 3);
    EXPECT_EQ(*bytes, 3);
}

// A server handler registered first in line, before any call: the module's
// handler still comes first during a call, and the server sees nothing of it.
TEST_F(FaultGuardWindowsTest, ServerHandlerFirstInLineDoesNotSeeTheCallsFaults)
{
    void *const first = AddVectoredExceptionHandler(1, serverHandler);
    ASSERT_NE(first, nullptr);
    serverHandlerRuns = 0;
    Pages noAccessJob(kJobPages);
    ASSERT_NE(noAccessJob.bytes(), nullptr);
    noAccessJob.protectPageOf(0);
    EXPECT_EQ(notify(noAccessJob.bytes()), 6);
    RemoveVectoredExceptionHandler(first);
    EXPECT_EQ(serverHandlerRuns.load(), 0);
}

// A guard page is its owner's: the hit goes to the server's handler, which
// lets the access go on, and the call completes.
std::atomic<int> guardPageHits{0};
LONG CALLBACK serverGuardPageHandler(EXCEPTION_POINTERS *pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_GUARD_PAGE)
        return EXCEPTION_CONTINUE_SEARCH;
    ++guardPageHits;
    return EXCEPTION_CONTINUE_EXECUTION; // the system has already cleared the guard
}

TEST_F(FaultGuardWindowsTest, GuardPageHitInACallReachesTheServer)
{
    void *const handle = AddVectoredExceptionHandler(0, serverGuardPageHandler);
    ASSERT_NE(handle, nullptr);
    guardPageHits = 0;
    Pages pages(kJobPages);
    ASSERT_NE(pages.bytes(), nullptr);
    std::memcpy(pages.bytes(), goodJob.bytes(), kx::Job::kRecordSize);
    pages.protectPageOf(0, PAGE_READWRITE | PAGE_GUARD);
    log->lines.clear();
    EXPECT_EQ(notify(pages.bytes()), 14);
    EXPECT_EQ(guardPageHits.load(), 1);
    EXPECT_EQ(log->lines.size(), 2u);
    RemoveVectoredExceptionHandler(handle);
    expectNextCallRunsNormally();
}

// The server's log leaves pNotify with a jump back into the server, with or
// without unwinding the frames in between. The call is over: a later fault in
// the server's own code on that thread is the server's, not a jump into the
// call's dead frame, and the next call on the thread is guarded as before.
std::jmp_buf serverJump;
void *serverBuiltinJump[5];

__attribute__((noinline)) bool notifyLeftByLongjmp(const std::function<int()> &call)
{
    if (setjmp(serverJump) != 0)
        return true;
    call();
    return false;
}

__attribute__((noinline)) bool notifyLeftByBuiltinLongjmp(const std::function<int()> &call)
{
    if (__builtin_setjmp(serverBuiltinJump) != 0)
        return true;
    call();
    return false;
}

// The server's own code, called from deeper than the call was.
__attribute__((noinline)) void serverWritesDeep(volatile unsigned char *bytes, unsigned char value, int depth)
{
    volatile char pad[512];
    pad[0] = char(value);
    if (depth > 0)
        serverWritesDeep(bytes, value, depth - 1);
    else
        *bytes = value;
    (void)pad[0];
}

struct NonLocalExit
{
    const char *name;
    bool (*leave)(const std::function<int()> &);
    void (*jump)();
};
const NonLocalExit kNonLocalExits[] = {
    {"longjmp", notifyLeftByLongjmp, [] { std::longjmp(serverJump, 1); }},
    {"__builtin_longjmp", notifyLeftByBuiltinLongjmp, [] { __builtin_longjmp(serverBuiltinJump, 1); }},
};

TEST_F(FaultGuardWindowsTest, CallLeftByLongjmpFromTheLogLeavesNothingArmed)
{
    ServerHandler server;
    ASSERT_TRUE(server.installed());
    Pages pages(1);
    ASSERT_NE(pages.bytes(), nullptr);
    volatile unsigned char *const bytes = pages.bytes();
    Pages noAccessJob(kJobPages);
    ASSERT_NE(noAccessJob.bytes(), nullptr);
    noAccessJob.protectPageOf(0);

    for (const NonLocalExit &exit : kNonLocalExits) {
        SCOPED_TRACE(exit.name);
        serverHandlerRuns = 0;
        log->onLine = exit.jump;
        EXPECT_TRUE(exit.leave([this] { return notify(goodJob.record()); }));
        log->onLine = nullptr;

        pages.protectAll();
        *bytes = 1; // the server's fault, from above the dead call
        EXPECT_EQ(serverHandlerRuns.load(), 1);
        EXPECT_EQ(*bytes, 1);

        EXPECT_EQ(notify(noAccessJob.bytes()), 6);
        EXPECT_EQ(serverHandlerRuns.load(), 1);
        expectNextCallRunsNormally();

        // Left again, then a fault from deeper than the call's frame was,
        // after a call from the same depth has replaced the dead one.
        log->onLine = exit.jump;
        EXPECT_TRUE(exit.leave([this] { return notify(goodJob.record()); }));
        log->onLine = nullptr;
        EXPECT_FALSE(exit.leave([this] { return notify(goodJob.record()); }));
        pages.protectAll();
        serverWritesDeep(bytes, 2, 16);
        EXPECT_EQ(serverHandlerRuns.load(), 2);
        EXPECT_EQ(*bytes, 2);
        EXPECT_EQ(notify(noAccessJob.bytes()), 6);
    }
}

// A server thread ended inside pNotify (its log calls ExitThread): nothing
// waits for that call, the other threads' calls are guarded, the server keeps
// its faults, and the module unloads.
TEST_F(FaultGuardWindowsTest, ThreadEndedInsideACallLeavesNothingBehind)
{
    ServerHandler server;
    ASSERT_TRUE(server.installed());
    log->onLine = [] { ExitThread(3); };
    std::function<void()> serverWork = [this] { notify(goodJob.record()); };
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void *raw) -> DWORD {
            (*static_cast<std::function<void()> *>(raw))();
            return 0;
        },
        &serverWork, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 3u);
    log->onLine = nullptr;

    Pages noAccessJob(kJobPages);
    ASSERT_NE(noAccessJob.bytes(), nullptr);
    noAccessJob.protectPageOf(0);
    EXPECT_EQ(notify(noAccessJob.bytes()), 6);
    expectNextCallRunsNormally();

    Pages pages(1);
    ASSERT_NE(pages.bytes(), nullptr);
    volatile unsigned char *const bytes = pages.bytes();
    pages.protectAll();
    *bytes = 4;
    EXPECT_EQ(serverHandlerRuns.load(), 1);
    ASSERT_TRUE(module.unload()) << qPrintable(module.errorString());
    pages.protectAll();
    *bytes = 5;
    EXPECT_EQ(serverHandlerRuns.load(), 2);
}

// The guard itself, on every kind of fault it contains.
volatile int zeroDivisor = 0;
volatile int minusOne = -1;
volatile int smallestInt = INT_MIN;
volatile int *volatile nullAddress = nullptr;

int nullRead(void *) { return *nullAddress; }
int nullWrite(void *) { *nullAddress = 1; return 1; }
int noAccessWrite(void *page) { *static_cast<volatile int *>(page) = 1; return 1; }
int divisionByZero(void *) { return 10 / zeroDivisor; }
int divisionOverflow(void *) { return smallestInt / minusOne; }
int illegalInstruction(void *) { __builtin_trap(); }
int noFault(void *) { return 1; }

struct GuardedFault
{
    const char *name;
    kx::ContainedWork work;
};
const GuardedFault kGuardedFaults[] = {
    {"null read", nullRead},
    {"null write", nullWrite},
    {"write to a PAGE_NOACCESS page", noAccessWrite},
    {"integer division by zero", divisionByZero},
    {"integer division overflow", divisionOverflow},
    {"illegal instruction", illegalInstruction},
};

TEST(FaultGuardWindowsDirectTest, EveryContainedFaultEndsTheWorkWith6)
{
    Pages page(1);
    ASSERT_NE(page.bytes(), nullptr);
    page.protectAll();
    for (const GuardedFault &fault : kGuardedFaults) {
        SCOPED_TRACE(fault.name);
        EXPECT_EQ(kx::runFaultContained(fault.work, page.bytes()), 6);
        EXPECT_EQ(kx::runFaultContained(noFault, nullptr), 1);
    }
}

int nestedWork(void *page)
{
    const int inner = kx::runFaultContained(noAccessWrite, page);
    // Still guarded after the inner call ended with a fault.
    const int second = kx::runFaultContained(divisionByZero, nullptr);
    return inner * 10 + second + *nullAddress;
}

TEST(FaultGuardWindowsDirectTest, NestedFaultsEndOnlyTheirOwnLevel)
{
    Pages page(1);
    ASSERT_NE(page.bytes(), nullptr);
    page.protectAll();
    EXPECT_EQ(kx::runFaultContained(nestedWork, page.bytes()), 6);
    EXPECT_EQ(kx::runFaultContained(noFault, nullptr), 1);
}

// The last error of the thread is the server's: a fault passing through the
// module's handler leaves it as it was.
TEST(FaultGuardWindowsDirectTest, LastErrorSurvivesAFaultTheServerHandles)
{
    ServerHandler server;
    Pages page(1);
    ASSERT_NE(page.bytes(), nullptr);
    page.protectAll();
    struct Context
    {
        volatile unsigned char *page;
        DWORD seen;
    } context{page.bytes(), 0};
    const kx::ContainedWork work = [](void *raw) -> int {
        auto *c = static_cast<Context *>(raw);
        std::thread other([c] {
            SetLastError(4242);
            *c->page = 1; // the server's fault, on a thread outside the call
            c->seen = GetLastError();
        });
        other.join();
        return 1;
    };
    EXPECT_EQ(kx::runFaultContained(work, &context), 1);
    EXPECT_EQ(context.seen, 4242u);
}

} // namespace
