// kxhost: drives a notification module from the command line the way the
// render-farm server drives it.
#include "kxCheckCommand.h"
#include "kxHostCommands.h"
#include "kxHostError.h"
#include "kxHostReport.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTextStream>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

namespace {
const char kUsage[] =
    "Usage: kxhost COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  info      the identity a notification module reports, and its layout verdict\n"
    "  notify    run job events through the module against a farm of render clients\n"
    "  generate  write a farm file of N render clients\n"
    "  check     run the conformance checks against a notification plug-in\n"
    "\n"
    "kxhost COMMAND --help shows a command's options.\n"
    "Exit status: 0 done, 1 the module or a file could not be used, 2 bad input.\n";

// Memory held back for the way out: freeing a JSON document allocates, and a
// destructor that cannot allocate while an exception unwinds ends the process.
constexpr std::size_t kEmergencyReserveBytes = 8 * 1024 * 1024;
void *emergencyReserve = nullptr;

void onAllocationFailure()
{
    if (emergencyReserve) {
        std::free(emergencyReserve);
        emergencyReserve = nullptr;
        // While unwinding, the allocation that asked is a destructor's: let it have the memory.
        if (std::uncaught_exceptions() > 0)
            return;
    }
    throw std::bad_alloc();
}

int run(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kxhost"));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.value(0);

    if (command == QLatin1String("check"))
        return kx::check::runCheckCommand(arguments);
    // The one place an error ends a run: its status is its own.
    try {
        if (command == QLatin1String("info"))
            return kx::host::runInfo(arguments);
        if (command == QLatin1String("notify"))
            return kx::host::runNotify(arguments);
        if (command == QLatin1String("generate"))
            return kx::host::runGenerate(arguments);
    } catch (const kx::host::Error &error) {
        return kx::host::failWith(error.status(), error.message());
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        QTextStream(stdout) << kUsage;
        return kx::host::ExitSuccess;
    }
    QTextStream err(stderr);
    if (command.isEmpty())
        err << kUsage;
    else
        err << "kxhost: unknown command \"" << command << "\"\n\n" << kUsage;
    return kx::host::ExitBadInput;
}
} // namespace

int main(int argc, char *argv[])
{
    emergencyReserve = std::malloc(kEmergencyReserveBytes);
    std::set_new_handler(onAllocationFailure);
    // Written without allocating: there may be no memory left for a formatted message.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fflush(stdout);
        std::fputs("kxhost: out of memory; the run was stopped and no file was saved\n", stderr);
    } catch (const std::exception &error) {
        std::fflush(stdout);
        std::fputs("kxhost: stopped by an unexpected error: ", stderr);
        std::fputs(error.what(), stderr);
        std::fputs("\n", stderr);
    }
    return kx::host::ExitFailure;
}
