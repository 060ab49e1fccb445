// The server of the fault-containment tests, on POSIX systems and Windows: pages it can take away, the
// module driven with a recording log, a fault handler of its own that recovers from the faults it makes
// on purpose, and threads it ends the system's way.
#ifndef FAULTTESTSERVER_H
#define FAULTTESTSERVER_H

#include "cancellation.h"
#include "kxJobRecordBuilder.h"
#include "kxPluginModule.h"
#include "kxServerSdkObject.h"
#include "pages.h"
#include "records/kxJobRecord.h"
#include "recordingLog.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <atomic>
#include <functional>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <csetjmp>
#  include <csignal>
#  include <pthread.h>
#  include <unistd.h>
// Present in sanitized builds only.
extern "C" __attribute__((weak)) void __lsan_disable();
extern "C" __attribute__((weak)) void __lsan_enable();
#endif

// The server's own fault handler, in place before the module's first call (on Windows last in line).
// It recovers from the faults serverFaultAt makes; on POSIX systems any other fault reaching it ends
// the process with status 43.
inline std::atomic<int> serverFaults{0};
#if defined(_WIN32)
inline bool isHeapInstrumented() { return false; }
inline thread_local int serverFaultsOnThisThread = 0;
inline LONG CALLBACK recoveringServerHandler(EXCEPTION_POINTERS *pointers)
{
    const EXCEPTION_RECORD *record = pointers->ExceptionRecord;
    DWORD old = 0;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION
        || !VirtualProtect(reinterpret_cast<void *>(record->ExceptionInformation[1]), 1, PAGE_READWRITE, &old))
        return EXCEPTION_CONTINUE_SEARCH;
    const DWORD lastError = GetLastError(); // thread-local storage may clear it
    ++serverFaults, ++serverFaultsOnThisThread;
    SetLastError(lastError);
    return EXCEPTION_CONTINUE_EXECUTION;
}
inline const bool serverHandlerInstalled = AddVectoredExceptionHandler(0, recoveringServerHandler);
inline bool serverFaultAt(const Pages &page)
{
    const int before = serverFaultsOnThisThread;
    *static_cast<volatile unsigned char *>(page.bytes()) = 1;
    page.protectAll(); // taken away again after the server's mending
    return serverFaultsOnThisThread == before + 1;
}

[[noreturn]] inline void endThisThread() { ExitThread(3); }
inline bool isModuleMapped(const QString &path)
{
    return GetModuleHandleW(reinterpret_cast<const wchar_t *>(QFileInfo(path).fileName().utf16())) != nullptr;
}
#else
inline bool isHeapInstrumented() { return __lsan_enable; }
inline thread_local sigjmp_buf *serverRecovery = nullptr;
inline void recoveringServerHandler(int, siginfo_t *, void *)
{
    if (!serverRecovery)
        _exit(43);
    ++serverFaults;
    siglongjmp(*serverRecovery, 1);
}
inline const bool serverHandlerInstalled = [] {
    struct sigaction server = {};
    server.sa_sigaction = recoveringServerHandler;
    server.sa_flags = SA_SIGINFO;
    return sigaction(SIGSEGV, &server, nullptr) == 0;
}();
inline bool serverFaultAt(const Pages &page)
{
    sigjmp_buf recovery;
    serverRecovery = &recovery;
    const bool reached = sigsetjmp(recovery, 1) || (*static_cast<volatile unsigned char *>(page.bytes()), false);
    serverRecovery = nullptr;
    return reached;
}

inline int threadEnded = 0;
[[noreturn]] inline void endThisThread() { pthread_exit(&threadEnded); }
inline QByteArray mappedFiles()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
}
inline bool isModuleMapped(const QString &path)
{
    return mappedFiles().contains(QFileInfo(path).canonicalFilePath().toLocal8Bit());
}
#endif

// A fault in the server's own code, right below the caller or `depth` frames of 8 KiB further down,
// each written only at its ends: what lay on the stack there stays as it was.
__attribute__((noinline)) inline bool serverFaultReachesServer(const Pages &page, int depth = 0)
{
    if (depth == 0)
        return page.protectAll(), serverFaultAt(page);
    volatile unsigned char frame[8192];
    frame[0] = static_cast<unsigned char>(depth);
    return serverFaultReachesServer(page, depth - 1) && frame[0] == depth;
}

// Runs work on a thread that the system then ends (endThisThread), also from inside work; true if it
// ended that way.
[[noreturn]] inline void runThenEnd(void *work)
{
    (*static_cast<std::function<void()> *>(work))();
    endThisThread();
}
inline bool runOnThreadThatEnds(std::function<void()> work)
{
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, 0, [](void *w) -> DWORD { runThenEnd(w); }, &work, 0, nullptr);
    DWORD code = 0;
    WaitForSingleObject(thread, INFINITE), GetExitCodeThread(thread, &code), CloseHandle(thread);
    return code == 3;
#else
    pthread_t thread;
    void *result = nullptr;
    pthread_create(&thread, nullptr, [](void *w) -> void * { runThenEnd(w); }, &work);
    pthread_join(thread, &result);
    return result == &threadEnded;
#endif
}

// The module with the server's SDK object, a recording log, a good job (no recipients: start line,
// warning, result 14) and an unreadable one.
struct FaultTestServer
{
    explicit FaultTestServer(const QString &path = QStringLiteral(KX_PLUGIN_MODULE_PATH)) : module(path)
    {
        module.load();
        log = &sdk.installLog<RecordingLog>();
        goodJob.setId(1, 1234567);
        unreadable.protectAll();
    }
    int notify(const void *job)
    {
        _kxNotifyParams params = kx::NotifyParams::make(sdk.sdkInterface(), static_cast<_kxJob *>(const_cast<void *>(job)));
#if !defined(_WIN32)
        // A contained fault skips the destructors of what the call built: lost by design.
        const struct Pause {
            Pause() { __lsan_disable ? __lsan_disable() : void(); }
            ~Pause() { __lsan_enable ? __lsan_enable() : void(); }
        } pause;
#endif
        return module.notify(&params);
    }
    int notifyGood() { return notify(goodJob.record()); }
    int notifyUnreadable() { return notify(unreadable.bytes()); }

    kx::server::PluginModule module;
    kx::server::SdkObject sdk;
    RecordingLog *log = nullptr;
    kx::server::JobRecordBuilder goodJob;
    Pages unreadable{kx::Job::kRecordSize};
};

#endif // FAULTTESTSERVER_H
