// Stand-ins until window discovery and the call actions are built: the scan
// finds nothing and the actions do nothing, so every path of the entry point
// runs and ends with its exit code.
#include "teams/teams_window_scan.h"

TeamsWindowScan::TeamsWindowScan(DiagnosticLog* scanLog) : log(scanLog) {}

win::HWND TeamsWindowScan::findCallWindow(const char16_t*, bool) const
{
    return nullptr;
}

void TeamsWindowScan::answerCall(const char16_t*) const {}

void TeamsWindowScan::closeCallWindow(const char16_t*) const {}

std::int32_t TeamsWindowScan::listTeamsWindows() const
{
    return 0;
}

bool isTeamsWindow(win::HWND)
{
    return false;
}
