// The contract between the server and a notification plug-in: four plain C
// functions over records the server owns. Every one returns a result code.
#ifndef KXNOTIFYPLUGINAPI_H
#define KXNOTIFYPLUGINAPI_H

struct _kxPluginInfo;
struct _kxNotifyParams;

extern "C" {
typedef int (*kxPluginInitFunction)();
typedef int (*kxPluginInfoFunction)(_kxPluginInfo *info);
typedef int (*kxPluginNotifyFunction)(_kxNotifyParams *params);
typedef int (*kxPluginExitFunction)();
}

namespace kx {
// Export names, resolved by the server exactly as written.
constexpr const char kInitSymbol[] = "pInit";
constexpr const char kInfoSymbol[] = "pInfo";
constexpr const char kNotifySymbol[] = "pNotify";
constexpr const char kExitSymbol[] = "pExit";

enum ResultCode : int {
    ResultSuccess = 1,
    ResultLayoutMismatch = 5,    // record version or layout mismatch
    ResultExceptionCaught = 6,   // an exception or memory fault ended the call
    ResultNoRecipient = 14,      // the job names no recipient
};
} // namespace kx

#endif // KXNOTIFYPLUGINAPI_H
