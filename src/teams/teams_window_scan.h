// What the program knows of the Teams desktop client: its main window and its
// call notification window, told apart among the desktop's top-level windows,
// the call window of a participant, and the actions on them. Everything about
// Teams' window classes, image names and titles lives in this folder.
#pragma once

#include <cstdint>

#include "winapi/types.h"

namespace logging {
class DiagnosticLog;
}  // namespace logging

namespace teams {

class AnswerTurn;

// The participant a URL names: `text` as it came, for the log, and `matched`,
// what titles are compared with: the same with each '+' that stood raw in
// the URL as a space (a form's encoding of one). One text serves both when
// there was no URL (a test, the status window's button).
struct Participant {
    const char16_t* text = nullptr;
    const char16_t* matched = nullptr;

    Participant() = default;
    Participant(const char16_t* both) : text(both), matched(both) {}  // NOLINT(google-explicit-constructor)
    Participant(const char16_t* shown, const char16_t* compared) : text(shown), matched(compared) {}
};

// How the notification window was found. The numbers are the listing's
// "callnotify" column for that window: 1 by title, 3 by exclusion; every
// other window, and every window while there is none (-1), is listed with 0.
enum class NotificationMatch : std::int32_t { None = -1, ByTitle = 1, ByExclusion = 3 };

// The listing's "main" column: what the scan's main window is to a window.
enum class MainWindowMark : std::int32_t {
    NotMain = 0,    // any other window
    FoundLive = 1,  // the main window, the one visible Teams window besides the notification
    FromCache = 2,  // the main window an earlier run remembered
};

constexpr std::size_t PolicyEntryLimit = 16;
constexpr std::size_t PolicyEntryCapacity = 256;  // at most 255 characters

// Entries a machine's policy adds after one of the built-in lists.
struct PolicyEntries {
    std::size_t count = 0;
    char16_t entries[PolicyEntryLimit][PolicyEntryCapacity] = {};
};

// What tells Teams' windows and their kinds apart: the built-in lists (the
// classic client and the one people run today) and what the machine's policy
// adds to each (teams/teams_policy.h).
struct TeamsRecognition {
    PolicyEntries imageNames;
    PolicyEntries windowClasses;
    PolicyEntries notificationTitles;
    PolicyEntries callInProgressTitles;
};

// Reads the machine's policy for the lists, logging what it ignores.
[[nodiscard]] TeamsRecognition readTeamsRecognition(logging::DiagnosticLog& log);
// The lists of this run: read the first time the run looks at Teams windows,
// then kept for the rest of it (a run may scan more than once: the status
// window and its test button make scans of their own).
[[nodiscard]] const TeamsRecognition& teamsRecognition(logging::DiagnosticLog& log);
// Forgets what teamsRecognition read, as a new run would start without it:
// for the host tests, which run the program many times in one process.
void forgetTeamsRecognition();
// The built-in lists alone.
[[nodiscard]] const TeamsRecognition& builtInRecognition();

// What one scan of the Teams top-level windows found. A plain record: it does
// not follow later changes of the windows; a user that needs fresh results
// makes a new one. It owns nothing. It carries the log because every action
// on it reports only there, and it is the one thing each action is handed.
struct TeamsWindowScan {
    win::HWND mainWindow = nullptr;
    bool mainFromCache = false;  // mainWindow came from the MainWindowCache
    win::HWND notificationWindow = nullptr;
    NotificationMatch notificationMatch = NotificationMatch::None;
    logging::DiagnosticLog* log = nullptr;  // where the scan and the actions on it write; not owned
    // What the scan took for Teams; the actions on it use the same.
    const TeamsRecognition* recognition = &builtInRecognition();
    // A scan serves one action (an answer, a close, a listing), which says
    // once that a snapshot of the desktop was full, not once per look. What
    // was said, not what was found: the actions may note it on a const record.
    mutable bool snapshotFullLogged = false;
};

// Scans the desktop: the notification window by its title or as the only
// window left when the known kinds are excluded, the main window as the one
// visible Teams window left, or else the one an earlier run remembered.
// Refreshes the MainWindowCache when the live windows single one out.
[[nodiscard]] TeamsWindowScan scanTeamsWindows(logging::DiagnosticLog& log);

// True when the process that owns the window has a Teams image file name
// (Teams.exe, ms-teams.exe, or one the policy adds), compared after the last
// backslash of its path, letter case ignored.
[[nodiscard]] bool isTeamsWindow(const TeamsRecognition& recognition, win::HWND window);

// The participant's call window among the live windows, or null: the highest
// visible Teams window whose title names the participant, spaces removed on
// both sides and letter case ignored, as a name of its own ("Ann" is not the
// caller of "Anna Berg", see util::findName), or that is titled "New Window"
// (Teams' title for a call window that does not name anyone yet). Never a
// window with a call notification's title nor a call-in-progress window; the
// scan's main window only when no other window is found and its title names
// the participant (Teams closed to the notification area leaves the call
// window as the one visible window, and the scan took it for the main
// window). A window whose title holds the name only inside a longer one is
// passed over and said so in the log, once per window.
// participant: null or empty names nobody, and then the highest remaining
// window is taken; so it is when the participant contains "KVX" (letter case
// significant), the mark an attendant application puts on a queue's calls,
// which carry no caller's name. skipMinimized passes over minimised windows.
[[nodiscard]] win::HWND findCallWindow(const TeamsWindowScan& scan, const Participant& participant, bool skipMinimized);
// Waits for a visible notification window (the scan's, or one that appears
// later), presses Shift+Ctrl+S while Teams has the foreground, waits for the
// call window that opens for this call and minimises it; reports to the log
// only. `turn` is the run's turn among the session's answers (answer_turn.h):
// the answer checks it again just before the keys and gives way when another
// answer waits for it.
void answerCall(const TeamsWindowScan& scan, const Participant& participant, const AnswerTurn& turn);
// Closes the participant's call window, or lists the windows when there is none.
void closeCallWindow(const TeamsWindowScan& scan, const Participant& participant);
// One log line per Teams window with what the scan made of it.
void listTeamsWindows(const TeamsWindowScan& scan);
// For support: one log line per top-level window of a Teams process, whatever
// its class. Never another program's windows: the log is open to every user,
// and a browser's titles are nobody else's business.
void listTeamsProcessWindows(const TeamsWindowScan& scan);

// What the status window shows: whether a visible Teams window exists (any
// one will do, not only the main window) and whether the scan found the
// notification window.
struct TeamsDetection {
    bool teamsVisible = false;
    bool notificationFound = false;
};
[[nodiscard]] TeamsDetection detectTeams(logging::DiagnosticLog& log);

}  // namespace teams
