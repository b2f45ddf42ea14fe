#include <iterator>

#include "log/diagnostic_log.h"
#include "teams/teams_window_scan.h"
#include "teams/teams_windows.h"
#include "util/strings.h"
#include "winapi/system.h"

namespace {

// Each wait polls, 120 attempts 250 ms apart, so that it ends after about 30
// seconds even when Teams never shows the window it waits for.
constexpr int WaitAttempts = 120;
constexpr win::DWORD WaitPauseMs = 250;
constexpr char16_t NoParticipant[] = u"(None)";

constexpr win::WORD VirtualKeyS = 0x53;

// Bringing a window to the foreground takes a moment to show (under Wine the
// foreground reads as none for a millisecond or two); half a second is long
// enough for Windows to have decided.
constexpr win::DWORD ForegroundPollMs = 10;
constexpr win::DWORD ForegroundWaitMs = 500;

// Teams answers an incoming call on Shift+Ctrl+S. The six events go in one
// call so that no real key press can fall between them and leave a modifier
// held down.
constexpr win::KEYBDINPUT AnswerShortcut[] = {
    {win::VK_LSHIFT, 0, 0, 0, 0},
    {win::VK_LCONTROL, 0, 0, 0, 0},
    {VirtualKeyS, 0, 0, 0, 0},
    {VirtualKeyS, 0, win::KEYEVENTF_KEYUP, 0, 0},
    {win::VK_LCONTROL, 0, win::KEYEVENTF_KEYUP, 0, 0},
    {win::VK_LSHIFT, 0, win::KEYEVENTF_KEYUP, 0, 0},
};

bool isEmpty(const char16_t* text) { return text == nullptr || text[0] == 0; }

// The window's title as it is now; empty when it has none or has just gone.
void readTitle(win::HWND window, char16_t (&title)[win::WindowTextCapacity])
{
    win::WindowFacts facts;
    title[0] = 0;
    if (win::readWindowFacts(window, facts)) {
        for (std::size_t i = 0; i < win::WindowTextCapacity; ++i) {
            title[i] = facts.title[i];
        }
    }
}

bool teamsHasTheForeground(const TeamsWindowScan& scan)
{
    const win::HWND foreground = win::foregroundWindow();
    return foreground != nullptr && isTeamsWindow(*scan.recognition, foreground);
}

// The keys go to whichever window has the keyboard focus. When the URL comes
// from a click in the attendant's browser that is the browser itself, where
// Ctrl+Shift+S may be a command of its own; the status window's test button
// has the focus itself. So unless a Teams window has it already, the
// notification window is brought to the foreground first; when Windows
// refuses, no keys are sent at all.
bool teamsTakesTheKeys(const TeamsWindowScan& scan)
{
    if (teamsHasTheForeground(scan)) {
        return true;
    }
    DiagnosticLog& log = *scan.log;
    log.print(u"Bringing Teams call notification window to the foreground...\n");
    // Refused at once or not, the foreground is what counts.
    [[maybe_unused]] const bool asked = win::bringToForeground(scan.notificationWindow);
    for (win::DWORD waited = 0;; waited += ForegroundPollMs) {
        if (teamsHasTheForeground(scan)) {
            return true;
        }
        if (waited >= ForegroundWaitMs) {
            break;
        }
        win::pause(ForegroundPollMs);
    }
    log.print(u"Teams call notification window could not be brought to the foreground, keys not sent.\n");
    return false;
}

// A command that could not even be posted is said so: the log would otherwise
// read as if the window had been minimised or closed.
void postCommand(DiagnosticLog& log, win::HWND window, win::SystemCommand command)
{
    const win::DWORD error = win::postSystemCommand(window, command);
    if (error != win::ERROR_SUCCESS) {
        log.print(u"Posting window command failed (error %d).\n", static_cast<std::int32_t>(error));
    }
}

}  // namespace

