// The program's entry: one look at the command line, one piece of work, one
// exit code.
//
//   /command ...                        console commands
//   "Velmorathis.Mirrowcast:TeamsCall?action=...&participant=..."
//                                       protocol URL (quoted by the shell)
//   --debug                             status window in debug mode
//   anything else                       nothing, exit code 0
#pragma once

#include <cstdint>

#include "winapi/types.h"

namespace logging {
class DiagnosticLog;
}  // namespace logging

namespace app {

// Exit codes of the URL forms, read by scripts and support (a browser hands
// the URL over and never learns the result). The console commands' own are in
// console_commands.h.
constexpr std::int32_t ExitOk = 0;
constexpr std::int32_t ExitUnknownAction = 3;

// At most 2,083 characters: the longest URL Windows' own URL functions take
// (a browser hands over at most 2,048). A name of forty Cyrillic letters,
// percent-encoded as UTF-8, is a URL of about 300.
constexpr std::size_t WorkingCopyCapacity = 2084;

// Dispatches the command line (the part after the program name, as a GUI
// program's entry receives it) and returns the process exit code.
std::int32_t runEntryPoint(logging::DiagnosticLog& log, win::HINSTANCE instance, const char16_t* commandLine,
                           int showCommand);

// The command line without the program's own name and the blanks and control
// characters (up to U+0020) after it, as wWinMain receives it.
const char16_t* skipProgramName(const char16_t* fullCommandLine);

}  // namespace app
