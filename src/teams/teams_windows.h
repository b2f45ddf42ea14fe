// What the scan, the lookup, the listing and the detection share about Teams'
// top-level windows. Internal to src/teams.
#pragma once

#include "teams/teams_window_scan.h"
#include "winapi/desktop.h"

namespace teams {

// A snapshot of the desktop's top-level windows, logged when it is full.
void takeSnapshot(DiagnosticLog& log, win::WindowSnapshot& snapshot);

// Reads the window's facts; true when it is still there and belongs to
// Teams: a window of a Teams class owned by a Teams process. The classic
// client draws its windows with the browser engine's class, which other
// programs share, so the owning process tells them apart.
[[nodiscard]] bool readTeamsWindow(const TeamsRecognition& recognition, win::HWND window, win::WindowFacts& facts);

// Whether the text equals an entry of the built-in list or of the policy's
// (letter case ignored), or begins with one (`prefix`).
[[nodiscard]] bool matchesList(const char16_t* text, const char16_t* const* builtIn, std::size_t builtInCount,
                               const PolicyEntries& added, bool prefix);

}  // namespace teams
