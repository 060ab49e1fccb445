// Faults inside the exports, driven through the loaded module the way a
// server drives it: faults of a call end it with 6, every other fault reaches
// the server's own handler, and nothing the server does (jumping out of its
// log, cancelling threads, loading two copies, installing handlers late) lets
// the guard hurt it.
#include "kxClientTableBuilder.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxNotifyContract.h"
#include "kxServerSdkObject.h"
#include "records/kxClientRecord.h"
#include "records/kxJobRecord.h"

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>

#include <atomic>
#include <chrono>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
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
#  include <sanitizer/asan_interface.h>
#  include <sanitizer/lsan_interface.h>
#endif

#include "recordingLog.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
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

    kx::server::PluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    kx::server::SdkObject sdk;
    RecordingLog *log = nullptr;
    kx::server::JobRecordBuilder goodJob; // recipient list empty: start line, warning, 14
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
    kx::server::ClientTableBuilder clients;
    clients.addClient(QStringLiteral("render01"));
    clients.addClient(QStringLiteral("render01"));
    clients.addClient(QStringLiteral("render01"));
    sdk.setClientTable(clients.table());
    kx::server::JobRecordBuilder job;
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

// ---------------------------------------------------------------------------
// Scenarios that need a process of their own: the server's handlers are in
// place before the module's first call (as in a real server, whose handlers
// the guard's then passes faults on to), and some end the process on purpose.
// Each runs in a fresh copy of this program; a failed check prints its text
// and makes the exit status non-zero.

int scenarioFailures = 0;

void check(bool ok, const char *what)
{
    if (!ok) {
        ++scenarioFailures;
        std::fprintf(stderr, "scenario check failed: %s\n", what);
    }
}
#define KX_CHECK(condition) check((condition), #condition)

// The server's fault handling: a fault it expects in its own code (it set a
// recovery point on this thread) ends with its own jump; any other fault that
// reaches it ends the process with kUnexpectedServerFault.
constexpr int kUnexpectedServerFault = 43;
thread_local sigjmp_buf *serverRecovery = nullptr;
std::atomic<int> serverFaults{0};
struct sigaction handlerBeforeServer[NSIG];

void recoveringServerHandler(int, siginfo_t *, void *)
{
    if (!serverRecovery)
        _exit(kUnexpectedServerFault);
    ++serverFaults;
    siglongjmp(*serverRecovery, 1);
}

// A server that passes faults it does not expect to the handler that was
// installed before its own, as well-behaved runtimes do.
void chainingServerHandler(int signalNumber, siginfo_t *info, void *context)
{
    if (serverRecovery) {
        ++serverFaults;
        siglongjmp(*serverRecovery, 1);
    }
    const struct sigaction &before = handlerBeforeServer[signalNumber];
    if (before.sa_flags & SA_SIGINFO)
        before.sa_sigaction(signalNumber, info, context);
    else
        _exit(kUnexpectedServerFault);
}

void installServerAction(int signalNumber, void (*handler)(int), int flags = 0)
{
    struct sigaction server = {};
    server.sa_handler = handler;
    server.sa_flags = flags;
    sigemptyset(&server.sa_mask);
    sigaction(signalNumber, &server, &handlerBeforeServer[signalNumber]);
}

void installServerHandler(int signalNumber, void (*handler)(int, siginfo_t *, void *))
{
    struct sigaction server = {};
    server.sa_sigaction = handler;
    server.sa_flags = SA_SIGINFO;
    sigemptyset(&server.sa_mask);
    sigaction(signalNumber, &server, &handlerBeforeServer[signalNumber]);
}

// Touches address in the server's own code; true if the server's handler took the fault.
__attribute__((noinline)) bool serverFaultReachesServer(volatile const unsigned char *address)
{
    // Only the server's handler jumps to this thread's recovery point.
    sigjmp_buf recovery;
    serverRecovery = &recovery;
    if (sigsetjmp(recovery, 1) == 0) {
        (void)*address;
        serverRecovery = nullptr;
        return false;
    }
    serverRecovery = nullptr;
    return true;
}

// The same, from frames far below the ones that called the module before.
__attribute__((noinline)) bool deepServerFaultReachesServer(int depth, volatile const unsigned char *address)
{
    volatile unsigned char frame[512];
    for (auto &byte : frame)
        byte = static_cast<unsigned char>(depth);
    const bool reached = depth == 0 ? serverFaultReachesServer(address)
                                    : deepServerFaultReachesServer(depth - 1, address);
    return reached && frame[0] == static_cast<unsigned char>(depth);
}

