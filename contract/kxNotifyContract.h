// The contract between the server and a notification plug-in: four plain C
// functions over records the server owns. Every one returns a result code.
// The records are described in records/, one header each; their string
// fields are reached through kx::StringField (kxStringField.h).
#ifndef KXNOTIFYCONTRACT_H
#define KXNOTIFYCONTRACT_H

#include "kxStringField.h"
#include "records/kxClientRecord.h"
#include "records/kxClientTableRecord.h"
#include "records/kxJobRecord.h"
#include "records/kxNotifyParamsRecord.h"
#include "records/kxPluginInfoRecord.h"
#include "records/kxServerConfigRecord.h"
#include "records/kxServerSdkRecord.h"

// Visible and undecorated. Never dllimport: a server only resolves the
// exports by name at run time, so its declarations are never linked against.
#if defined(_WIN32)
#  define KX_PLUGIN_EXPORT __declspec(dllexport)
#else
#  define KX_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// A plug-in defines exactly these four, each as extern "C": a definition of
// another signature then fails to compile instead of exporting the wrong call.
extern "C" {
KX_PLUGIN_EXPORT int pInit();
KX_PLUGIN_EXPORT int pInfo(_kxPluginInfo *info);
KX_PLUGIN_EXPORT int pNotify(_kxNotifyParams *params);
KX_PLUGIN_EXPORT int pExit();
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

#endif // KXNOTIFYCONTRACT_H
