// The status window: whether Teams and its call notification window can be
// seen, a link to the log folder and, in debug mode, a button that tests the
// answer action.
#pragma once

#include <cstdint>

#include "winapi/types.h"

namespace logging {
class DiagnosticLog;
}  // namespace logging

namespace ui {

// Shows the window and runs its message loop until it is closed. Returns the
// exit value of the quit message (0), or 0 when the window cannot be created.
// `debug` adds the test button (the --debug form of the command line).
std::int32_t showStatusWindow(logging::DiagnosticLog& log, win::HINSTANCE instance, int showCommand, bool debug);

}  // namespace ui