// The same, from below a stretch of stack this frame never writes: whatever
// an earlier call left there stays as it was.
__attribute__((noinline)) bool serverFaultBelowUntouchedStackReachesServer(volatile const unsigned char *address)
{
    volatile unsigned char untouched[16384];
    untouched[0] = 1; // its deepest byte only
    const bool reached = serverFaultReachesServer(address);
    return reached && untouched[0] == 1;
}

// The server's side of a scenario: the module, its SDK object with a
// recording log, a good job, and an unreadable one.
struct ScenarioServer
{
    explicit ScenarioServer(const QString &path = QStringLiteral(KX_PLUGIN_MODULE_PATH))
        : module(path)
    {
        check(module.load(), "the module loads");
        log = &sdk.installLog<RecordingLog>();
        goodJob.setId(1, 1234567);
        unreadable.protectAll();
    }

    int notify(void *job)
    {
        _kxNotifyParams params{sdk.sdkInterface(), static_cast<_kxJob *>(job)};
        return module.notify(&params);
    }
    int notifyGood() { return notify(goodJob.record()); }
    int notifyUnreadable() { return notify(unreadable.bytes()); }
    volatile const unsigned char *unreadableByte() const { return unreadable.bytes(); }

    kx::server::PluginModule module;
    kx::server::SdkObject sdk;
    RecordingLog *log = nullptr;
    kx::server::JobRecordBuilder goodJob; // no recipients: start line, warning, 14
    MappedPages unreadable{kJobPages};
};

bool isMapped(const QByteArray &pathPart)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(pathPart);
}

QByteArray canonicalPath(const QString &path)
{
    return QFileInfo(path).canonicalFilePath().toLocal8Bit();
}

constexpr int kTrappedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

struct HandlerTable
{
    struct sigaction actions[4];
    bool operator==(const HandlerTable &other) const
    {
        for (int i = 0; i < 4; ++i) {
            if (actions[i].sa_sigaction != other.actions[i].sa_sigaction
                || actions[i].sa_flags != other.actions[i].sa_flags)
                return false;
        }
        return true;
    }
};

HandlerTable currentHandlerTable()
{
    HandlerTable table = {};
    for (int i = 0; i < 4; ++i)
        sigaction(kTrappedSignals[i], nullptr, &table.actions[i]);
    return table;
}

// A server whose log leaves pNotify with a jump of its own: afterwards its
// own faults, near and far below the abandoned call, are still its own, and
// the module goes on containing the faults of its calls.
void longjmpOutOfTheLogThenServerFaults()
{
    installServerHandler(SIGSEGV, recoveringServerHandler);
    ScenarioServer server;
    for (int round = 0; round < 3; ++round) {
        sigjmp_buf leave;
        server.log->onLine = [&leave] { siglongjmp(leave, 1); };
        if (sigsetjmp(leave, 1) == 0) {
            server.notifyGood();
            check(false, "the log jumped out of the call");
        }
#if defined(__GLIBC__)
        // The abandoned call's frame still lies there intact; only the jump
        // itself can have told the guard that the call is over.
        KX_CHECK(serverFaultBelowUntouchedStackReachesServer(server.unreadableByte()));
#endif
        server.log->onLine = nullptr;
        KX_CHECK(serverFaultReachesServer(server.unreadableByte()));
        KX_CHECK(deepServerFaultReachesServer(64, server.unreadableByte()));
    }
    KX_CHECK(server.notifyUnreadable() == 6);
    KX_CHECK(server.notifyGood() == 14);
    KX_CHECK(deepServerFaultReachesServer(64, server.unreadableByte()));
#if defined(__GLIBC__)
    KX_CHECK(serverFaults == 10);
#else
    KX_CHECK(serverFaults == 7);
#endif
}

struct CancelledCall
{
    ScenarioServer *server = nullptr;
    kx::server::JobRecordBuilder *job = nullptr;
    bool exitInsteadOfCancel = false;
    bool asynchronous = false;
    int result = -1;
    int cancelStateAfter = -1;
    bool reachedEnd = false;
};

void *runCancelledCall(void *argument)
{
    auto *call = static_cast<CancelledCall *>(argument);
    call->server->log->onLine = [call] {
        if (call->server->log->lines.size() != 1)
            return;
        if (call->exitInsteadOfCancel)
            pthread_exit(nullptr);
        // Something for the main log's flush to write: it opens the file.
        QString entry = QStringLiteral("server line");
        call->server->sdk.mainLog().addLog(entry);
        pthread_cancel(pthread_self());
    };
    if (call->asynchronous)
        pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    call->result = call->server->notify(call->job->record());
    pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, &call->cancelStateAfter);
    pthread_testcancel();
    call->reachedEnd = true;
    return nullptr;
}

