#include "ui/status_content.h"

#include "teams/teams_window_scan.h"
#include "util/strings.h"
#include "winapi/desktop.h"

namespace {
constexpr char16_t TeamsWindowClass[] = u"Chrome_WidgetWin_1";
constexpr int StatusWidth = 400;
constexpr int StatusHeight = 200;
constexpr int StatusDebugHeight = 250;
}  // namespace

bool teamsWindowVisible()
{
    for (win::HWND window = win::FindWindowExW(nullptr, nullptr, TeamsWindowClass, nullptr); window != nullptr;
         window = win::FindWindowExW(nullptr, window, TeamsWindowClass, nullptr)) {
        // Visibility first: it is cheap, and isTeamsWindow opens a process.
        if (win::IsWindowVisible(window) && isTeamsWindow(window)) {
            return true;
        }
    }
    return false;
}

void composeDetectionText(char16_t (&text)[StatusTextCapacity], bool teamsDetected, bool notificationFound)
{
    util::copyString(text, teamsDetected ? TeamsDetectedText : TeamsNotFoundText);
    if (teamsDetected) {
        util::appendString(text, notificationFound ? NotificationFoundText : NotificationNotFoundText);
    }
}

void detectionTextFor(const TeamsWindowScan& scan, char16_t (&text)[StatusTextCapacity])
{
    composeDetectionText(text, teamsWindowVisible(), scan.notificationWindow != nullptr);
}

StatusGeometry statusWindowGeometry(win::LONG desktopRight, win::LONG desktopBottom, bool debug)
{
    const int height = debug ? StatusDebugHeight : StatusHeight;
    return StatusGeometry{desktopRight / 2 - StatusWidth / 2, desktopBottom / 2 - height / 2, StatusWidth, height};
}

bool logFolderOf(const char16_t* logPath, char16_t (&folder)[StatusPathCapacity])
{
    util::copyString(folder, logPath != nullptr ? logPath : u"");
    return util::pathRemoveFileSpec(folder);
}
