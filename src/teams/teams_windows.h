// What the scan, the lookup, the waits, the listing and the detection share
// about Teams' top-level windows. Internal to src/teams.
#pragma once

#include "teams/teams_window_scan.h"
#include "util/strings.h"
#include "winapi/desktop.h"

namespace teams {

namespace detail {

// A snapshot of the desktop's top-level windows. That the snapshot was full
// is logged once per action: an answer takes hundreds of snapshots.
void takeSnapshot(const TeamsWindowScan& scan, win::WindowSnapshot& snapshot);

// Reads the window's facts; true when it is still there and belongs to
// Teams: a window of a Teams class owned by a Teams process. The classic
// client draws its windows with the browser engine's class, which other
// programs share, so the owning process tells them apart.
[[nodiscard]] bool readTeamsWindow(const TeamsRecognition& recognition, win::HWND window, win::WindowFacts& facts);

// Which windows of Teams' classes belong to Teams: a window's process never
// changes, so a run reads its image once per window, for as many windows as
// a snapshot holds.
class WindowIdentities {
public:
    // Whether the window, of a Teams class, belongs to a Teams process, read
    // the first time it is asked about; `identifiedNow`: it was not known.
    [[nodiscard]] bool isTeams(const TeamsRecognition& recognition, win::HWND window, bool& identifiedNow);
    // Forgets the windows that are no longer among those of Teams' classes.
    void keepOnly(const win::WindowSnapshot& classWindows);

private:
    struct Entry {
        win::HWND window;
        bool teams;
    };
    std::size_t count = 0;
    Entry entries[win::WindowSnapshotCapacity];  // sorted by handle
};

// The Teams windows of one look; `isNew`: the look identified it, so it came
// since the looks before.
struct TeamsWindows {
    std::size_t count = 0;
    win::HWND windows[win::WindowSnapshotCapacity];
    bool isNew[win::WindowSnapshotCapacity];
};
// The Teams windows as one look sees them, from the windows of Teams' classes
// (built in and the policy's) found by class: a few calls, whatever the
// number of other windows, and each class's windows in z-order. `inZOrder`
// (a full look): in the desktop's z-order across the classes too, from a
// snapshot of the whole desktop; those it does not hold follow.
void lookAtTeamsWindows(const TeamsWindowScan& scan, WindowIdentities& identities, bool inZOrder, TeamsWindows& teams);

// Whether the text equals an entry of the built-in list or of the policy's
// (letter case ignored), or begins with one (`prefix`).
[[nodiscard]] bool matchesList(const char16_t* text, const char16_t* const* builtIn, std::size_t builtInCount,
                               const PolicyEntries& added, bool prefix);
// Whether the title begins with one of the call notification titles, built
// in or added by the policy.
[[nodiscard]] bool hasNotificationTitle(const TeamsRecognition& recognition, const char16_t* title);

// The notification window among the Teams windows: the highest visible one
// with a notification title, else the highest with one (Teams keeps its
// pop-up hidden between calls), else the one window the exclusion rule
// leaves, visible or not.
struct NotificationFinding {
    win::HWND window = nullptr;
    NotificationMatch match = NotificationMatch::None;
    bool visible = false;
};
[[nodiscard]] NotificationFinding findNotification(const TeamsRecognition& recognition, const TeamsWindows& teams);

// Handles, sorted, to tell whether a window is among them.
struct KnownWindows {
    std::size_t count = 0;
    win::HWND sorted[win::WindowSnapshotCapacity];

    void remember(const win::HWND* windows, std::size_t windowCount);
    [[nodiscard]] bool contains(win::HWND window) const;
};

// What a wait's look asks about. A full look: every Teams window. A quick
// look: the Teams windows that came since the looks before, and those a look
// saw but could not take yet (watched): windows are made hidden and shown a
// moment later, and titled after they are made; looked at only when they
// came, such a window would wait for the next full look. Windows beyond the
// watch's capacity do.
struct WaitLook {
    static constexpr std::size_t WatchCapacity = 32;
    bool full = false;  // this look is a full one
    std::size_t watchedCount = 0;
    win::HWND watched[WatchCapacity];

    [[nodiscard]] bool isWatched(win::HWND window) const;
    [[nodiscard]] bool asksAbout(const TeamsWindows& teams, std::size_t i) const
    {
        return full || teams.isNew[i] || isWatched(teams.windows[i]);
    }
    void watch(win::HWND window);
    void unwatch(win::HWND window);
};

// The participant as the lookup compares it with titles, prepared once per
// lookup or wait.
struct ParticipantQuery {
    bool anyWindow = false;       // KVX-marked
    bool none = false;            // empty or null
    const char16_t* shown = u"";  // as the log shows it
    // Without spaces (a raw '+' of the URL is one): Teams and the web
    // application space names differently ("John  Smith", "JohnSmith").
    char16_t spaceFree[win::WindowTextCapacity] = {};
};
[[nodiscard]] ParticipantQuery prepareParticipant(const Participant& participant);
// How the window's title names the participant (util::findName), spaces
// removed. A title cut short at the buffer's end is read whole for where
// the name ends. Never for an empty or KVX-marked participant: they name
// nobody.
[[nodiscard]] util::NameMatch nameInTitle(const ParticipantQuery& query, win::HWND window,
                                          const win::WindowFacts& facts);

// The windows a run said of that their title names the participant only
// inside a longer name ("Anna Berg" for "Ann"): said once per window, since
// a wait looks at them again and again.
struct PassedOverNames {
    static constexpr std::size_t Capacity = 32;
    std::size_t count = 0;
    win::HWND windows[Capacity];

    void note(const TeamsWindowScan& scan, const ParticipantQuery& query, win::HWND window, const char16_t* title);
};

// The answer's rule for windows that were visible before its keys went in:
// such a window (a chat popped out with the caller, the main window) is not
// the call window that opened for this call. After a while one is taken, but
// only when its title names the participant, whole.
struct EarlierWindows {
    const KnownWindows* visibleAtKeys = nullptr;  // the Teams windows visible (or minimised) just before the keys
    bool acceptByName = false;                    // the first seconds after the keys are over
};

// The highest window of the snapshot that the lookup takes for the
// participant, whose name it must hold as a name of its own; null when none.
[[nodiscard]] win::HWND findCallWindowIn(const TeamsWindowScan& scan, const ParticipantQuery& query, bool skipMinimized,
                                         const win::WindowSnapshot& snapshot, PassedOverNames& passed);
// The answer's lookup in one of its wait's looks: the highest of the Teams
// windows the look asks about that opened for this call (a name inside a longer one
// will do: the title is Teams' own for this call), or after the first seconds
// one open before the keys that names the participant whole. A Teams window
// that is not taken (and was not visible before the keys) is watched.
[[nodiscard]] win::HWND findNewCallWindow(const TeamsWindowScan& scan, const ParticipantQuery& query,
                                          const TeamsWindows& teams, WaitLook& look, const EarlierWindows& earlier,
                                          PassedOverNames& passed);
// The scan's main window when its title names the participant whole: with
// Teams closed to the notification area the scan takes the one visible call
// window for the main window. Never a call-in-progress window.
[[nodiscard]] win::HWND mainWindowNamingParticipant(const TeamsWindowScan& scan, const ParticipantQuery& query,
                                                    bool skipMinimized, PassedOverNames& passed);

}  // namespace detail

}  // namespace teams
