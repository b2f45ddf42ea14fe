// The slash commands typed at a command prompt: /registerhandler,
// /unregisterhandler, /debuginfo, /validateconfig, /help and /?.
#pragma once

#include <cstdint>

namespace logging {
class DiagnosticLog;
}  // namespace logging

namespace app {

// Exit codes of the console commands besides 0 (done) and the Windows error a
// registry command printed. A deployment script runs "/registerhandler" and
// decides by the exit code alone.
constexpr std::int32_t ExitInvalidSyntax = 1;

struct [[nodiscard]] ConsoleCommandResult {
    std::int32_t exitCode = 0;
    bool wantsStatusWindow = false;  // /validateconfig: the status window follows and gives the exit code
    bool operator==(const ConsoleCommandResult&) const = default;
};

// Runs the command at the start of the whole command line (not limited in
// length).
[[nodiscard]] ConsoleCommandResult runConsoleCommand(logging::DiagnosticLog& log, const char16_t* commandLine);

}  // namespace app
