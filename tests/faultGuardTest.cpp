// Memory faults inside pNotify, driven through the loaded module the way a
// server drives it: faults on the calling thread end the call with 6, every
// other fault still reaches the server's own handler.
#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxServerRecords.h"
#include "kxServerSdkObject.h"
#include "records/kxClientRecord.h"
#include "records/kxJobRecord.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <csignal>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#if defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define KX_TEST_LSAN 1
#  endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#  define KX_TEST_LSAN 1
#endif
#if defined(KX_TEST_LSAN)
#  include <sanitizer/lsan_interface.h>
#endif

#include "recordingLog.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::size_t kPageSize = std::size_t(sysconf(_SC_PAGESIZE));
const std::size_t kJobPages = (kx::Job::kRecordSize + kPageSize - 1) / kPageSize;

// A fault contained mid-call skips the destructors of the strings the call
// had built: that memory is lost by design. The leak checker is told to
// ignore what this thread allocates while the pause lasts.
class LeakCheckPause
{
public:
#if defined(KX_TEST_LSAN)
    LeakCheckPause() { __lsan_disable(); }
    ~LeakCheckPause() { __lsan_enable(); }
#else
    LeakCheckPause() = default;
    ~LeakCheckPause() = default;
#endif
    LeakCheckPause(const LeakCheckPause &) = delete;
    LeakCheckPause &operator=(const LeakCheckPause &) = delete;
};

// Pages of the process's own, readable and writable until protected.
class MappedPages
{
public:
    explicit MappedPages(std::size_t pages, int fd = -1)
        : m_size(pages * kPageSize)
    {
        m_bytes = static_cast<unsigned char *>(
            mmap(nullptr, m_size, PROT_READ | PROT_WRITE, fd < 0 ? MAP_PRIVATE | MAP_ANONYMOUS : MAP_SHARED, fd, 0));
        if (m_bytes == MAP_FAILED)
            m_bytes = nullptr;
    }
    ~MappedPages()
    {
        if (m_bytes)
            munmap(m_bytes, m_size);
    }
    MappedPages(const MappedPages &) = delete;
    MappedPages &operator=(const MappedPages &) = delete;

    unsigned char *bytes() const noexcept { return m_bytes; }
    void protectPageOf(std::size_t offset) const { mprotect(m_bytes + offset / kPageSize * kPageSize, kPageSize, PROT_NONE); }
    void protectAll() const { mprotect(m_bytes, m_size, PROT_NONE); }

private:
    std::size_t m_size;
    unsigned char *m_bytes;
};

// The server: its SDK object with a recording log, a job, and the module.
class FaultGuardTest : public ::testing::Test
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

    KxPluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    KxServerSdkObject sdk;
    RecordingLog *log = nullptr;
    KxJobRecordBuilder goodJob; // recipient list empty: start line, warning, 14
};

// A job record copied into fresh pages, with the page holding `faultOffset` cut off.
struct BrokenJob
{
    const char *name;
    std::size_t faultOffset;  // where the first faulting access lies
    bool sharedFileTooShort;  // SIGBUS: a file mapping past the file's end
    std::size_t expectedLines;
};

const BrokenJob kBrokenJobs[] = {
    // The job ID is read for the start line before anything is logged.
    {"whole record unmapped", 0, false, 0},
    // Layout markers and ID readable, the recipient list not: the start line is out.
    {"recipient list unmapped", kx::Job::kRecipientListOffset, false, 1},
    {"recipient list past the end of a mapped file", kx::Job::kRecipientListOffset, true, 1},
    {"whole record past the end of a mapped file", 0, true, 0},
};

