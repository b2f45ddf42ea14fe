#include <iterator>

#include "log/diagnostic_log.h"
#include "teams/teams_window_scan.h"
#include "teams/teams_windows.h"
#include "util/strings.h"
#include "winapi/system.h"

namespace {

// Both waits end after 30 seconds, by the clock, when Teams never shows the
// window they wait for. In between they look twice: every few milliseconds a
// quick look, which asks only what is cheap (is the pop-up visible yet, has a
// window come that was not there before, and what is it), and every 250 ms a
// full look that reads every window afresh (a title that changed, a hidden
// window shown). Window events could wake a wait sooner, but they arrive
// through a message loop, and pumping one here would let the status window's
// test button start a second answer inside the first.
constexpr std::uint64_t WaitLimitMs = 30'000;
constexpr win::DWORD QuickLookPauseMs = 10;
constexpr std::uint64_t FullLookIntervalMs = 250;
// Teams opens the call window within a second or two of the keys; until this
// much time has passed only a window that was not visible before the keys can
// be it.
constexpr std::uint64_t NewWindowsOnlyMs = 5'000;
constexpr char16_t NoParticipant[] = u"(None)";

constexpr win::WORD VirtualKeyS = 0x53;

// Bringing a window to the foreground takes a moment to show (under Wine the
// foreground reads as none for a millisecond or two); half a second is long
// enough for Windows to have decided.
constexpr win::DWORD ForegroundPollMs = 10;
constexpr std::uint64_t ForegroundWaitMs = 500;

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
        util::copyString(title, facts.title);
    }
}

// Teams takes its shortcuts in any of its own windows, but only the client
// that rings can answer: with both clients running, or an image name a
// policy added that another program also uses, a window of another process
// must not get the keys.
bool ringingClientHasTheForeground(const TeamsWindowScan& scan)
{
    const win::HWND foreground = win::foregroundWindow();
    const win::DWORD ringing = win::windowProcessId(scan.notificationWindow);
    return foreground != nullptr && ringing != 0 && win::windowProcessId(foreground) == ringing;
}

// The keys go to whichever window has the keyboard focus. When the URL comes
// from a click in the attendant's browser that is the browser itself, where
// Ctrl+Shift+S may be a command of its own; the status window's test button
// has the focus itself. So unless the ringing client has it already, the
// notification window is brought to the foreground first; when Windows
// refuses, no keys are sent at all. Asking for the pop-up itself would be
// stricter, but Windows refuses the foreground to a process the foreground
// process did not start, and an attendant typing in Teams when the web
// application fires would never be answered.
bool ringingClientTakesTheKeys(const TeamsWindowScan& scan)
{
    if (ringingClientHasTheForeground(scan)) {
        return true;
    }
    DiagnosticLog& log = *scan.log;
    log.print(u"Bringing Teams call notification window to the foreground...\n");
    // Refused at once or not, the foreground is what counts.
    [[maybe_unused]] const bool asked = win::bringToForeground(scan.notificationWindow);
    const std::uint64_t start = win::monotonicMilliseconds();
    for (;;) {
        if (ringingClientHasTheForeground(scan)) {
            return true;
        }
        if (win::monotonicMilliseconds() - start >= ForegroundWaitMs) {
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

// True when a Teams window shows that the look asks about: one that came
// since the last look, one watched since it was seen hidden, or, in a full
// look, any. Only such a window can be a pop-up the recognition has not
// found already; the hidden ones are watched.
bool teamsWindowShows(const TeamsWindowScan& scan, const win::WindowSnapshot& snapshot, teams::WaitLook& look)
{
    bool shows = false;
    win::WindowFacts facts;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        const win::HWND window = snapshot.windows[i];
        if (look.isWatched(window)) {
            shows = shows || win::isWindowVisible(window);
        } else if (look.asksAbout(window) && teams::readTeamsWindow(*scan.recognition, window, facts)) {
            if (facts.visible) {
                shows = true;
            } else {
                look.watch(window);
            }
        }
    }
    return shows;
}

// Waits for a visible notification window: the scan's, or, while the run has
// none that is visible, one that the scan's recognition finds among the
// windows as they are now (today's client may make its pop-up per call, and
// a web application may send the URL the moment its own screen shows the
// call). Such a window becomes the run's notification window.
bool waitForNotification(TeamsWindowScan& run)
{
    DiagnosticLog& log = *run.log;
    log.print(u"Waiting for Teams call notification window to popup...\n");
    const win::HWND scanned = run.notificationWindow;
    if (scanned == nullptr) {
        log.print(u"Teams call notification window not found.\n");
    } else {
        const bool visible = win::isWindowVisible(scanned);
        log.print(u"Teams call notification window found %s.\n", visible ? u"(visible)" : u"(not visible)");
        if (visible) {
            return true;
        }
    }
    const std::uint64_t start = win::monotonicMilliseconds();
    std::uint64_t nextFullLook = start + FullLookIntervalMs;
    win::WindowSnapshot snapshot;
    teams::takeSnapshot(run, snapshot);
    teams::WaitLook look;
    look.full = true;  // the windows that are there now: which Teams windows to watch
    [[maybe_unused]] const bool shows = teamsWindowShows(run, snapshot, look);
    look.known.remember(snapshot);
    for (;;) {
        win::pause(QuickLookPauseMs);
        const std::uint64_t now = win::monotonicMilliseconds();
        if (scanned != nullptr && win::isWindowVisible(scanned)) {
            return true;
        }
        teams::takeSnapshot(run, snapshot);
        // A Teams window that shows may be the pop-up, or may change which
        // window the exclusion rule leaves: the recognition runs then, not
        // at the next full look.
        look.full = now >= nextFullLook;
        if (teamsWindowShows(run, snapshot, look) || look.full) {
            const teams::NotificationFinding found = teams::findNotification(*run.recognition, snapshot);
            if (found.window != nullptr && found.visible) {
                if (found.window != scanned) {
                    run.notificationWindow = found.window;
                    run.notificationMatch = found.match;
                    log.print(u"Teams call notification window %p appeared.\n", found.window);
                }
                return true;
            }
            if (look.full) {
                nextFullLook = now + FullLookIntervalMs;
            }
        }
        look.known.remember(snapshot);
        if (now - start >= WaitLimitMs) {
            return false;
        }
    }
}

// The windows as they stand just before the keys: the call window is one
// that is not among the visible Teams windows then.
struct WindowsAtKeys {
    teams::KnownWindows all;
    teams::KnownWindows visibleTeams;
    // Teams may show the call in a window it keeps hidden until then.
    teams::WaitLook look;  // every window known, the hidden Teams windows watched
};

void noteWindowsAtKeys(const TeamsWindowScan& run, WindowsAtKeys& atKeys)
{
    win::WindowSnapshot snapshot;
    teams::takeSnapshot(run, snapshot);
    atKeys.all.remember(snapshot);
    win::WindowSnapshot visible;
    visible.count = 0;
    visible.dropped = 0;
    win::WindowFacts facts;
    atKeys.look.known = atKeys.all;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        if (!teams::readTeamsWindow(*run.recognition, snapshot.windows[i], facts)) {
            continue;
        }
        // A minimised window counts as visible: it is open, only out of sight.
        if (facts.visible || facts.minimized) {
            visible.windows[visible.count++] = snapshot.windows[i];
        } else {
            atKeys.look.watch(snapshot.windows[i]);
        }
    }
    atKeys.visibleTeams.remember(visible);
}

// Waits for the call window that opens for this call; null after 30 seconds.
win::HWND waitForCallWindow(const TeamsWindowScan& run, const teams::ParticipantQuery& query,
                            const WindowsAtKeys& atKeys)
{
    const std::uint64_t keysSent = win::monotonicMilliseconds();
    std::uint64_t nextFullLook = keysSent;  // the first look follows the keys at once
    teams::WaitLook look = atKeys.look;
    teams::EarlierWindows earlier{&atKeys.all, &atKeys.visibleTeams, false};
    win::WindowSnapshot snapshot;
    for (;;) {
        const std::uint64_t now = win::monotonicMilliseconds();
        earlier.acceptByName = now - keysSent >= NewWindowsOnlyMs;
        teams::takeSnapshot(run, snapshot);
        look.full = now >= nextFullLook;
        if (look.full) {
            nextFullLook = now + FullLookIntervalMs;
        }
        // Minimised windows are passed over, so a call window an earlier run
        // minimised is not taken for this call's.
        const win::HWND found = teams::findCallWindowIn(run, query, true, snapshot, &look, &earlier);
        if (found != nullptr) {
            return found;
        }
        look.known.remember(snapshot);
        if (now - keysSent >= WaitLimitMs) {
            return nullptr;
        }
        win::pause(QuickLookPauseMs);
    }
}

}  // namespace

