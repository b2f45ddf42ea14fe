// What the scan, the lookup, the listing and the detection share about Teams'
// top-level windows. Internal to src/teams.
#pragma once

#include "winapi/desktop.h"

class DiagnosticLog;

namespace teams {

// A snapshot of the desktop's top-level windows, logged when it is full.
void takeSnapshot(DiagnosticLog& log, win::WindowSnapshot& snapshot);

// Reads the window's facts; true when it is still there and belongs to
// Teams: a window of Teams' class owned by a Teams process. Teams draws its
// windows with the browser engine's class, which other programs share, so
// the owning process tells them apart.
[[nodiscard]] bool readTeamsWindow(win::HWND window, win::WindowFacts& facts);

}  // namespace teams
