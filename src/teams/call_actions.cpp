#include <iterator>

#include "log/diagnostic_log.h"
#include "teams/answer_turn.h"
#include "teams/teams_window_scan.h"
#include "teams/teams_windows.h"
#include "util/strings.h"
#include "util/wait.h"
#include "winapi/system.h"

namespace teams {

namespace {

// Both waits end after 30 seconds, by the clock, when Teams never shows the
// window they wait for. In between they look twice: every 20 ms a quick look,
// which asks only what is cheap (is the pop-up visible yet, has a window of
// Teams' classes come that was not there before, and what is it), and every
// 250 ms a full look that reads every Teams window afresh (a title that
// changed, a hidden window shown). Under Wine a quick look is a dozen calls
// of the window server: at 20 ms a 30 s wait costs a few tenths of a second
// of CPU, and a pop-up is still answered within a few tens of milliseconds.
// Window events could wake a wait sooner, but they arrive through a message
// loop, and pumping one here would let the status window's test button
// start a second answer inside the first.
constexpr std::uint64_t WaitLimitMs = 30'000;
constexpr win::DWORD QuickLookPauseMs = 20;
constexpr std::uint64_t FullLookIntervalMs = 250;
// Teams opens the call window within a second or two of the keys; until this
// much time has passed only a window that was not visible before the keys can
// be it.
constexpr std::uint64_t NewWindowsOnlyMs = 5'000;
// A run that waited for another answer to end answers only a pop-up that
// shows when its turn comes: a pop-up that opens later is another caller's.
constexpr std::uint64_t WaitedTurnLimitMs = 1'000;
constexpr char16_t NoParticipant[] = u"(None)";

constexpr win::WORD VirtualKeyS = 0x53;

// Bringing another process's window to the foreground shows only once that
// window's thread has taken the activation: at once when Teams is idle, but a
// client busy as the call rings (loading the chat, on a loaded host) takes it
// a second or two late. Until then the keys would have nowhere safe to go, so
// the answer waits that long before it gives up.
constexpr win::DWORD ForegroundPollMs = 10;
constexpr std::uint64_t ForegroundWaitMs = 3'000;

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
// must not get the keys. With more than one pop-up showing, only the pop-up
// itself may have the foreground: any other window of the client would
// answer whichever call it takes for the current one.
bool ringingClientHasTheForeground(const TeamsWindowScan& scan, bool popUpItself)
{
    const win::HWND foreground = win::foregroundWindow();
    if (popUpItself) {
        return foreground != nullptr && foreground == scan.notificationWindow;
    }
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
bool ringingClientTakesTheKeys(const TeamsWindowScan& scan, bool popUpItself)
{
    if (ringingClientHasTheForeground(scan, popUpItself)) {
        return true;
    }
    logging::DiagnosticLog& log = *scan.log;
    log.print(u"Bringing Teams call notification window to the foreground...\n");
    win::bringToForeground(scan.notificationWindow);
    if (util::lookUntil(ForegroundWaitMs, ForegroundPollMs, 0, false,
                        [&](bool, std::uint64_t) { return ringingClientHasTheForeground(scan, popUpItself); })) {
        return true;
    }
    log.print(u"Teams call notification window could not be brought to the foreground, keys not sent.\n");
    return false;
}

// What the answer learns of the desktop while it runs: who each window of
// Teams' classes belongs to (read once per window), and its last look's
// Teams windows: a full look's in z-order, a quick look's as found by class.
struct AnswerRun {
    detail::WindowIdentities identities;
    detail::TeamsWindows teams;
};

void lookAtTeamsWindows(const TeamsWindowScan& run, AnswerRun& state, bool full)
{
    detail::lookAtTeamsWindows(run, state.identities, full, state.teams);
}

// With two calls ringing, the keys answer the one Teams takes for the
// current call, which need not be the one the attendant clicked. Only a
// pop-up whose title names the participant tells them apart (the built-in
// titles name nobody): then that pop-up is the run's, and only it may have
// the foreground for the keys. False, after saying so, when the pop-ups
// showing cannot be told apart. `popUpItself`: set when there were several.
bool singleOutThePopUp(TeamsWindowScan& run, AnswerRun& state, const detail::ParticipantQuery& query, bool& popUpItself)
{
    lookAtTeamsWindows(run, state, false);
    win::WindowFacts facts;
    std::int32_t showing = 0;
    std::int32_t naming = 0;
    win::HWND named = nullptr;
    for (std::size_t i = 0; i < state.teams.count; ++i) {
        const win::HWND window = state.teams.windows[i];
        if (!win::readWindowState(window, facts) || !facts.visible ||
            !detail::hasNotificationTitle(*run.recognition, facts.title)) {
            continue;
        }
        ++showing;
        if (detail::nameInTitle(query, window, facts) == util::NameMatch::Whole) {
            ++naming;
            named = window;
        }
    }
    popUpItself = showing > 1;
    if (!popUpItself) {
        return true;
    }
    if (naming != 1) {
        run.log->print(
            u"%d Teams call notification windows are showing; none is known to be \"%s\"'s; keys not sent.\n", showing,
            query.none ? NoParticipant : query.shown);
        return false;
    }
    run.notificationWindow = named;
    run.notificationMatch = NotificationMatch::ByTitle;
    return true;
}

// Between the look that found the pop-up and the keys the run has written
// its lines (each may wait up to a second for a busy log file) and noted the
// desktop: the pop-up may have gone, the foreground moved on, or another run
// answered this caller meanwhile. Checked once more, just before the keys.
bool stillRingingAtTheKeys(const TeamsWindowScan& run, bool popUpItself, const AnswerTurn& turn)
{
    logging::DiagnosticLog& log = *run.log;
    if (!win::isWindowVisible(run.notificationWindow)) {
        log.print(u"Teams call notification window closed before the keys were sent; keys not sent.\n");
        return false;
    }
    if (!ringingClientHasTheForeground(run, popUpItself)) {
        log.print(u"Teams lost the foreground before the keys were sent; keys not sent.\n");
        return false;
    }
    return !turn.answeredJustNow(log);
}

// A command that could not even be posted is said so: the log would otherwise
// read as if the window had been minimised or closed.
void postCommand(logging::DiagnosticLog& log, win::HWND window, win::SystemCommand command)
{
    const win::DWORD error = win::postSystemCommand(window, command);
    if (error != win::ERROR_SUCCESS) {
        log.print(u"Posting window command failed (error %d).\n", static_cast<std::int32_t>(error));
    }
}

// Watches the new Teams windows that are hidden: Teams shows its pop-up in a
// window it made hidden. True when a new one is visible.
bool watchNewWindows(const detail::TeamsWindows& found, detail::WaitLook& look)
{
    bool visible = false;
    win::WindowFacts facts;
    for (std::size_t i = 0; i < found.count; ++i) {
        if (!found.isNew[i] || !win::readWindowState(found.windows[i], facts)) {
            continue;
        }
        if (facts.visible) {
            visible = true;
        } else {
            look.watch(found.windows[i]);
        }
    }
    return visible;
}

// True when a watched window has turned visible; such a window is watched no
// more: shown, it is the full looks' like any other.
bool aWatchedWindowShows(detail::WaitLook& look)
{
    bool shows = false;
    for (std::size_t i = 0; i < look.watchedCount;) {
        const win::HWND window = look.watched[i];
        if (win::isWindowVisible(window)) {
            shows = true;
            look.unwatch(window);
        } else {
            ++i;
        }
    }
    return shows;
}

// Waits for a visible notification window: the scan's, or, while the run has
// none that is visible, one that the scan's recognition finds among the
// windows as they are now (today's client may make its pop-up per call, and
// a web application may send the URL the moment its own screen shows the
// call). Such a window becomes the run's notification window.
bool waitForNotification(TeamsWindowScan& run, AnswerRun& state, std::uint64_t limitMs)
{
    logging::DiagnosticLog& log = *run.log;
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
    detail::WaitLook look;
    // The first look is a full one: it learns which Teams windows there are
    // and which of them are hidden.
    return util::lookUntil(limitMs, QuickLookPauseMs, FullLookIntervalMs, true, [&](bool full, std::uint64_t) {
        if (scanned != nullptr && win::isWindowVisible(scanned)) {
            return true;
        }
        lookAtTeamsWindows(run, state, full);
        // A Teams window that comes or shows may be the pop-up, or may change
        // which window the exclusion rule leaves: the recognition runs then,
        // not at the next full look, and otherwise only in full looks.
        const bool newOneShows = watchNewWindows(state.teams, look);
        const bool watchedOneShows = aWatchedWindowShows(look);
        if (!newOneShows && !watchedOneShows && !full) {
            return false;
        }
        const detail::NotificationFinding found = detail::findNotification(*run.recognition, state.teams);
        if (found.window == nullptr || !found.visible) {
            return false;
        }
        if (found.window != scanned) {
            run.notificationWindow = found.window;
            run.notificationMatch = found.match;
            log.print(u"Teams call notification window %p appeared.\n", found.window);
        }
        return true;
    });
}

// The Teams windows as they stand just before the keys, found by class
// whatever the number of other windows: the call window is one that is not
// among the visible ones then. Teams may show the call in a window it keeps
// hidden until then: those are watched.
struct WindowsAtKeys {
    detail::KnownWindows visibleTeams;
    detail::WaitLook look;
};

void noteWindowsAtKeys(const TeamsWindowScan& run, AnswerRun& state, WindowsAtKeys& atKeys)
{
    lookAtTeamsWindows(run, state, false);
    win::HWND visible[win::WindowSnapshotCapacity];
    std::size_t visibleCount = 0;
    win::WindowFacts facts;
    for (std::size_t i = 0; i < state.teams.count; ++i) {
        const win::HWND window = state.teams.windows[i];
        if (!win::readWindowState(window, facts)) {
            continue;
        }
        // A minimised window counts as visible: it is open, only out of sight.
        if (facts.visible || facts.minimized) {
            visible[visibleCount++] = window;
        } else {
            atKeys.look.watch(window);
        }
    }
    atKeys.visibleTeams.remember(visible, visibleCount);
}

// How the wait for the call window ended.
struct CallWindowWait {
    win::HWND window = nullptr;  // the call window; null when none came
    bool gaveWay = false;        // another answer waits for its turn
};

// Waits for the call window that opens for this call; none after 30 seconds,
// or sooner when another answer waits for its turn: that one's caller rings
// now, and the session's answers take turns.
CallWindowWait waitForCallWindow(const TeamsWindowScan& run, AnswerRun& state, const detail::ParticipantQuery& query,
                                 WindowsAtKeys& atKeys, const AnswerTurn& turn, detail::PassedOverNames& passed)
{
    detail::WaitLook& look = atKeys.look;
    detail::EarlierWindows earlier{&atKeys.visibleTeams, false};
    CallWindowWait result;
    // The first look follows the keys at once, and is a quick one: the
    // windows that were there are known, and a snapshot of a busy desktop
    // would hold up the one that opens now.
    util::lookUntil(WaitLimitMs, QuickLookPauseMs, FullLookIntervalMs, false, [&](bool full, std::uint64_t sinceKeys) {
        if (full && turn.anotherIsWaiting()) {
            result.gaveWay = true;
            return true;
        }
        earlier.acceptByName = sinceKeys >= NewWindowsOnlyMs;
        look.full = full;
        lookAtTeamsWindows(run, state, full);
        result.window = detail::findNewCallWindow(run, query, state.teams, look, earlier, passed);
        return result.window != nullptr;
    });
    return result;
}

}  // namespace

void answerCall(const TeamsWindowScan& scan, const Participant& participant, const AnswerTurn& turn)
{
    // The run's own record: a notification window that appears while it
    // waits becomes the run's, for the keys, the lookup and the listing.
    TeamsWindowScan run = scan;
    logging::DiagnosticLog& log = *run.log;
    const detail::ParticipantQuery query = detail::prepareParticipant(participant);
    // Who the desktop's windows belong to, learnt once for the whole answer.
    AnswerRun state;
    if (!waitForNotification(run, state, turn.waited() ? WaitedTurnLimitMs : WaitLimitMs)) {
        log.print(u"Wait aborted, no active call detected.\n");
        return;
    }
    log.print(u"Active call notification window detected!\n");

    bool popUpItself = false;
    if (!singleOutThePopUp(run, state, query, popUpItself) || !ringingClientTakesTheKeys(run, popUpItself)) {
        return;
    }
    WindowsAtKeys atKeys;
    noteWindowsAtKeys(run, state, atKeys);
    log.print(u"Sending 'Shift-Ctrl-S'\n");
    if (!stillRingingAtTheKeys(run, popUpItself, turn)) {
        return;
    }
    const win::KeysSent sent = win::sendKeys(AnswerShortcut, static_cast<win::UINT>(std::size(AnswerShortcut)));
    if (sent.sent != std::size(AnswerShortcut)) {
        // No call was answered: waiting 30 seconds for its window would only
        // hide that.
        log.print(u"Sending keys failed (%d of 6 sent, error %d).\n", static_cast<std::int32_t>(sent.sent),
                  static_cast<std::int32_t>(sent.error));
        return;
    }
    turn.recordKeys();

    log.print(u"Waiting for call window for participant \"%s\"...\n", query.none ? NoParticipant : query.shown);
    detail::PassedOverNames passed;
    const CallWindowWait waited = waitForCallWindow(run, state, query, atKeys, turn, passed);
    if (waited.gaveWay) {
        log.print(u"Another answer is waiting; call window not minimised.\n");
        return;
    }
    win::HWND callWindow = waited.window;
    // The main window is tried once, last: while Teams still opens the call
    // window, a main window showing a chat with the caller names them too.
    if (callWindow == nullptr) {
        callWindow = detail::mainWindowNamingParticipant(run, query, true, passed);
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

void closeCallWindow(const TeamsWindowScan& scan, const Participant& participant)
{
    logging::DiagnosticLog& log = *scan.log;
    const bool none = isEmpty(participant.text);
    log.print(u"Closing call window for participant \"%s\"...\n", none ? NoParticipant : participant.text);
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

void listTeamsWindows(const TeamsWindowScan& scan)
{
    logging::DiagnosticLog& log = *scan.log;
    win::WindowSnapshot snapshot;
    detail::takeSnapshot(scan, snapshot);
    win::WindowFacts facts;
    std::int32_t listed = 0;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        const win::HWND window = snapshot.windows[i];
        if (!detail::readTeamsWindow(*scan.recognition, window, facts)) {
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
                  static_cast<std::int32_t>(mainColumn), callNotify, facts.visible ? 1 : 0, facts.minimized ? 1 : 0,
                  static_cast<const char16_t*>(facts.title));
        ++listed;
    }
    if (listed == 0) {
        log.print(u"Teams desktop application not found.\n");
    }
}

void listTeamsProcessWindows(const TeamsWindowScan& scan)
{
    logging::DiagnosticLog& log = *scan.log;
    win::WindowSnapshot snapshot;
    detail::takeSnapshot(scan, snapshot);
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

}  // namespace teams