void answerCall(const TeamsWindowScan& scan, const char16_t* participant)
{
    // The run's own record: a notification window that appears while it
    // waits becomes the run's, for the keys, the lookup and the listing.
    TeamsWindowScan run = scan;
    DiagnosticLog& log = *run.log;
    if (!waitForNotification(run)) {
        log.print(u"Wait aborted, no active call detected.\n");
        return;
    }
    log.print(u"Active call notification window detected!\n");

    if (!ringingClientTakesTheKeys(run)) {
        return;
    }
    WindowsAtKeys atKeys;
    noteWindowsAtKeys(run, atKeys);
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
    const teams::ParticipantQuery query = teams::prepareParticipant(participant);
    win::HWND callWindow = waitForCallWindow(run, query, atKeys);
    // The main window is tried once, last: while Teams still opens the call
    // window, a main window showing a chat with the caller names them too.
    if (callWindow == nullptr) {
        callWindow = teams::mainWindowNamingParticipant(run, query, true);
    }
    if (callWindow == nullptr) {
        log.print(u"Wait aborted, no call window detected.\n");
        listTeamsWindows(run);
        return;
    }
    char16_t title[win::WindowTextCapacity];
    readTitle(callWindow, title);
    log.print(u"Minimizing call window \"%s\"...\n", static_cast<const char16_t*>(title));
    postCommand(log, callWindow, win::SystemCommand::Minimize);
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
    teams::takeSnapshot(scan, snapshot);
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
        MainWindowMark mainColumn = MainWindowMark::NotMain;
        if (window == scan.mainWindow) {
            mainColumn = scan.mainFromCache ? MainWindowMark::FromCache : MainWindowMark::FoundLive;
        }
        const std::int32_t callNotify =
            window == scan.notificationWindow ? static_cast<std::int32_t>(scan.notificationMatch) : 0;
        log.print(u"Window %p main:%d callnotify:%d visible:%d, minimized:%d [%s]\n", window,
                  static_cast<std::int32_t>(mainColumn), callNotify,
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
    teams::takeSnapshot(scan, snapshot);
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
