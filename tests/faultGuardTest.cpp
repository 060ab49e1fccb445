// Faults inside the exports, driven through the loaded module the way a server drives it: a fault of a
// call ends it with 6 and the server goes on; every other fault reaches the server's own handler,
// whatever the server does meanwhile (jumps out of its log, ends or cancels threads, loads two copies,
// installs its handler late). On Windows also the Windows guard's own cases (at the end).
#include "faultGuard.h"
#include "faultTestServer.h"
#include "kxClientTableBuilder.h"
#include "records/kxClientRecord.h"

#include <gtest/gtest.h>

#include <QtCore/QTemporaryDir>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#  include <sys/syscall.h>
#  include <ucontext.h>
extern "C" __attribute__((weak)) void __asan_handle_no_return();
#endif

namespace {

#if defined(__x86_64__) || defined(__i386__)
#  define KX_TRAPS_ARE_TESTED 1
void divideByZero() { asm volatile("xor %%ecx, %%ecx; mov $1, %%eax; cltd; idivl %%ecx" ::: "eax", "ecx", "edx"); }
void divideWithOverflow() { asm volatile("mov $-1, %%ecx; mov $0x80000000, %%eax; cltd; idivl %%ecx" ::: "eax", "ecx", "edx"); }
void illegalInstruction() { asm volatile("ud2"); }
#endif

constexpr std::size_t kRecipients = kx::Job::kRecipientListOffset;
void writeTo(const Pages &page) { *static_cast<volatile unsigned char *>(page.bytes()) = 1; }

// Beside the good job, one for render01, the first of three clients.
class FaultGuardTest : public ::testing::Test, public FaultTestServer
{
public:
    FaultGuardTest()
    {
        for (int i = 0; i < 3; ++i)
            clients.addClient(QStringLiteral("render01"));
        sdk.setClientTable(clients.table());
        job.setProgressCode(200);
        job.setRecipients(QStringLiteral("render01"));
        std::memcpy(jobPages.bytes(), job.bytes(), kx::Job::kRecordSize);
    }
    void SetUp() override { ASSERT_TRUE(module.isLoaded()) << qPrintable(module.errorString()); }
    void expectNextCallRunsNormally()
    {
        log->onLine = nullptr;
        log->lines.clear();
        EXPECT_EQ(notifyGood(), 14);
        EXPECT_EQ(log->lines.size(), 2u);
    }
    // A copy of the first client's record, where the server can break it.
    void putClientAt(int index, Pages::Access access)
    {
        std::memcpy(brokenClient.bytes(), clients.client(0), kx::Client::kRecordSize);
        brokenClient.protectAll(access);
        clients.setClientAt(index, brokenClient.bytes());
    }

