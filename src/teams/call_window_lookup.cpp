#include "log/diagnostic_log.h"
#include "teams/teams_window_scan.h"
#include "teams/teams_windows.h"
#include "util/strings.h"

#include <algorithm>
#include <iterator>

namespace teams {

namespace {

// Titles of Teams' call-in-progress windows, per language. Their titles can
// hold the participant's name as well, so they are passed over before the
// name is looked at.
constexpr const char16_t* CallInProgressTitles[] = {
    u"Microsoft Teams Call in progress",
    u"Microsoft Teams Appel en cours",
    u"Microsoft Teams Gesprek gaande",
    u"Microsoft Teams Anruf wird durchgef\u00FChrt",
};

constexpr char16_t AnyWindowMarker[] = u"KVX";
constexpr char16_t NewWindowMarker[] = u"NewWindow";

bool hasCallInProgressTitle(const TeamsRecognition& recognition, const char16_t* title)
{
    return detail::matchesList(title, CallInProgressTitles, std::size(CallInProgressTitles),
                               recognition.callInProgressTitles, true);
}

bool holdsNewWindowMarker(const char16_t* title)
{
    char16_t spaceFreeTitle[win::WindowTextCapacity];
    util::copyWithoutSpaces(spaceFreeTitle, win::WindowTextCapacity, title);
    return util::findNoCase(spaceFreeTitle, NewWindowMarker) != nullptr;
}

// Whatever the participant, a window can be a call window only when it is
// visible (and not minimised, where minimised windows are passed over), and
// is neither a call in progress nor a call notification: Teams may open the
// next caller's pop-up while this call's window is on its way.
bool mayBeCallWindow(const TeamsRecognition& recognition, const win::WindowFacts& facts, bool skipMinimized)
{
    return facts.visible && !(skipMinimized && facts.minimized) && !hasCallInProgressTitle(recognition, facts.title) &&
           !detail::hasNotificationTitle(recognition, facts.title);
}

// Whether the lookup takes a window that may be a call window for the
// participant. `insideAllowed`: a name inside a longer one will do.
bool takes(const TeamsWindowScan& scan, const detail::ParticipantQuery& query, win::HWND window,
           const win::WindowFacts& facts, bool insideAllowed, detail::PassedOverNames& passed)
{
    if (query.anyWindow || query.none) {
        return true;
    }
    switch (detail::nameInTitle(query, window, facts)) {
    case util::NameMatch::Whole:
        return true;
    case util::NameMatch::InsideLongerName:
        if (insideAllowed) {
            return true;
        }
        passed.note(scan, query, window, facts.title);
        return false;
    case util::NameMatch::None:
        break;
    }
    return holdsNewWindowMarker(facts.title);
}

}  // namespace

namespace detail {

ParticipantQuery prepareParticipant(const Participant& participant)
{
    const char16_t* matched = participant.matched != nullptr ? participant.matched : participant.text;
    if (matched == nullptr) {
        matched = u"";
    }
    ParticipantQuery query;
    query.shown = participant.text != nullptr ? participant.text : u"";
    // Case matters for the marker, so a name that merely contains "kvx" is
    // still matched by name.
    query.anyWindow = util::find(matched, AnyWindowMarker) != nullptr;
    query.none = matched[0] == 0;
    util::copyWithoutSpaces(query.spaceFree, win::WindowTextCapacity, matched);
    return query;
}

util::NameMatch nameInTitle(const ParticipantQuery& query, win::HWND window, const win::WindowFacts& facts)
{
    if (query.anyWindow || query.none) {
        return util::NameMatch::None;
    }
    // A participant of spaces only leaves an empty name, found nowhere.
    util::NameMatch match = util::findName(facts.title, query.spaceFree);
    if (match != util::NameMatch::None && facts.titleCut) {
        char16_t whole[win::WholeTitleCapacity];
        if (win::readWindowTitle(window, whole, win::WholeTitleCapacity) > 0) {
            match = util::findName(whole, query.spaceFree);
        }
    }
    return match;
}

void PassedOverNames::note(const TeamsWindowScan& scan, const ParticipantQuery& query, win::HWND window,
                           const char16_t* title)
{
    if (std::find(windows, windows + count, window) != windows + count) {
        return;
    }
    if (count < Capacity) {
        windows[count++] = window;
    }
    scan.log->print(u"Window \"%s\" names \"%s\" only inside a longer name; not taken.\n", title, query.shown);
}

win::HWND findCallWindowIn(const TeamsWindowScan& scan, const ParticipantQuery& query, bool skipMinimized,
                           const win::WindowSnapshot& snapshot, PassedOverNames& passed)
{
    win::WindowFacts facts;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        const win::HWND window = snapshot.windows[i];
        if (window != scan.mainWindow && window != scan.notificationWindow &&
            readTeamsWindow(*scan.recognition, window, facts) &&
            mayBeCallWindow(*scan.recognition, facts, skipMinimized) &&
            takes(scan, query, window, facts, false, passed)) {
            return window;
        }
    }
    return nullptr;
}

win::HWND findNewCallWindow(const TeamsWindowScan& scan, const ParticipantQuery& query, const TeamsWindows& teams,
                            WaitLook& look, const EarlierWindows& earlier, PassedOverNames& passed)
{
    win::WindowFacts facts;
    for (std::size_t i = 0; i < teams.count; ++i) {
        const win::HWND window = teams.windows[i];
        if (window == scan.mainWindow || window == scan.notificationWindow || !look.asksAbout(teams, i)) {
            continue;
        }
        // Who the window belongs to is known; what can change is read.
        if (!win::readWindowState(window, facts)) {
            look.unwatch(window);
            continue;
        }
        const bool wasThere = earlier.visibleAtKeys->contains(window);
        // Minimised windows are passed over, so a call window an earlier run
        // minimised is not taken for this call's.
        if (mayBeCallWindow(*scan.recognition, facts, true)) {
            if (!wasThere && takes(scan, query, window, facts, true, passed)) {
                return window;
            }
            if (wasThere && earlier.acceptByName) {
                const util::NameMatch match = nameInTitle(query, window, facts);
                if (match == util::NameMatch::Whole) {
                    return window;
                }
                if (match == util::NameMatch::InsideLongerName) {
                    passed.note(scan, query, window, facts.title);
                }
            }
        }
        // A window open before the keys is looked at again by full looks.
        if (!wasThere) {
            look.watch(window);
        }
    }
    return nullptr;
}

win::HWND mainWindowNamingParticipant(const TeamsWindowScan& scan, const ParticipantQuery& query, bool skipMinimized,
                                      PassedOverNames& passed)
{
    win::WindowFacts facts;
    if (scan.mainWindow == nullptr || !win::readWindowFacts(scan.mainWindow, facts) || !facts.visible ||
        (skipMinimized && facts.minimized) || hasCallInProgressTitle(*scan.recognition, facts.title)) {
        return nullptr;
    }
    switch (nameInTitle(query, scan.mainWindow, facts)) {
    case util::NameMatch::Whole:
        return scan.mainWindow;
    case util::NameMatch::InsideLongerName:
        passed.note(scan, query, scan.mainWindow, facts.title);
        break;
    case util::NameMatch::None:
        break;
    }
    return nullptr;
}

}  // namespace detail

win::HWND findCallWindow(const TeamsWindowScan& scan, const Participant& participant, bool skipMinimized)
{
    const detail::ParticipantQuery query = detail::prepareParticipant(participant);
    win::WindowSnapshot snapshot;
    detail::takeSnapshot(scan, snapshot);
    detail::PassedOverNames passed;
    const win::HWND window = detail::findCallWindowIn(scan, query, skipMinimized, snapshot, passed);
    return window != nullptr ? window : detail::mainWindowNamingParticipant(scan, query, skipMinimized, passed);
}

}  // namespace teams