TEST_F(FaultGuardTest, FaultOnCallingThreadEndsCallWith6AndModuleStaysUsable)
{
    for (const BrokenJob &broken : kBrokenJobs) {
        SCOPED_TRACE(broken.name);
        int fd = -1;
        if (broken.sharedFileTooShort) {
            fd = memfd_create("job", 0);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(ftruncate(fd, off_t(broken.faultOffset / kPageSize * kPageSize)), 0);
        }
        MappedPages pages(kJobPages, fd);
        ASSERT_NE(pages.bytes(), nullptr);
        const std::size_t readable = broken.sharedFileTooShort ? broken.faultOffset / kPageSize * kPageSize
                                                               : kx::Job::kRecordSize;
        std::memcpy(pages.bytes(), goodJob.bytes(), readable);
        if (!broken.sharedFileTooShort)
            pages.protectPageOf(broken.faultOffset);

        log->lines.clear();
        EXPECT_EQ(notify(pages.bytes()), 6);
        EXPECT_EQ(log->lines.size(), broken.expectedLines);
        if (fd >= 0)
            close(fd);
        expectNextCallRunsNormally();
    }
}

TEST_F(FaultGuardTest, RepeatedFaultsAreEachContained)
{
    MappedPages pages(kJobPages);
    ASSERT_NE(pages.bytes(), nullptr);
    pages.protectPageOf(0);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(notify(pages.bytes()), 6) << "call " << i;
    expectNextCallRunsNormally();
}

// A client-table entry that points into pages the server has unmapped: the
// name read faults in the middle of the delivery. The client before it keeps
// the text it already received, and the server's next call runs normally.
TEST_F(FaultGuardTest, ClientEntryIntoAnUnmappedPageEndsCallWith6)
{
    KxClientTableBuilder clients;
    clients.addClient(QStringLiteral("render01"));
    clients.addClient(QStringLiteral("render01"));
    clients.addClient(QStringLiteral("render01"));
    sdk.setClientTable(clients.table());
    KxJobRecordBuilder job;
    job.setId(1, 1234567);
    job.setProgressCode(200);
    job.setRecipients(QStringLiteral("render01"));

    MappedPages unmapped((kx::Client::kRecordSize + kPageSize - 1) / kPageSize);
    ASSERT_NE(unmapped.bytes(), nullptr);
    unmapped.protectAll();
    unsigned char *const healthy = clients.table()->clients[1];
    clients.table()->clients[1] = unmapped.bytes();

    log->lines.clear();
    {
        [[maybe_unused]] const LeakCheckPause pause;
        EXPECT_EQ(notify(job.record()), 6);
    }
    // The start line and the text; the summary never comes.
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_FALSE(clients.messageBox(0).isEmpty());
    EXPECT_TRUE(clients.messageBox(2).isEmpty());
    const QString firstDelivery = clients.messageBox(0);

    // The server mends its table and calls again.
    clients.table()->clients[1] = healthy;
    log->lines.clear();
    EXPECT_EQ(notify(job.record()), 1);
    ASSERT_EQ(log->lines.size(), 3u);
    EXPECT_EQ(log->lines[2].category, 17);
    EXPECT_TRUE(clients.messageBox(0).startsWith(firstDelivery + QStringLiteral("\n\n")));
    EXPECT_FALSE(clients.messageBox(1).isEmpty());
    EXPECT_FALSE(clients.messageBox(2).isEmpty());
    expectNextCallRunsNormally();
}

// Null pointers never get as far as a fault: they are refused up front as a
// layout mismatch, before anything is read or logged.
TEST_F(FaultGuardTest, NullPointersAreALayoutMismatchNotAFault)
{
    EXPECT_EQ(module.notify(nullptr), 5);
    _kxNotifyParams noSdk{nullptr, goodJob.record()};
    EXPECT_EQ(module.notify(&noSdk), 5);
    _kxNotifyParams noJob{sdk.sdkInterface(), nullptr};
    EXPECT_EQ(module.notify(&noJob), 5);
    EXPECT_TRUE(log->lines.empty());
    expectNextCallRunsNormally();
}

// Exceptions from the server's side of a call end it like a fault does, and
// the handlers are untouched by the unwinding.
TEST_F(FaultGuardTest, ExceptionsFromTheServerLogEndTheCallWith6)
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