    kx::server::ClientTableBuilder clients;
    kx::server::JobRecordBuilder job;
    Pages jobPages{kx::Job::kRecordSize}; // the job, where the server can break it
    Pages brokenClient{kx::Client::kRecordSize};
    int wrongInnerResults = 0;
};

// What the server breaks, and the lines the call writes before its fault.
struct BrokenCall
{
    const char *name;
    std::size_t linesBeforeTheFault;
    bool firstClientReached;
    void (*breakIt)(FaultGuardTest &);
};

const BrokenCall kBrokenCalls[] = {
    // The job ID is read for the start line before anything is logged.
    {"JobRecordUnreadable", 0, false, [](auto &t) { t.jobPages.protectAll(); }},
    {"RecipientListUnreadable", 1, false, [](auto &t) { t.jobPages.protectPageOf(kRecipients); }},
#if !defined(_WIN32)
    {"RecipientListPastTheEndOfAMappedFile", 1, false, [](auto &t) { t.jobPages.cutFileAt(kRecipients); }},
#endif
    {"ClientEntryIntoAnUnreadablePage", 2, true, [](auto &t) { t.putClientAt(1, Pages::NoAccess); }},
    {"ClientRecordReadOnly", 2, false, [](auto &t) { t.putClientAt(0, Pages::ReadOnly); }},
    {"LogFaults", 1, false, [](auto &t) { t.log->onLine = [&t] { writeTo(t.unreadable); }; }},
    {"LogThrowsSomethingNotAnException", 1, false, [](auto &t) { t.log->onLine = [] { throw 17; }; }},
#if defined(KX_TRAPS_ARE_TESTED)
    {"LogDividesByZero", 1, false, [](auto &t) { t.log->onLine = divideByZero; }},
    {"LogDividesWithOverflow", 1, false, [](auto &t) { t.log->onLine = divideWithOverflow; }},
    {"LogRunsAnIllegalInstruction", 1, false, [](auto &t) { t.log->onLine = illegalInstruction; }},
#endif
    // pNotify again from inside the server's log: each fault ends only its own call.
    {"InnerCallFaultsThenTheOuterOne", 1, false, [](auto &t) {
         t.jobPages.protectPageOf(kRecipients);
         t.log->onLine = [&t] { t.wrongInnerResults += t.notifyUnreadable() != 6; };
     }},
    // More calls open on one thread than the trap keeps room for at first.
    {"CallsNestedFortyDeepEachEndWith6", 40, false, [](auto &t) {
         t.jobPages.protectPageOf(kRecipients);
         t.log->onLine = [&t] {
             if (t.log->lines.size() % 40)
                 t.wrongInnerResults += t.notify(t.jobPages.bytes()) != 6;
         };
     }},
};

class BrokenCallTest : public FaultGuardTest, public ::testing::WithParamInterface<BrokenCall> {};

// A second call finds the guard as the first one's fault left it.
TEST_P(BrokenCallTest, EndsWith6AndTheModuleStaysUsable)
{
    GetParam().breakIt(*this);
    for (int round = 0; round < 2; ++round) {
        log->lines.clear();
        EXPECT_EQ(notify(jobPages.bytes()), 6);
        EXPECT_EQ(log->lines.size(), GetParam().linesBeforeTheFault);
    }
    EXPECT_EQ(wrongInnerResults, 0);
    EXPECT_NE(clients.messageBox(0).isEmpty(), GetParam().firstClientReached);
    EXPECT_TRUE(clients.messageBox(2).isEmpty());
    expectNextCallRunsNormally();
}

INSTANTIATE_TEST_SUITE_P(FaultGuardTest, BrokenCallTest, ::testing::ValuesIn(kBrokenCalls),
                         [](const auto &row) { return std::string(row.param.name); });

// Threads calling at once, every tenth call faulting and each thread faulting in the server's own code
// now and then, as the main thread does all along: each fault ends where it belongs, and no thread's
// text reaches another's client.
TEST_F(FaultGuardTest, ThreadsInParallelEachContainTheirOwnFaults)
{
    std::atomic<int> wrong{0}, running{4};
    std::vector<std::thread> threads;
    for (int index = 0; index < running; ++index) {
        threads.emplace_back([&, index] {
            const QString scene = QStringLiteral("/shots/thread%1.scn").arg(index);
            kx::server::SdkObject ownSdk;
            ownSdk.installLog<RecordingLog>();
            kx::server::ClientTableBuilder ownClients;
            ownClients.addClient(QStringLiteral("render%1").arg(index));
            ownSdk.setClientTable(ownClients.table());
            kx::server::JobRecordBuilder ownJob;
            ownJob.setProgressCode(200);
            ownJob.setScene(scene);
            ownJob.setRecipients(QStringLiteral("render%1").arg(index));
            _kxNotifyParams good = kx::NotifyParams::make(ownSdk.sdkInterface(), ownJob.record());
            _kxNotifyParams bad = kx::NotifyParams::make(ownSdk.sdkInterface(), reinterpret_cast<_kxJob *>(unreadable.bytes()));
            Pages ownPage(1);
            for (int call = 0; call < 2000; ++call) {
                wrong += module.notify(call % 10 ? &good : &bad) != (call % 10 ? 1 : 6);
                wrong += call % 100 == 50 && !serverFaultReachesServer(ownPage);
            }
            const QString box = ownClients.messageBox(0);
            wrong += box.count(QStringLiteral("Scene:")) != box.count(QLatin1String("Scene:") + scene);
            wrong += !box.contains(QLatin1String("Scene:") + scene);
            --running;
        });
    }
    for (Pages mainPage(1); running > 0; std::this_thread::sleep_for(std::chrono::microseconds(200)))
        wrong += !serverFaultReachesServer(mainPage);
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

// The server's log leaves pNotify by a jump the C library sees (longjmp) or not (the compiler's own),
// twice, on a thread the server then ends. The call is over by the thread's next call at the latest:
// the server's faults are its own, calls contain theirs, the thread is cancellable and its end runs
// nothing of the dead call's.
#if defined(__GLIBC__)
constexpr bool kLibraryJumpEndsTheCall = true; // its longjmp runs the thread's cleanup entries
#else
constexpr bool kLibraryJumpEndsTheCall = false;
#endif
std::jmp_buf libraryJump;
void *compilerJump[5];

// Without jumpOut, a call from the depth of the one left before: its record lies where the dead one did.
__attribute__((noinline)) void leaveByLongjmp(FaultTestServer &server, bool jumpOut)
{
    server.log->onLine = [jumpOut] { jumpOut ? std::longjmp(libraryJump, 1) : void(); };
    if (setjmp(libraryJump) == 0) {
        EXPECT_TRUE(server.notifyGood() == 14 && !jumpOut);
    }
}

__attribute__((noinline)) void leaveByCompilersJump(FaultTestServer &server, bool jumpOut)
{
    server.log->onLine = [jumpOut] {
#if !defined(_WIN32)
        if (jumpOut && __asan_handle_no_return)
            __asan_handle_no_return();
#endif
        jumpOut ? __builtin_longjmp(compilerJump, 1) : void();
    };
    if (__builtin_setjmp(compilerJump) == 0) {
        EXPECT_TRUE(server.notifyGood() == 14 && !jumpOut);
    }
}

TEST_F(FaultGuardTest, CallLeftByAJumpFromTheLogLeavesNothingArmed)
{
    const struct
    {
        const char *name;
        void (*leave)(FaultTestServer &, bool);
        bool endedByTheJump;
    } jumps[] = {{"longjmp", leaveByLongjmp, kLibraryJumpEndsTheCall}, {"compiler's", leaveByCompilersJump, false}};
    Pages page(1);
    for (const auto &jump : jumps) {
        SCOPED_TRACE(jump.name);
        EXPECT_TRUE(runOnThreadThatEnds([&] {
            for (int round = 0; round < 2; ++round) {
                jump.leave(*this, true);
                // Where the jump ended the call, the server's faults below its frame, which still
                // lies there intact, are the server's.
                EXPECT_TRUE(!jump.endedByTheJump || (isCancellable() && serverFaultReachesServer(page, 1)));
                jump.leave(*this, false); // the thread's next call drops a dead one
                log->onLine = nullptr;
                EXPECT_EQ(notifyUnreadable(), 6);
                EXPECT_TRUE(serverFaultReachesServer(page) && serverFaultReachesServer(page, 4));
                EXPECT_TRUE(isCancellable());
            }
        }));
    }
}

// The server's log ends the calling thread: the end passes through the call.
TEST_F(FaultGuardTest, ThreadEndedInsideACallLeavesNothingBehind)
{
    log->onLine = [] { endThisThread(); };
    EXPECT_TRUE(runOnThreadThatEnds([this] { ADD_FAILURE() << "the call returned " << notifyGood(); }));
    EXPECT_EQ(notifyUnreadable(), 6);
    expectNextCallRunsNormally();
}

#if !defined(_WIN32)
// The server cancels the calling thread while the main log's flush opens a file (a cancellation point):
// the call completes, and the thread ends at its next cancellation point or, cancelled asynchronously,
// as the call returns.
TEST_F(FaultGuardTest, ThreadCancelledDuringACallEndsAfterIt)
{
    QTemporaryDir logs;
    sdk.openLogFiles(logs.path());
    log->onLine = [this] {
        if (log->lines.size() != 1)
            return;
        QString line = QStringLiteral("server line"); // for the flush to write
        sdk.mainLog().addLog(line);
        pthread_cancel(pthread_self());
    };
    for (const int type : {PTHREAD_CANCEL_DEFERRED, PTHREAD_CANCEL_ASYNCHRONOUS}) {
        int result = -1;
        log->lines.clear();
        EXPECT_FALSE(runOnThreadThatEnds([&] {
            pthread_setcanceltype(type, nullptr);
            result = notify(job.record());
            pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
            pthread_testcancel();
        }));
        EXPECT_EQ(result, type == PTHREAD_CANCEL_DEFERRED ? 1 : -1);
        EXPECT_EQ(log->lines.size(), 3u);
        EXPECT_TRUE(sdk.mainLog().pendingEntries().isEmpty());
        EXPECT_FALSE(clients.messageBox(0).isEmpty());
    }
    // A thread the server made uncancellable stays so.
    log->onLine = nullptr;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    EXPECT_TRUE(notifyUnreadable() == 6 && notifyGood() == 14 && !isCancellable());
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
    expectNextCallRunsNormally();
}

// A handler the server installs after the module's first call, passing on the faults it does not
// expect: the server's own reach it, the calls' are contained.
struct sigaction handlerBeforeServer;
void chainingServerHandler(int signalNumber, siginfo_t *info, void *context)
{
    if (serverRecovery)
        recoveringServerHandler(signalNumber, info, context);
    handlerBeforeServer.sa_sigaction(signalNumber, info, context);
}

TEST_F(FaultGuardTest, ServerHandlerInstalledAfterTheFirstCall)
{
    EXPECT_EQ(notifyUnreadable(), 6);
    struct sigaction server = {};
    server.sa_flags = SA_SIGINFO;
    server.sa_sigaction = chainingServerHandler;
    sigaction(SIGSEGV, &server, &handlerBeforeServer);
    const int before = serverFaults;
    EXPECT_TRUE(serverFaultReachesServer(jobPages));
    EXPECT_EQ(notifyUnreadable(), 6);
    EXPECT_EQ(serverFaults, before + 1);
    sigaction(SIGSEGV, &handlerBeforeServer, nullptr);
}

// Two copies of the module (two plug-in folders): calls of one inside calls of the other and beside
// them on another thread, each fault ending its own call; then both unmap, the one fault trap stays and
// passes the server's faults on.
TEST(FaultGuardTwoCopiesTest, OverlapThenUnloadWithOneTrapLeft)
{
    QTemporaryDir folder;
    const QString paths[] = {QStringLiteral(KX_PLUGIN_MODULE_PATH),
                             folder.filePath(QFileInfo(QStringLiteral(KX_PLUGIN_MODULE_PATH)).fileName())};
    ASSERT_TRUE(QFile::copy(paths[0], paths[1]));
    FaultTestServer first(paths[0]), second(paths[1]);
    Pages outerJob(kx::Job::kRecordSize);
    std::memcpy(outerJob.bytes(), first.goodJob.bytes(), kx::Job::kRecordSize);
    outerJob.protectPageOf(kRecipients);
    std::atomic<int> wrong{0};
    std::atomic<bool> stop{false};
    first.log->onLine = [&] { wrong += second.notifyUnreadable() != 6; };
    std::thread beside([&] {
        for (int i = 0; !stop; ++i)
            wrong += (i % 2 ? second.notifyUnreadable() : second.notifyGood()) != (i % 2 ? 6 : 14);
    });
    for (int i = 0; i < 50; ++i)
        wrong += first.notify(outerJob.bytes()) != 6;
    stop = true;
    beside.join();
    EXPECT_EQ(wrong, 0);
    // Qt 5 strings of the modules' literals point into them.
    first.log->lines.clear(), second.log->lines.clear();
    ASSERT_TRUE(first.module.unload() && second.module.unload());
    for (const QString &path : paths)
        EXPECT_FALSE(isModuleMapped(path)) << qPrintable(path);
    EXPECT_TRUE(mappedFiles().contains("/libkxFaultTrap.so.3"));
    EXPECT_TRUE(serverFaultReachesServer(outerJob, 4));
}

// Faults and signals during or after a call that are not its own, in a fresh process whose action for
// the signal is in place before the module's first call: each ends as it would without the module,
// whether that action is a handler (one-shot, with SA_NODEFER or not), SIG_DFL or SIG_IGN.
void exits42(int) { _exit(42); }
void returns(int) {}
void raisesAgain(int signalNumber) { raise(signalNumber); }
void reportsMask(int signalNumber)
{
    sigset_t blocked;
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    _exit(sigismember(&blocked, signalNumber) ? 44 : 45);
}
void faultOnAnotherThread(FaultTestServer &s)
{
    s.log->onLine = [&s] { std::thread([&s] { writeTo(s.unreadable); }).join(); };
}
// Once: the default action put back by the first must not be what ends the process.
void raiseInTheCall(FaultTestServer &s) { s.log->onLine = [&s] { s.log->lines.size() > 1 || raise(SIGSEGV); }; }
void killInTheCall(FaultTestServer &s) { s.log->onLine = [] { kill(getpid(), SIGSEGV); }; }
// Memory found bad while nothing reads it: the kernel's report is no fault of the call's.
void machineCheckInTheCall(FaultTestServer &s)
{
    s.log->onLine = [] {
        siginfo_t info = {};
        info.si_signo = SIGBUS;
        info.si_code = BUS_MCEERR_AO;
        syscall(SYS_rt_tgsigqueueinfo, getpid(), syscall(SYS_gettid), SIGBUS, &info);
    };
}

// The server's own fault handler without SA_SIGINFO, for rows that install it themselves.
void recovers(int signalNumber) { recoveringServerHandler(signalNumber, nullptr, nullptr); }
void expectOrExit(bool holds, int status) { holds ? void() : _exit(status); }

// A fiber of the server's: a stack of its own, entered and left with swapcontext.
class Fiber
{
public:
    // On a stack of its own, or on stack bytes the server gives it.
    explicit Fiber(std::function<void()> body, unsigned char *stack = nullptr, std::size_t size = 0)
        : m_body(std::move(body))
    {
        getcontext(&m_fiber);
        m_fiber.uc_stack = {stack ? stack : m_stack.bytes(), 0, stack ? size : m_stack.size};
        m_fiber.uc_link = &m_caller;
        makecontext(&m_fiber, &Fiber::run, 0);
    }
    void resume() { starting = this, m_running = true, swapcontext(&m_caller, &m_fiber), m_running = false; }
    void suspend() { swapcontext(&m_fiber, &m_caller); }
    bool isRunning() const { return m_running; }
    bool hasEnded() const { return m_ended; }
    void freeStack() { munmap(m_stack.data, m_stack.size), m_stack.data = nullptr; }

private:
    // makecontext passes only int arguments.
    static void run() { starting->m_body(), starting->m_ended = true; }
    static inline Fiber *starting = nullptr;
    std::function<void()> m_body;
    Pages m_stack{256 * 1024};
    ucontext_t m_fiber{}, m_caller{};
    bool m_running = false, m_ended = false;
};

// A job for the first of the server's clients: delivered, result 1.
struct DeliveringJob
{
    explicit DeliveringJob(FaultTestServer &s)
    {
        clients.addClient(QStringLiteral("render01"));
        s.sdk.setClientTable(clients.table());
        job.setProgressCode(200);
        job.setRecipients(QStringLiteral("render01"));
    }
    kx::server::ClientTableBuilder clients;
    kx::server::JobRecordBuilder job;
};

// The server's log switches away from a call on a fiber for good and the server frees the fiber's
// stack: the thread's later calls and the server's own faults go on as before.
// So too on a thread that then ends: its end runs nothing of the freed fiber's.
void leaveACallOnAFiberAndFreeIt(FaultTestServer &s)
{
    Fiber fiber([&s] { s.notifyGood(); });
    s.log->onLine = [&fiber] { fiber.suspend(); };
    fiber.resume();
    fiber.freeStack();
    s.log->onLine = nullptr;
}

void fiberLeftInACallIsFreed(FaultTestServer &s)
{
    DeliveringJob delivering(s);
    leaveACallOnAFiberAndFreeIt(s);
    expectOrExit(s.notify(delivering.job.record()) == 1, 61);
    Pages page(1);
    expectOrExit(serverFaultReachesServer(page) && serverFaultReachesServer(page, 4), 62);
    expectOrExit(s.notifyUnreadable() == 6, 63);
    expectOrExit(runOnThreadThatEnds([&s] { leaveACallOnAFiberAndFreeIt(s); }), 64);
}

// A worker thread whose stack the server placed right below a fiber's: while a call waits on the
// fiber, the thread's own fault lies below the call's frame, but on another stack: it is the server's.
int linesOnTheFiber = 0;
void fiberAboveTheThreadsStackSuspendedInACall(FaultTestServer &s)
{
    const std::size_t threadStack = 1024 * 1024, fiberStack = 256 * 1024;
    Pages stacks(threadStack + fiberStack);
    int result = -1;
    bool serverFaultReached = false;
    std::function<void()> work = [&] {
        Fiber fiber([&] { result = s.notifyGood(); }, stacks.bytes() + threadStack, fiberStack);
        s.log->onLine = [&fiber] { fiber.isRunning() && linesOnTheFiber++ == 0 ? fiber.suspend() : void(); };
        fiber.resume();
        Pages page(1);
        serverFaultReached = serverFaultReachesServer(page);
        fiber.resume();
        s.log->onLine = nullptr;
    };
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, stacks.bytes(), threadStack);
    pthread_t thread;
    const auto run = [](void *w) -> void * { return (*static_cast<std::function<void()> *>(w))(), nullptr; };
    expectOrExit(pthread_create(&thread, &attributes, run, &work) == 0, 61);
    pthread_join(thread, nullptr);
    expectOrExit(serverFaultReached, 62);
    expectOrExit(result == 14, 63);
}

// A call on a fiber waits in the server's log while the main context makes a call of its own; back on
// the fiber, the job record is gone and the waiting call faults.
void fiberSuspendedInACallWhileTheMainContextCalls(FaultTestServer &s)
{
    Pages job(kx::Job::kRecordSize);
    std::memcpy(job.bytes(), s.goodJob.bytes(), kx::Job::kRecordSize);
    int result = -1;
    Fiber fiber([&] { result = s.notify(job.bytes()); });
    s.log->onLine = [&fiber] { fiber.isRunning() ? fiber.suspend() : void(); };
    fiber.resume();
    expectOrExit(s.notifyGood() == 14, 61);
    job.protectAll();
    fiber.resume();
    s.log->onLine = nullptr;
    expectOrExit(fiber.hasEnded() && result == 6, 62);
}

// The server's log leaves a call by the compiler's jump, the server writes over the call's frame and
// calls again from below it, then ends the thread: the end runs nothing of the dead call's.
__attribute__((noinline)) void callFromBelowAWrittenOverFrame(FaultTestServer &s)
{
    volatile unsigned char frame[64 * 1024];
    for (std::size_t i = 0; i < sizeof frame; ++i)
        frame[i] = 0xA5;
    expectOrExit(s.notifyGood() == 14, 61);
}

void callLeftByAJumpWrittenOverThenACallBelowIt(FaultTestServer &s)
{
    expectOrExit(runOnThreadThatEnds([&s] {
        leaveByCompilersJump(s, true);
        s.log->onLine = nullptr;
        callFromBelowAWrittenOverFrame(s);
    }), 62);
}

// The server's one-shot handler recovers once from a fault of its own; calls still contain theirs, and
// the server's next fault meets the default action.
void oneShotServerHandlerRecoversOnce(FaultTestServer &s)
{
    s.notifyGood();
    Pages page(1);
    expectOrExit(serverFaultReachesServer(page), 61);
    expectOrExit(s.notifyUnreadable() == 6, 62);
    std::fputs("the call ended with 6\n", stderr);
    serverFaultReachesServer(page);
    _exit(63);
}

struct NotTheCallsOwn
{
    const char *name;
    int signalNumber;
    void (*action)(int);
    int flags;
    void (*send)(FaultTestServer &);
    int ends;               // the process's exit status, or minus the signal that kills it
    const char *says = "";  // on its error output
};

[[noreturn]] void sendDuringOrAfterACall(const NotTheCallsOwn &row)
{
    alarm(30); // a signal passed round in a loop ends the process with SIGALRM
    struct sigaction action = {};
    action.sa_handler = row.action;
    action.sa_flags = row.flags;
    sigaction(row.signalNumber, &action, nullptr);
    FaultTestServer server;
    row.send(server);
    _exit(10 + server.notifyGood());
}

const NotTheCallsOwn kNotTheCallsOwn[] = {
    {"FaultOnAnotherThreadReachesServerHandler", SIGSEGV, exits42, 0, faultOnAnotherThread, 42},
    {"FaultOnAnotherThreadReachesDefaultAction", SIGSEGV, SIG_DFL, 0, faultOnAnotherThread, -SIGSEGV},
    {"FaultOnAnotherThreadOneShotHandlerReturns", SIGSEGV, returns, int(SA_RESETHAND), faultOnAnotherThread, -SIGSEGV},
    {"SignalSentToTheCallingThreadReachesServerHandler", SIGSEGV, exits42, 0, raiseInTheCall, 42},
    {"SignalSentToTheProcessReachesServerHandler", SIGSEGV, exits42, 0, killInTheCall, 42},
    {"SignalSentToTheCallingThreadReachesDefaultAction", SIGSEGV, SIG_DFL, 0, raiseInTheCall, -SIGSEGV},
    {"SignalSentToTheCallingThreadOneShotHandlerRaisesAgain", SIGSEGV, raisesAgain, int(SA_RESETHAND), raiseInTheCall,
     -SIGSEGV},
    {"IgnoredSignalSentDuringTheCallStaysIgnored", SIGSEGV, SIG_IGN, 0, raiseInTheCall, 10 + 14},
    {"IgnoredWithSigInfoSignalSentDuringTheCallStaysIgnored", SIGSEGV, SIG_IGN, SA_SIGINFO, raiseInTheCall, 10 + 14},
    {"SignalSentToTheCallingThreadStaysBlockedInServerHandler", SIGSEGV, reportsMask, 0, raiseInTheCall, 44},
    {"SignalSentToTheCallingThreadUnblockedInNoDeferServerHandler", SIGSEGV, reportsMask, SA_NODEFER,
     raiseInTheCall, 45},
    {"AdvanceMachineCheckDuringTheCallReachesDefaultAction", SIGBUS, SIG_DFL, 0, machineCheckInTheCall, -SIGBUS},
    {"IgnoredAdvanceMachineCheckDuringTheCallStaysIgnored", SIGBUS, SIG_IGN, 0, machineCheckInTheCall, 10 + 14},
    {"FiberLeftInACallIsFreedThenCallsAndServerFaultsGoOn", SIGSEGV, recovers, 0, fiberLeftInACallIsFreed, 10 + 14},
    {"FiberSuspendedInACallKeepsItsGuardWhileTheMainContextCalls", SIGSEGV, recovers, 0,
     fiberSuspendedInACallWhileTheMainContextCalls, 10 + 14},
    {"FiberAboveTheThreadsStackSuspendedInACallLeavesTheThreadsFaultToTheServer", SIGSEGV, recovers, 0,
     fiberAboveTheThreadsStackSuspendedInACall, 10 + 14},
    {"CallLeftByAJumpWrittenOverThenACallBelowItThreadEndsCleanly", SIGSEGV, recovers, 0,
     callLeftByAJumpWrittenOverThenACallBelowIt, 10 + 14},
    {"OneShotServerHandlerRecoversOnceThenCallsStillEndWith6", SIGSEGV, recovers, int(SA_RESETHAND),
     oneShotServerHandlerRecoversOnce, -SIGSEGV, "the call ended with 6"},
#  if defined(KX_TRAPS_ARE_TESTED)
    {"DivisionByZeroOutsideACallReachesTheDefaultAction", SIGFPE, SIG_DFL, 0,
     [](FaultTestServer &s) { s.notifyGood(), divideByZero(); }, -SIGFPE},
    {"IllegalInstructionOutsideACallReachesTheDefaultAction", SIGILL, SIG_DFL, 0,
     [](FaultTestServer &s) { s.notifyGood(), illegalInstruction(); }, -SIGILL},
#  endif
};

class FaultGuardScenarioTest : public ::testing::TestWithParam<NotTheCallsOwn> {};

TEST_P(FaultGuardScenarioTest, EndsAsTheServerExpects)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh program: no guard installed yet
    const int ends = GetParam().ends;
    const auto ended = [ends](int status) {
        return ends < 0 ? ::testing::KilledBySignal(-ends)(status) : ::testing::ExitedWithCode(ends)(status);
    };
    EXPECT_EXIT(sendDuringOrAfterACall(GetParam()), ended, GetParam().says);
}

