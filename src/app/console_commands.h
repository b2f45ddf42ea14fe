// The slash commands typed at a command prompt: /registerhandler,
// /unregisterhandler, /debuginfo, /validateconfig, /help and /?.
#pragma once

#include <cstdint>

class DiagnosticLog;

enum class ConsoleCommandResult : std::int32_t {
    Done = 0,                // the command ran, whatever its own outcome
    InvalidSyntax = 1,       // no command word recognised
    WantsStatusWindow = -1,  // /validateconfig: the status window follows
};

// Runs the command at the start of the whole command line (not limited in
// length).
[[nodiscard]] ConsoleCommandResult runConsoleCommand(DiagnosticLog& log, const char16_t* commandLine);
