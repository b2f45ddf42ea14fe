// The URL protocol handler registration: the key tree under HKEY_CLASSES_ROOT
// that makes Windows start this program for Velmorathis.Mirrowcast: URLs.
//
//   HKCR\Velmorathis.Mirrowcast             (default) "URL:Velmorathis.Mirrowcast Protocol"
//                                           "URL Protocol" (empty REG_SZ)
//   HKCR\Velmorathis.Mirrowcast\DefaultIcon (default) the program's full path
//   HKCR\...\shell\open\command             (default) "<program path>" "%1"
//
// The operations keep no state: each looks at the registry as it finds it and
// closes every key it opened before it returns.
#pragma once

#include <cstdint>

#include "winapi/types.h"

class DiagnosticLog;

// The numbers are the ones "/validateconfig" shows as its error.
enum class ValidateResult : std::int32_t {
    Valid = 0,                  // the registered open command is the one this program would write
    Missing = 1,                // nothing registered: no scheme key, open command key or command value
    Differs = 2,                // another command (another program, this one moved), or one that cannot be read
    ModulePathUnreadable = -1,  // the program's own path could not be read
};

enum class RegisterOutcome : std::int32_t { Registered = 0, Refused = 1, Failed = 2 };

// What registerHandler did and why: whoever ran "/registerhandler" must learn
// whether the handler is this program's now, and if not, which Windows error
// stopped it.
struct [[nodiscard]] RegisterResult {
    RegisterOutcome outcome = RegisterOutcome::Failed;
    ValidateResult found = ValidateResult::Missing;  // the registration found before anything was written
    win::LSTATUS error = 0;                          // the error reported with Failed, else 0
};

enum class UnregisterOutcome : std::int32_t { Removed = 0, NotFound = 1, Failed = 2 };

struct [[nodiscard]] UnregisterResult {
    UnregisterOutcome outcome = UnregisterOutcome::Failed;
    win::LSTATUS error = 0;  // the error reported with Failed, else 0
};

struct ProtocolHandler {
    // Compares the registered open command with the one this program would
    // write, letter case ignored.
    [[nodiscard]] ValidateResult validate() const;
    // Writes the key tree unless a registration exists already; an existing
    // one, readable or not, is never overwritten: the user unregisters it
    // first. A partial one without its open command is completed.
    [[nodiscard]] RegisterResult registerHandler() const;
    // Removes the whole tree, subkeys and values of others included, from
    // the user's classes and the machine's: whichever HKEY_CLASSES_ROOT shows.
    [[nodiscard]] UnregisterResult unregisterHandler() const;

    DiagnosticLog* log = nullptr;  // the process's log, not owned
};

// "Access denied" for error 5, "system error" for every other number: the two
// texts the user sees next to a Windows error number.
const char16_t* registryErrorText(win::LSTATUS error);