void answerCall(const TeamsWindowScan& scan, const char16_t* participant)
{
    DiagnosticLog& log = *scan.log;
    log.print(u"Waiting for Teams call notification window to popup...\n");
    // Every attempt looks at the handle the scan recorded; the scan is not
    // repeated, so a notification window that opens later is not noticed.
    bool detected = false;
    for (int attempt = 0; attempt < WaitAttempts; ++attempt) {
        win::WindowFacts facts;
        if (scan.notificationWindow != nullptr) {
            const bool visible = win::readWindowFacts(scan.notificationWindow, facts) && facts.visible;
            if (attempt == 0) {
                log.print(u"Teams call notification window found %s.\n", visible ? u"(visible)" : u"(not visible)");
            }
            if (visible) {
                detected = true;
                break;
            }
        } else if (attempt == 0) {
            log.print(u"Teams call notification window not found.\n");
        }
        win::pause(WaitPauseMs);
    }
    if (!detected) {
        log.print(u"Wait aborted, no active call detected.\n");
        return;
    }
    log.print(u"Active call notification window detected!\n");

    if (!teamsTakesTheKeys(scan)) {
        return;
    }
    log.print(u"Sending 'Shift-Ctrl-S'\n");
    const win::KeysSent sent = win::sendKeys(AnswerShortcut, static_cast<win::UINT>(std::size(AnswerShortcut)));
    if (sent.sent != std::size(AnswerShortcut)) {
        // No call was answered: waiting 30 seconds for its window would only
        // hide that.
        log.print(u"Sending keys failed (%d of 6 sent, error %d).\n", static_cast<std::int32_t>(sent.sent),
                  static_cast<std::int32_t>(sent.error));
        return;
    }

    if (isEmpty(participant)) {
        participant = nullptr;
    }
    log.print(u"Waiting for call window for participant \"%s\"...\n",
              participant != nullptr ? participant : NoParticipant);
    for (int attempt = 0; attempt < WaitAttempts; ++attempt) {
        // Minimised windows are passed over, so a call window an earlier run
        // minimised is not taken for this call's.
        const win::HWND callWindow = findCallWindow(scan, participant, true);
        if (callWindow != nullptr) {
            char16_t title[win::WindowTextCapacity];
            readTitle(callWindow, title);
            log.print(u"Minimizing call window \"%s\"...\n", static_cast<const char16_t*>(title));
            postCommand(log, callWindow, win::SystemCommand::Minimize);
            return;
        }
        win::pause(WaitPauseMs);
    }
    log.print(u"Wait aborted, no call window detected.\n");
    listTeamsWindows(scan);
}

void closeCallWindow(const TeamsWindowScan& scan, const char16_t* participant)
{
    DiagnosticLog& log = *scan.log;
    if (isEmpty(participant)) {
        participant = nullptr;
    }
    log.print(u"Closing call window for participant \"%s\"...\n", participant != nullptr ? participant : NoParticipant);
    // Minimised call windows count here: the answer action minimises the very
    // windows this action is asked to close.
    const win::HWND callWindow = findCallWindow(scan, participant, false);
    if (callWindow == nullptr) {
        log.print(u"Teams call window not found\n");
        listTeamsWindows(scan);
        return;
    }
    char16_t title[win::WindowTextCapacity];
    readTitle(callWindow, title);
    log.print(u"Sending Close command to window \"%s\"...\n", static_cast<const char16_t*>(title));
    postCommand(log, callWindow, win::SystemCommand::Close);
}

std::int32_t listTeamsWindows(const TeamsWindowScan& scan)
{
    DiagnosticLog& log = *scan.log;
    win::WindowSnapshot snapshot;
    teams::takeSnapshot(log, snapshot);
    win::WindowFacts facts;
    std::int32_t listed = 0;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        const win::HWND window = snapshot.windows[i];
        if (!teams::readTeamsWindow(*scan.recognition, window, facts)) {
            continue;
        }
        if (listed == 0) {
            log.print(u"Enumerating Teams windows\n");
        }
        std::int32_t mainColumn = 0;
        if (window == scan.mainWindow) {
            mainColumn = scan.mainFromCache ? 2 : 1;
        }
        const std::int32_t callNotify =
            window == scan.notificationWindow ? static_cast<std::int32_t>(scan.notificationMatch) : 0;
        log.print(u"Window %p main:%d callnotify:%d visible:%d, minimized:%d [%s]\n", window, mainColumn, callNotify,
                  facts.visible ? 1 : 0, facts.minimized ? 1 : 0, static_cast<const char16_t*>(facts.title));
        ++listed;
    }
    if (listed == 0) {
        log.print(u"Teams desktop application not found.\n");
    }
    return listed;
}

void listTeamsProcessWindows(const TeamsWindowScan& scan)
{
    DiagnosticLog& log = *scan.log;
    win::WindowSnapshot snapshot;
    teams::takeSnapshot(log, snapshot);
    win::WindowFacts facts;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        const win::HWND window = snapshot.windows[i];
        char16_t imagePath[win::ImagePathCapacity];
        if (!isTeamsWindow(*scan.recognition, window) || !win::readWindowFacts(window, facts) ||
            !win::readWindowImagePath(window, imagePath)) {
            continue;
        }
        // The image's file name only: the folders above it may name the user.
        const char16_t* slash = util::findLastChar(imagePath, u'\\');
        log.print(u"Window %p class:[%s] image:[%s] visible:%d, minimized:%d [%s]\n", window,
                  static_cast<const char16_t*>(facts.className), slash != nullptr ? slash + 1 : imagePath,
                  facts.visible ? 1 : 0, facts.minimized ? 1 : 0, static_cast<const char16_t*>(facts.title));
    }
}