// The server cancels the calling thread during the call (the main log's flush
// opens a file, a cancellation point), or its log ends the thread outright.
// Asynchronous cancellation acts the moment the call gives it back, as the
// call returns: the work is done, the result never reaches the thread.
void threadCancelledDuringACall(bool exitInsteadOfCancel, bool asynchronous = false)
{
    installServerHandler(SIGSEGV, recoveringServerHandler);
    ScenarioServer server;
    QTemporaryDir logs;
    server.sdk.openLogFiles(logs.path());
    kx::server::ClientTableBuilder clients;
    clients.addClient(QStringLiteral("render01"));
    server.sdk.setClientTable(clients.table());
    kx::server::JobRecordBuilder job;
    job.setId(1, 7654321);
    job.setProgressCode(200);
    job.setRecipients(QStringLiteral("render01"));

    CancelledCall call;
    call.server = &server;
    call.job = &job;
    call.exitInsteadOfCancel = exitInsteadOfCancel;
    call.asynchronous = asynchronous;
    pthread_t thread;
    KX_CHECK(pthread_create(&thread, nullptr, runCancelledCall, &call) == 0);
    void *threadResult = nullptr;
    pthread_join(thread, &threadResult);
    KX_CHECK(!call.reachedEnd);
    if (exitInsteadOfCancel) {
        KX_CHECK(threadResult == nullptr);
        KX_CHECK(call.result == -1);
        KX_CHECK(clients.messageBox(0).isEmpty());
    } else {
        // glibc 2.36 ends a thread cancelled inside pthread_setcancelstate
        // without PTHREAD_CANCELED as its result; that it ended there counts.
        KX_CHECK(asynchronous || threadResult == PTHREAD_CANCELED);
        KX_CHECK(call.result == (asynchronous ? -1 : 1));
        KX_CHECK(call.cancelStateAfter == (asynchronous ? -1 : PTHREAD_CANCEL_ENABLE));
        KX_CHECK(server.log->lines.size() == 3);
        KX_CHECK(!clients.messageBox(0).isEmpty());
        KX_CHECK(server.sdk.mainLog().pendingEntries().isEmpty());
    }
    server.log->onLine = nullptr;
    KX_CHECK(server.notifyUnreadable() == 6);
    KX_CHECK(serverFaultReachesServer(server.unreadableByte()));
}

struct OverlappingCopies
{
    ScenarioServer *first;
    ScenarioServer *second;
    std::atomic<int> wrongResults{0};
};

// Two copies of the module (two plug-in folders): calls of one run inside
// calls of the other and beside them on another thread, both fault; then both
// are unloaded and the server's own faults still reach the server.
void twoCopiesOverlapThenUnloaded()
{
    installServerHandler(SIGSEGV, recoveringServerHandler);
    QTemporaryDir secondFolder;
    const QString secondPath = secondFolder.filePath(QFileInfo(QStringLiteral(KX_PLUGIN_MODULE_PATH)).fileName());
    KX_CHECK(QFile::copy(QStringLiteral(KX_PLUGIN_MODULE_PATH), secondPath));
    {
        ScenarioServer first;
        ScenarioServer second(secondPath);
        MappedPages outerJob(kJobPages);
        std::memcpy(outerJob.bytes(), first.goodJob.bytes(), kx::Job::kRecordSize);
        outerJob.protectPageOf(kx::Job::kRecipientListOffset);
        int innerResult = 0;
        first.log->onLine = [&] { innerResult = second.notifyUnreadable(); };

        std::atomic<bool> stop{false};
        std::atomic<int> wrongResults{0};
        std::thread beside([&] {
            for (int i = 0; !stop; ++i) {
                const int expected = i % 2 ? 6 : 14;
                if ((i % 2 ? second.notifyUnreadable() : second.notifyGood()) != expected)
                    ++wrongResults;
            }
        });
        for (int i = 0; i < 200; ++i) {
            innerResult = 0;
            if (first.notify(outerJob.bytes()) != 6 || innerResult != 6)
                ++wrongResults;
        }
        stop = true;
        beside.join();
        KX_CHECK(wrongResults == 0);
        first.log->onLine = nullptr;
        // Qt 5 strings made from the module's literals point into its image.
        first.log->lines.clear();
        second.log->lines.clear();
        KX_CHECK(first.module.unload());
        KX_CHECK(second.module.unload());
        KX_CHECK(!isMapped(canonicalPath(QStringLiteral(KX_PLUGIN_MODULE_PATH))));
        KX_CHECK(!isMapped(canonicalPath(secondPath)));
        KX_CHECK(isMapped(QByteArrayLiteral("/libkxFaultTrap.so.2")));
    }
    MappedPages unmapped(1);
    unmapped.protectAll();
    KX_CHECK(serverFaultReachesServer(unmapped.bytes()));
    KX_CHECK(deepServerFaultReachesServer(64, unmapped.bytes()));
}