INSTANTIATE_TEST_SUITE_P(InAFreshProcess, FaultGuardScenarioTest, ::testing::ValuesIn(kNotTheCallsOwn),
                         [](const auto &row) { return std::string(row.param.name); });
#else
// The Windows guard's own: its vectored handler stays first in line during a call, and leaves
// guard-page hits and the thread's last error to the server.
class FaultGuardWindowsTest : public ::testing::Test, public FaultTestServer {};

// A server handler registered first in line after the load: the module's handler, registered at its
// first call, still comes first.
TEST_F(FaultGuardWindowsTest, ServerHandlerFirstInLineDoesNotSeeTheCallsFaults)
{
    void *const first = AddVectoredExceptionHandler(1, recoveringServerHandler);
    const int before = serverFaults;
    EXPECT_EQ(notifyUnreadable(), 6);
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

TEST_F(FaultGuardWindowsTest, GuardPageHitInACallReachesTheServer)
{
    void *const handler = AddVectoredExceptionHandler(0, serverGuardPageHandler);
    Pages job(kx::Job::kRecordSize);
    std::memcpy(job.bytes(), goodJob.bytes(), kx::Job::kRecordSize);
    DWORD old = 0;
    VirtualProtect(job.bytes(), 1, PAGE_READWRITE | PAGE_GUARD, &old);
    EXPECT_EQ(notify(job.bytes()), 14);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_EQ(guardPageHits, 1);
    EXPECT_EQ(log->lines.size(), 2u);
}

// A fault of the server's passing through the module's handler leaves the thread's last error as it was.
TEST_F(FaultGuardWindowsTest, LastErrorSurvivesAFaultTheServerHandles)
{
    Pages page(1);
    page.protectAll();
    DWORD seen = 0;
    std::pair<Pages *, DWORD *> context{&page, &seen};
    const kx::ContainedWork work = [](void *raw) -> int {
        auto *c = static_cast<std::pair<Pages *, DWORD *> *>(raw);
        std::thread([c] {
            SetLastError(4242);
            writeTo(*c->first); // mended by the server's handler
            *c->second = GetLastError();
        }).join();
        return 1;
    };
    EXPECT_EQ(kx::runFaultContained(work, &context), 1);
    EXPECT_EQ(seen, 4242u);
}
#endif

} // namespace