// The server's own fault handling, which recovers with a jump of its own.
sigjmp_buf serverRecovery;
volatile sig_atomic_t serverHandlerRuns = 0;
void serverFaultHandler(int, siginfo_t *, void *)
{
    ++serverHandlerRuns;
    siglongjmp(serverRecovery, 1);
}

bool touchesWithoutFault(volatile const unsigned char *address)
{
    if (sigsetjmp(serverRecovery, 1) != 0)
        return false;
    (void)*address;
    return true;
}

// The flags a program chooses; the C library adds a restorer flag of its own
// whenever it installs a handler.
constexpr int kChosenFlags = SA_SIGINFO | SA_ONSTACK | SA_RESTART | SA_NODEFER | SA_RESETHAND;

bool sameAction(const struct sigaction &a, const struct sigaction &b)
{
    return a.sa_sigaction == b.sa_sigaction && (a.sa_flags & kChosenFlags) == (b.sa_flags & kChosenFlags);
}

TEST_F(FaultGuardTest, ServerHandlerStaysInstalledAndStillReceivesFaultsOutsideTheCall)
{
    for (const int signalNumber : {SIGSEGV, SIGBUS}) {
        SCOPED_TRACE(signalNumber);
        struct sigaction server = {};
        server.sa_sigaction = serverFaultHandler;
        server.sa_flags = SA_SIGINFO;
        sigemptyset(&server.sa_mask);
        struct sigaction before = {};
        ASSERT_EQ(sigaction(signalNumber, &server, &before), 0);

        MappedPages pages(kJobPages);
        ASSERT_NE(pages.bytes(), nullptr);
        pages.protectPageOf(0);
        serverHandlerRuns = 0;
        EXPECT_EQ(notify(pages.bytes()), 6);
        EXPECT_EQ(serverHandlerRuns, 0) << "a contained fault reached the server";
        expectNextCallRunsNormally();

        struct sigaction after = {};
        ASSERT_EQ(sigaction(signalNumber, nullptr, &after), 0);
        EXPECT_TRUE(sameAction(after, server)) << "the server's handler was not put back";

        if (signalNumber == SIGSEGV) {
            EXPECT_FALSE(touchesWithoutFault(pages.bytes()));
            EXPECT_EQ(serverHandlerRuns, 1);
        }
        sigaction(signalNumber, &before, nullptr);
    }
}

TEST_F(FaultGuardTest, DefaultHandlersAreLeftAsTheyWere)
{
    struct sigaction segvBefore = {};
    struct sigaction busBefore = {};
    sigaction(SIGSEGV, nullptr, &segvBefore);
    sigaction(SIGBUS, nullptr, &busBefore);
    MappedPages pages(kJobPages);
    ASSERT_NE(pages.bytes(), nullptr);
    pages.protectPageOf(0);
    EXPECT_EQ(notify(pages.bytes()), 6);
    EXPECT_EQ(notify(goodJob.record()), 14);
    struct sigaction segvAfter = {};
    struct sigaction busAfter = {};
    sigaction(SIGSEGV, nullptr, &segvAfter);
    sigaction(SIGBUS, nullptr, &busAfter);
    EXPECT_TRUE(sameAction(segvBefore, segvAfter));
    EXPECT_TRUE(sameAction(busBefore, busAfter));
}

// pNotify called again from inside the server's log while a call runs: the
// inner fault ends only the inner call, and the outer call is still guarded.
TEST_F(FaultGuardTest, NestedCallsAreContainedSeparately)
{
    MappedPages unmapped(kJobPages);
    ASSERT_NE(unmapped.bytes(), nullptr);
    unmapped.protectPageOf(0);
    MappedPages outerJob(kJobPages);
    ASSERT_NE(outerJob.bytes(), nullptr);
    std::memcpy(outerJob.bytes(), goodJob.bytes(), kx::Job::kRecordSize);
    outerJob.protectPageOf(kx::Job::kRecipientListOffset);

    std::vector<int> innerResults;
    log->onLine = [&] {
        if (innerResults.empty()) {
            innerResults.push_back(0);
            innerResults.back() = notify(unmapped.bytes());
        }
    };
    EXPECT_EQ(notify(outerJob.bytes()), 6);
    ASSERT_EQ(innerResults.size(), 1u);
    EXPECT_EQ(innerResults[0], 6);
    log->onLine = nullptr;
    expectNextCallRunsNormally();
}