#if defined(__x86_64__) || defined(__i386__)
void divideByZero() { asm volatile("xor %%ecx, %%ecx\n\tmov $1, %%eax\n\tcltd\n\tidivl %%ecx" ::: "eax", "ecx", "edx"); }
void illegalInstruction() { asm volatile("ud2"); }
#  define KX_TRAPS_ARE_TESTED 1
#else
void divideByZero() {}
void illegalInstruction() {}
#endif

// An illegal instruction or a division by zero inside the call ends it with 6
// like a memory fault; the same outside a call is the server's (here the
// default action ends the process).
void trapInsideTheCall(void (*trap)(), bool insideCall)
{
    for (const int signalNumber : kTrappedSignals)
        installServerAction(signalNumber, SIG_DFL);
    ScenarioServer server;
    KX_CHECK(server.notifyGood() == 14);
    if (!insideCall) {
        trap();
        return;
    }
    server.log->onLine = trap;
    KX_CHECK(server.notifyGood() == 6);
    server.log->onLine = nullptr;
    KX_CHECK(server.notifyGood() == 14);
}

// The handlers are set once, on the first call; no call changes them after.
void handlerTableUntouchedByCalls()
{
    for (const int signalNumber : kTrappedSignals)
        installServerHandler(signalNumber, recoveringServerHandler);
    const HandlerTable server = currentHandlerTable();
    ScenarioServer server1;
    KX_CHECK(currentHandlerTable() == server);
    KX_CHECK(server1.notifyGood() == 14);
    const HandlerTable installed = currentHandlerTable();
    for (int i = 0; i < 4; ++i)
        KX_CHECK(installed.actions[i].sa_sigaction != recoveringServerHandler);
    int changesDuringCalls = 0;
    server1.log->onLine = [&] { changesDuringCalls += !(currentHandlerTable() == installed); };
    for (int i = 0; i < 1000; ++i)
        KX_CHECK((i % 3 ? server1.notifyGood() : server1.notifyUnreadable()) == (i % 3 ? 14 : 6));
    KX_CHECK(changesDuringCalls == 0);
    KX_CHECK(currentHandlerTable() == installed);
    // Qt 5 strings made from the module's literals point into its image.
    server1.log->lines.clear();
    KX_CHECK(server1.module.unload());
    KX_CHECK(currentHandlerTable() == installed);
}

// The server installs its handler after the module's first call. One that
// passes on what it does not expect keeps containment working; one that
// does not gets the faults of calls too (it recovers with its own jump), and
// the module is unharmed once the guard's handler is back.
void serverHandlerInstalledAfterLoad(bool chaining)
{
    ScenarioServer server;
    KX_CHECK(server.notifyUnreadable() == 6);
    installServerHandler(SIGSEGV, chaining ? chainingServerHandler : recoveringServerHandler);
    KX_CHECK(serverFaultReachesServer(server.unreadableByte()));
    if (chaining) {
        KX_CHECK(server.notifyUnreadable() == 6);
        KX_CHECK(serverFaults == 1);
    } else {
        sigjmp_buf recovery;
        serverRecovery = &recovery;
        if (sigsetjmp(recovery, 1) == 0) {
            server.notifyUnreadable();
            check(false, "the server's handler took the call's fault");
        }
        serverRecovery = nullptr;
        KX_CHECK(serverFaults == 2);
        KX_CHECK(server.notifyGood() == 14);
        sigaction(SIGSEGV, &handlerBeforeServer[SIGSEGV], nullptr);
        KX_CHECK(server.notifyUnreadable() == 6);
    }
    KX_CHECK(server.notifyGood() == 14);
}

