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

namespace logging {
class DiagnosticLog;
}  // namespace logging

namespace registration {

// The numbers are the ones "/validateconfig" shows as its error.
enum class ValidateResult : std::int32_t {
    Valid = 0,                  // the registered open command is the one this program would write
    Missing = 1,                // nothing registered: no scheme key, open command key or command value
    Differs = 2,                // another command (another program, this one moved), or one that cannot be read
    ModulePathUnreadable = -1,  // the program's own path could not be read
};

struct ProtocolHandler {
    // Compares the registered open command with the one this program would
    // write, letter case ignored.
    [[nodiscard]] ValidateResult validate() const;
    // Writes the key tree unless a registration exists already; an existing
    // one, readable or not, is never overwritten: the user unregisters it
    // first. A partial one without its open command is completed.
    // ERROR_SUCCESS when this program is the handler afterwards (written now,
    // or found so); ERROR_ALREADY_EXISTS when another registration was left
    // in place (pointing elsewhere, or one that could not be compared); else
    // the Windows error it reported (13: the program's own path unreadable).
    [[nodiscard]] win::DWORD registerHandler() const;
    // Removes the whole tree, subkeys and values of others included, from
    // the user's classes and the machine's: whichever HKEY_CLASSES_ROOT shows.
    // ERROR_SUCCESS when no handler is left (removed, or none was there),
    // else the Windows error it reported.
    [[nodiscard]] win::DWORD unregisterHandler() const;

    logging::DiagnosticLog* log = nullptr;  // the process's log, not owned
};

// "Access denied" for error 5, "system error" for every other number: the two
// texts the user sees next to a Windows error number.
const char16_t* registryErrorText(win::DWORD error);

}  // namespace registration