// Runs body in a child process and returns its wait status, so faults that
// must not be contained can end the child without ending the tests.
int waitStatusOfChild(const std::function<void()> &body)
{
    const pid_t child = fork();
    if (child == 0) {
        alarm(5); // a signal passed round in a loop ends the child with SIGALRM
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

constexpr int kServerHandlerExit = 42;
void exitingServerHandler(int) { _exit(kServerHandlerExit); }

void installServerHandler(void (*handler)(int), int flags = 0)
{
    struct sigaction server = {};
    server.sa_handler = handler;
    server.sa_flags = flags;
    sigemptyset(&server.sa_mask);
    sigaction(SIGSEGV, &server, nullptr);
}

// A one-shot handler (SA_RESETHAND) expects the default action back in place
// when it runs: after it returns, the repeated fault, or a signal it raises
// again, ends the process instead of reaching it once more.
void returningServerHandler(int) {}
void reraisingServerHandler(int signalNumber) { raise(signalNumber); }

TEST_F(FaultGuardTest, FaultsThatAreNotTheCallsOwnReachTheServer)
{
    MappedPages unmapped(1);
    ASSERT_NE(unmapped.bytes(), nullptr);
    unmapped.protectPageOf(0);
    volatile const unsigned char *const fault = unmapped.bytes();
    auto faultOnAnotherThread = [fault] { std::thread([fault] { (void)*fault; }).join(); };
    auto sendSegv = [] { raise(SIGSEGV); };

    struct Case
    {
        const char *name;
        std::function<void()> duringCall;
        void (*serverHandler)(int);
        int flags;
        bool serverHandlerEndsProcess; // else the default action ends it with SIGSEGV
    };
    const Case cases[] = {
        {"fault on another thread, server handler", faultOnAnotherThread, exitingServerHandler, 0, true},
        {"fault on another thread, default action", faultOnAnotherThread, SIG_DFL, 0, false},
        {"signal sent to the calling thread, server handler", sendSegv, exitingServerHandler, 0, true},
        {"signal sent to the calling thread, default action", sendSegv, SIG_DFL, 0, false},
        {"fault on another thread, one-shot handler returns", faultOnAnotherThread, returningServerHandler,
         int(SA_RESETHAND), false},
        {"fault on another thread, one-shot handler raises again", faultOnAnotherThread, reraisingServerHandler,
         int(SA_RESETHAND), false},
        {"signal sent to the calling thread, one-shot handler raises again", sendSegv, reraisingServerHandler,
         int(SA_RESETHAND), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int status = waitStatusOfChild([&] {
            installServerHandler(c.serverHandler, c.flags);
            log->onLine = c.duringCall;
            // Reaching the end means the signal was swallowed.
            _exit(10 + notify(goodJob.record()));
        });
        if (c.serverHandlerEndsProcess) {
            ASSERT_TRUE(WIFEXITED(status)) << status;
            EXPECT_EQ(WEXITSTATUS(status), kServerHandlerExit);
        } else {
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), SIGSEGV);
        }
    }
}

// A signal sent while the server ignores it stays ignored, whether the
// server chose the ignoring with or without SA_SIGINFO.
TEST_F(FaultGuardTest, IgnoredSignalSentDuringTheCallStaysIgnored)
{
    for (const int flags : {0, SA_SIGINFO}) {
        SCOPED_TRACE(flags);
        const int status = waitStatusOfChild([&] {
            installServerHandler(SIG_IGN, flags);
            log->onLine = [] { raise(SIGSEGV); };
            _exit(10 + notify(goodJob.record()));
        });
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 10 + 14);
    }
}

} // namespace