// 8 threads of 10 000 calls, every tenth on an unreadable job, each thread
// delivering to a client of its own and faulting in its own code now and
// then; the main thread faults in its own code all along.
void manyThreadsManyCalls()
{
    installServerHandler(SIGSEGV, recoveringServerHandler);
    constexpr int kThreads = 8;
    constexpr int kCalls = 10000;
    kx::server::PluginModule module{QStringLiteral(KX_PLUGIN_MODULE_PATH)};
    KX_CHECK(module.load());
    MappedPages unreadable(kJobPages);
    unreadable.protectAll();
    std::atomic<int> wrongResults{0};
    std::atomic<int> foreignTexts{0};
    std::atomic<int> expectedServerFaults{0};
    std::atomic<bool> done{false};
    auto worker = [&](int index) {
        kx::server::SdkObject sdk;
        sdk.installLog<RecordingLog>();
        kx::server::ClientTableBuilder clients;
        const QString name = QStringLiteral("render%1").arg(index);
        clients.addClient(name);
        sdk.setClientTable(clients.table());
        kx::server::JobRecordBuilder job;
        job.setId(1, 1000000u + quint32(index));
        job.setProgressCode(200);
        job.setScene(QStringLiteral("/shots/thread%1.scn").arg(index));
        job.setRecipients(name);
        _kxNotifyParams good{sdk.sdkInterface(), job.record()};
        _kxNotifyParams bad{sdk.sdkInterface(), static_cast<_kxJob *>(static_cast<void *>(unreadable.bytes()))};
        for (int call = 0; call < kCalls; ++call) {
            const bool faulting = call % 10 == 0;
            const int result = module.notify(faulting ? &bad : &good);
            if (result != (faulting ? 6 : 1)) {
                if (wrongResults++ < 5)
                    std::fprintf(stderr, "thread %d call %d: %d\n", index, call, result);
            }
            if (call % 100 == 50) {
                ++expectedServerFaults;
                if (!serverFaultReachesServer(unreadable.bytes()))
                    std::fprintf(stderr, "thread %d: server fault missed\n", index), ++wrongResults;
            }
        }
        const QStringList lines = clients.messageBox(0).split(QLatin1Char('\n'));
        const QString ownScene = QStringLiteral("Scene:/shots/thread%1.scn").arg(index);
        for (const QString &line : lines) {
            if (line.startsWith(QStringLiteral("Scene:")) && line.trimmed() != ownScene)
                ++foreignTexts;
        }
        if (!lines.join(QLatin1Char('\n')).contains(ownScene))
            ++foreignTexts;
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back(worker, i);
    int mainThreadFaults = 0;
    std::thread stopper([&] {
        for (auto &thread : threads)
            thread.join();
        done = true;
    });
    while (!done) {
        ++expectedServerFaults;
        ++mainThreadFaults;
        if (!serverFaultReachesServer(unreadable.bytes()))
            ++wrongResults;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stopper.join();
    KX_CHECK(wrongResults == 0);
    KX_CHECK(foreignTexts == 0);
    KX_CHECK(serverFaults == expectedServerFaults);
    KX_CHECK(mainThreadFaults > 0);
    std::fprintf(stderr, "%d calls, %d server faults caught by the server\n", kThreads * kCalls,
                 serverFaults.load());
}

// Faults and signals during a call that are not the call's own: the server's
// handler, installed before the module's first call, gets them as the kernel
// would have given them, and SIG_DFL, SIG_IGN and one-shot handlers behave as
// they would without the module.
constexpr int kServerHandlerExit = 42;
void exitingServerHandler(int) { _exit(kServerHandlerExit); }
void returningServerHandler(int) {}
void reraisingServerHandler(int signalNumber) { raise(signalNumber); }

void notTheCallsOwn(void (*serverHandler)(int), int flags, bool onAnotherThread)
{
    installServerAction(SIGSEGV, serverHandler, flags);
    ScenarioServer server;
    volatile const unsigned char *const fault = server.unreadableByte();
    if (onAnotherThread)
        server.log->onLine = [fault] { std::thread([fault] { (void)*fault; }).join(); };
    else
        server.log->onLine = [] { raise(SIGSEGV); };
    // Reaching the end means the signal was swallowed, or ignored as asked.
    std::fflush(stderr);
    _exit(10 + server.notifyGood());
}

// The server's handler, installed with or without SA_NODEFER, tells by its
// exit status whether the signal was blocked while it ran.
constexpr int kSignalBlockedInHandler = 44;
constexpr int kSignalUnblockedInHandler = 45;
void maskReportingServerHandler(int signalNumber)
{
    sigset_t blocked;
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    _exit(sigismember(&blocked, signalNumber) ? kSignalBlockedInHandler : kSignalUnblockedInHandler);
}

// The thread's cancellation state, read without changing it.
int cancelStateNow()
{
    int state = -1;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
    pthread_setcancelstate(state, nullptr);
    return state;
}

// The thread then waits at a cancellation point for the server's request;
// the wait ends by itself if the request never acts.
struct CancellableAfterJump
{
    ScenarioServer *server = nullptr;
    std::atomic<bool> waiting{false};
    int stateAfterFault = -1;
    int stateAfterJump = -1;
    bool waitEndedUncancelled = false;
};

void *leaveByJumpThenWait(void *argument)
{
    auto *scenario = static_cast<CancellableAfterJump *>(argument);
    ScenarioServer &server = *scenario->server;
    check(server.notifyUnreadable() == 6, "a fault ends the thread's call with 6");
    scenario->stateAfterFault = cancelStateNow();
    sigjmp_buf leave;
    server.log->onLine = [&leave] { siglongjmp(leave, 1); };
    if (sigsetjmp(leave, 1) == 0) {
        server.notifyGood();
        check(false, "the log jumped out of the call");
    }
    server.log->onLine = nullptr;
    scenario->stateAfterJump = cancelStateNow();
    scenario->waiting = true;
    for (int i = 0; i < 50; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    scenario->waitEndedUncancelled = true;
    return nullptr;
}

// A call left by a jump from the server's log gives the thread back with
// cancellation as enabled as before: the server can still cancel and join it.
void longjmpOutOfTheLogLeavesTheThreadCancellable()
{
    installServerHandler(SIGSEGV, recoveringServerHandler);
    ScenarioServer server;
    CancellableAfterJump scenario;
    scenario.server = &server;
    pthread_t thread;
    KX_CHECK(pthread_create(&thread, nullptr, leaveByJumpThenWait, &scenario) == 0);
    while (!scenario.waiting)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pthread_cancel(thread);
    void *threadResult = nullptr;
    pthread_join(thread, &threadResult);
    KX_CHECK(scenario.stateAfterFault == PTHREAD_CANCEL_ENABLE);
    KX_CHECK(scenario.stateAfterJump == PTHREAD_CANCEL_ENABLE);
    KX_CHECK(threadResult == PTHREAD_CANCELED);
    KX_CHECK(!scenario.waitEndedUncancelled);
    KX_CHECK(server.notifyGood() == 14);
}

// A jump the C library never sees (the compiler's own) out of the server's
// log, then a call, then the thread ends: the thread's exit must not run
// anything of the abandoned call, whose frame is gone, and that next call
// gives the thread back the cancellation state the abandoned one disabled.
struct ExitAfterHiddenJump
{
    ScenarioServer *server = nullptr;
    int resultAfterJump = -1;
    int stateAfterNextCall = -1;
};

int *const kThreadExitValue = reinterpret_cast<int *>(0x4B58);

__attribute__((noinline)) void leaveByHiddenJump(ScenarioServer &server)
{
    void *jump[5] = {};
    server.log->onLine = [&jump] {
#if defined(KX_TEST_LSAN)
        __asan_handle_no_return();
#endif
        __builtin_longjmp(jump, 1);
    };
    if (__builtin_setjmp(jump) == 0) {
        server.notifyGood();
        check(false, "the log jumped out of the call");
    }
    server.log->onLine = nullptr;
}

void *hiddenJumpThenExit(void *argument)
{
    auto *scenario = static_cast<ExitAfterHiddenJump *>(argument);
    leaveByHiddenJump(*scenario->server);
    scenario->resultAfterJump = scenario->server->notifyGood();
    scenario->stateAfterNextCall = cancelStateNow();
    pthread_exit(kThreadExitValue);
}

void hiddenJumpOutOfTheLogThenThreadExit()
{
    installServerHandler(SIGSEGV, recoveringServerHandler);
    ScenarioServer server;
    for (int round = 0; round < 3; ++round) {
        ExitAfterHiddenJump scenario;
        scenario.server = &server;
        pthread_t thread;
        KX_CHECK(pthread_create(&thread, nullptr, hiddenJumpThenExit, &scenario) == 0);
        void *threadResult = nullptr;
        pthread_join(thread, &threadResult);
        KX_CHECK(threadResult == kThreadExitValue);
        KX_CHECK(scenario.resultAfterJump == 14);
        KX_CHECK(scenario.stateAfterNextCall == PTHREAD_CANCEL_ENABLE);
    }
    KX_CHECK(server.notifyUnreadable() == 6);
    KX_CHECK(serverFaultReachesServer(server.unreadableByte()));
}

#if defined(BUS_MCEERR_AO) && defined(SYS_rt_tgsigqueueinfo)
// Memory found bad in advance (the kernel's machine-check report that nothing
// is reading it now) arrives during a call: it is no fault of the call's, and
// goes to the server's handler or its default action.
void advanceMachineCheckDuringTheCall(void (*serverHandler)(int))
{
    installServerAction(SIGBUS, serverHandler);
    ScenarioServer server;
    server.log->onLine = [] {
        siginfo_t info;
        std::memset(&info, 0, sizeof info);
        info.si_signo = SIGBUS;
        info.si_code = BUS_MCEERR_AO;
        syscall(SYS_rt_tgsigqueueinfo, getpid(), syscall(SYS_gettid), SIGBUS, &info);
    };
    std::fflush(stderr);
    _exit(10 + server.notifyGood());
}
#  define KX_MACHINE_CHECK_IS_TESTED 1
#else
void advanceMachineCheckDuringTheCall(void (*)(int)) {}
#endif

struct Outcome
{
    int exitCode;   // the scenario's exit status, if it ends normally
    int killedBy;   // else the signal that ends it
};
constexpr Outcome kPasses{0, 0};
constexpr Outcome exitsWith(int code) { return {code, 0}; }
constexpr Outcome killedBy(int signalNumber) { return {-1, signalNumber}; }

struct Scenario
{
    const char *name;
    std::function<void()> run;
    Outcome expected;
};

const std::vector<Scenario> &scenarios()
{
    static const std::vector<Scenario> all = {
        {"LongjmpOutOfTheLogThenServerFaultsReachTheServer", longjmpOutOfTheLogThenServerFaults, kPasses},
        {"ThreadCancelledDuringACallEndsAfterIt", [] { threadCancelledDuringACall(false); }, kPasses},
        {"ThreadCancelledAsynchronouslyDuringACallEndsAsItReturns", [] { threadCancelledDuringACall(false, true); },
         kPasses},
        {"ThreadExitFromTheLogPassesThroughTheCall", [] { threadCancelledDuringACall(true); }, kPasses},
        {"TwoCopiesOverlapThenUnloadedServerFaultsReachTheServer", twoCopiesOverlapThenUnloaded, kPasses},
        {"DivisionByZeroInsideTheCallGives6", [] { trapInsideTheCall(divideByZero, true); }, kPasses},
        {"IllegalInstructionInsideTheCallGives6", [] { trapInsideTheCall(illegalInstruction, true); }, kPasses},
        {"DivisionByZeroOutsideACallReachesTheDefaultAction", [] { trapInsideTheCall(divideByZero, false); },
         killedBy(SIGFPE)},
        {"IllegalInstructionOutsideACallReachesTheDefaultAction",
         [] { trapInsideTheCall(illegalInstruction, false); }, killedBy(SIGILL)},
        {"HandlerTableUntouchedByCalls", handlerTableUntouchedByCalls, kPasses},
        {"ChainingServerHandlerInstalledAfterLoad", [] { serverHandlerInstalledAfterLoad(true); }, kPasses},
        {"NonChainingServerHandlerInstalledAfterLoad", [] { serverHandlerInstalledAfterLoad(false); }, kPasses},
        {"EightThreadsTenThousandCallsWithServerFaults", manyThreadsManyCalls, kPasses},
        {"FaultOnAnotherThreadReachesServerHandler",
         [] { notTheCallsOwn(exitingServerHandler, 0, true); }, exitsWith(kServerHandlerExit)},
        {"FaultOnAnotherThreadReachesDefaultAction", [] { notTheCallsOwn(SIG_DFL, 0, true); }, killedBy(SIGSEGV)},
        {"SignalSentToTheCallingThreadReachesServerHandler",
         [] { notTheCallsOwn(exitingServerHandler, 0, false); }, exitsWith(kServerHandlerExit)},
        {"SignalSentToTheCallingThreadReachesDefaultAction", [] { notTheCallsOwn(SIG_DFL, 0, false); },
         killedBy(SIGSEGV)},
        {"FaultOnAnotherThreadOneShotHandlerReturns",
         [] { notTheCallsOwn(returningServerHandler, SA_RESETHAND, true); }, killedBy(SIGSEGV)},
        {"FaultOnAnotherThreadOneShotHandlerRaisesAgain",
         [] { notTheCallsOwn(reraisingServerHandler, SA_RESETHAND, true); }, killedBy(SIGSEGV)},
        {"SignalSentToTheCallingThreadOneShotHandlerRaisesAgain",
         [] { notTheCallsOwn(reraisingServerHandler, SA_RESETHAND, false); }, killedBy(SIGSEGV)},
        {"IgnoredSignalSentDuringTheCallStaysIgnored", [] { notTheCallsOwn(SIG_IGN, 0, false); },
         exitsWith(10 + 14)},
        {"IgnoredWithSigInfoSignalSentDuringTheCallStaysIgnored",
         [] { notTheCallsOwn(SIG_IGN, SA_SIGINFO, false); }, exitsWith(10 + 14)},
        {"SignalSentToTheCallingThreadStaysBlockedInServerHandler",
         [] { notTheCallsOwn(maskReportingServerHandler, 0, false); }, exitsWith(kSignalBlockedInHandler)},
        {"SignalSentToTheCallingThreadUnblockedInNoDeferServerHandler",
         [] { notTheCallsOwn(maskReportingServerHandler, SA_NODEFER, false); }, exitsWith(kSignalUnblockedInHandler)},
        {"FaultOnAnotherThreadUnblockedInNoDeferServerHandler",
         [] { notTheCallsOwn(maskReportingServerHandler, SA_NODEFER, true); }, exitsWith(kSignalUnblockedInHandler)},
        {"LongjmpOutOfTheLogLeavesTheThreadCancellable", longjmpOutOfTheLogLeavesTheThreadCancellable, kPasses},
        {"HiddenJumpOutOfTheLogThenThreadExitEndsCleanly", hiddenJumpOutOfTheLogThenThreadExit, kPasses},
        {"AdvanceMachineCheckDuringTheCallReachesServerHandler",
         [] { advanceMachineCheckDuringTheCall(exitingServerHandler); }, exitsWith(kServerHandlerExit)},
        {"AdvanceMachineCheckDuringTheCallReachesDefaultAction",
         [] { advanceMachineCheckDuringTheCall(SIG_DFL); }, killedBy(SIGBUS)},
        {"IgnoredAdvanceMachineCheckDuringTheCallStaysIgnored",
         [] { advanceMachineCheckDuringTheCall(SIG_IGN); }, exitsWith(10 + 14)},
    };
    return all;
}

constexpr const char *kScenarioOption = "--fault-scenario";

class FaultGuardScenarioTest : public ::testing::TestWithParam<std::size_t>
{
};

TEST_P(FaultGuardScenarioTest, EndsAsTheServerExpects)
{
    const Scenario &scenario = scenarios()[GetParam()];
#if !defined(KX_TRAPS_ARE_TESTED)
    if (std::strstr(scenario.name, "DivisionByZero") || std::strstr(scenario.name, "IllegalInstruction"))
        GTEST_SKIP() << "no trap instruction written for this processor";
#endif
#if !defined(KX_MACHINE_CHECK_IS_TESTED)
    if (std::strstr(scenario.name, "MachineCheck"))
        GTEST_SKIP() << "no way to send a machine-check report here";
#endif
    const pid_t child = fork();
    if (child == 0) {
        char self[] = "/proc/self/exe";
        char option[64];
        char name[128];
        std::snprintf(option, sizeof option, "%s", kScenarioOption);
        std::snprintf(name, sizeof name, "%s", scenario.name);
        char *arguments[] = {self, option, name, nullptr};
        execv(self, arguments);
        _exit(127);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (scenario.expected.killedBy) {
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), scenario.expected.killedBy);
    } else {
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), scenario.expected.exitCode);
    }
}

INSTANTIATE_TEST_SUITE_P(InAFreshProcess, FaultGuardScenarioTest,
                         ::testing::Range(std::size_t(0), scenarios().size()),
                         [](const ::testing::TestParamInfo<std::size_t> &param) {
                             return std::string(scenarios()[param.param].name);
                         });

// The body of one scenario, in the fresh process. It ends with _exit: the
// calls it abandons on purpose leave memory behind by design, which the leak
// checker at a normal exit would report.
int runScenario(const char *name)
{
    alarm(120); // a signal passed round in a loop ends the scenario with SIGALRM
    for (const Scenario &scenario : scenarios()) {
        if (std::strcmp(scenario.name, name) == 0) {
            scenario.run();
            std::fflush(stderr);
            _exit(scenarioFailures == 0 ? 0 : 1);
        }
    }
    std::fprintf(stderr, "no scenario %s\n", name);
    _exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], kScenarioOption) == 0)
        return runScenario(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
