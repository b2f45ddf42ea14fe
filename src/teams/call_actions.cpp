#include <iterator>

#include "log/diagnostic_log.h"
#include "teams/teams_window_scan.h"
#include "teams/teams_windows.h"
#include "winapi/desktop.h"
#include "winapi/system.h"

namespace {

// Each wait polls, 120 attempts 250 ms apart, so that it ends after about 30
// seconds even when Teams never shows the window it waits for.
constexpr int WaitAttempts = 120;
constexpr win::DWORD WaitPauseMs = 250;
constexpr char16_t NoParticipant[] = u"(None)";

constexpr win::WORD VirtualKeyS = 0x53;

// Teams answers an incoming call on Shift+Ctrl+S. The six events go in one
// SendInput call so that no real key press can fall between them and leave a
// modifier held down.
constexpr win::KEYBDINPUT AnswerShortcut[] = {
    {win::VK_LSHIFT, 0, 0, 0, 0},
    {win::VK_LCONTROL, 0, 0, 0, 0},
    {VirtualKeyS, 0, 0, 0, 0},
    {VirtualKeyS, 0, win::KEYEVENTF_KEYUP, 0, 0},
    {win::VK_LCONTROL, 0, win::KEYEVENTF_KEYUP, 0, 0},
    {win::VK_LSHIFT, 0, win::KEYEVENTF_KEYUP, 0, 0},
};

bool isEmpty(const char16_t* text) { return text == nullptr || text[0] == 0; }

}  // namespace

void TeamsWindowScan::answerCall(const char16_t* participant) const
{
    log->print(u"Waiting for Teams call notification window to popup...\n");
    // Every attempt looks at the handle the scan recorded; the scan is not
    // repeated, so a notification window that opens later is not noticed.
    bool detected = false;
    for (int attempt = 0; attempt < WaitAttempts; ++attempt) {
        if (notificationWindow != nullptr) {
            const bool visible = win::IsWindowVisible(notificationWindow) != 0;
            if (attempt == 0) {
                log->print(u"Teams call notification window found %s.\n", visible ? u"(visible)" : u"(not visible)");
            }
            if (visible) {
                detected = true;
                break;
            }
        } else if (attempt == 0) {
            log->print(u"Teams call notification window not found.\n");
        }
        win::Sleep(WaitPauseMs);
    }
    if (!detected) {
        log->print(u"Wait aborted, no active call detected.\n");
        return;
    }
    log->print(u"Active call notification window detected!\n");

    // Nothing is activated first: Windows refuses the foreground to a
    // background process, and the keys go to whichever window has the focus.
    log->print(u"Sending 'Shift-Ctrl-S'\n");
    win::SendInput(static_cast<win::UINT>(std::size(AnswerShortcut)), AnswerShortcut);

    if (isEmpty(participant)) {
        participant = nullptr;
    }
    log->print(u"Waiting for call window for participant \"%s\"...\n",
               participant != nullptr ? participant : NoParticipant);
    for (int attempt = 0; attempt < WaitAttempts; ++attempt) {
        // Minimised windows are passed over, so a call window an earlier run
        // minimised is not taken for this call's.
        const win::HWND callWindow = findCallWindow(participant, true);
        if (callWindow != nullptr) {
            char16_t title[teams::TitleCapacity];
            teams::readTitle(callWindow, title);
            log->print(u"Minimizing call window \"%s\"...\n", static_cast<const char16_t*>(title));
            // Posted, never sent: a busy or hung Teams must not block this
            // process.
            win::PostMessageW(callWindow, win::WM_SYSCOMMAND, win::SC_MINIMIZE, 0);
            return;
        }
        win::Sleep(WaitPauseMs);
    }
    log->print(u"Wait aborted, no call window detected.\n");
    listTeamsWindows();
}

void TeamsWindowScan::closeCallWindow(const char16_t* participant) const
{
    if (isEmpty(participant)) {
        participant = nullptr;
    }
    log->print(u"Closing call window for participant \"%s\"...\n", participant != nullptr ? participant : NoParticipant);
    // Minimised call windows count here: the answer action minimises the very
    // windows this action is asked to close.
    const win::HWND callWindow = findCallWindow(participant, false);
    if (callWindow == nullptr) {
        log->print(u"Teams call window not found\n");
        listTeamsWindows();
        return;
    }
    char16_t title[teams::TitleCapacity];
    teams::readTitle(callWindow, title);
    log->print(u"Sending Close command to window \"%s\"...\n", static_cast<const char16_t*>(title));
    win::PostMessageW(callWindow, win::WM_SYSCOMMAND, win::SC_CLOSE, 0);
}

std::int32_t TeamsWindowScan::listTeamsWindows() const
{
    std::int32_t listed = 0;
    for (win::HWND window = teams::nextWindow(nullptr); window != nullptr; window = teams::nextWindow(window)) {
        if (!isTeamsWindow(window)) {
            continue;
        }
        if (listed == 0) {
            log->print(u"Enumerating Teams windows\n");
        }
        char16_t title[teams::TitleCapacity];
        teams::readTitle(window, title);
        std::int32_t mainColumn = 0;
        if (window == mainWindow) {
            mainColumn = mainFromCache != 0 ? 2 : 1;
        }
        const std::int32_t callNotify = window == notificationWindow ? static_cast<std::int32_t>(notificationMatch) : 0;
        const std::int32_t visible = win::IsWindowVisible(window) != 0 ? 1 : 0;
        const std::int32_t minimized = (win::GetWindowLongW(window, win::GWL_STYLE) & win::WS_MINIMIZE) != 0 ? 1 : 0;
        log->print(u"Window %p main:%d callnotify:%d visible:%d, minimized:%d [%s]\n", window, mainColumn, callNotify,
                   visible, minimized, static_cast<const char16_t*>(title));
        ++listed;
    }
    if (listed == 0) {
        log->print(u"Teams desktop application not found.\n");
    }
    return listed;
}
