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

// Results of ProtocolHandler::validate.
constexpr std::int32_t HandlerValid = 0;
constexpr std::int32_t HandlerMissing = 1;
constexpr std::int32_t HandlerDiffers = 2;
constexpr std::int32_t HandlerModulePathUnreadable = -1;

// Results of ProtocolHandler::registerHandler.
constexpr std::int32_t RegisterDone = 0;
constexpr std::int32_t RegisterRefused = 1;
constexpr std::int32_t RegisterFailed = 2;

struct ProtocolHandler {
    // The registered open command equals the one this program would write
    // (letter case ignored): one of the four validate results above.
    std::int32_t validate() const;
    // Writes the key tree unless a readable registration exists already; an
    // existing one is never overwritten, the user unregisters it first.
    std::int32_t registerHandler() const;
    // Removes the whole tree, subkeys and values of others included.
    void unregisterHandler() const;

    DiagnosticLog* log = nullptr;  // the process's log, not owned
};

// "Access denied" for error 5, "system error" for every other number: the two
// texts the user sees next to a Windows error number.
const char16_t* registryErrorText(win::LSTATUS error);
