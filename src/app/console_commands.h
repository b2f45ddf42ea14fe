// The slash commands typed at a command prompt: /registerhandler,
// /unregisterhandler, /debuginfo, /validateconfig, /help and /?.
#pragma once

#include <cstdint>

class DiagnosticLog;

constexpr std::int32_t ConsoleCommandDone = 0;
constexpr std::int32_t ConsoleCommandInvalid = 1;
constexpr std::int32_t ConsoleCommandWantsStatusWindow = -1;

// Runs the command at the start of the whole command line (not limited in
// length). Returns one of the three results above.
std::int32_t runConsoleCommand(DiagnosticLog& log, const char16_t* commandLine);
