#include "teams/teams_window_scan.h"
#include "teams/teams_windows.h"
#include "util/strings.h"

#include <iterator>

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

// A participant holding this marker is no name to match: the highest
// remaining call window is taken.
constexpr char16_t AnyWindowMarker[] = u"KVX";
// A call window titled "New Window" carries no name to match, so it is taken
// for any named participant.
constexpr char16_t NewWindowMarker[] = u"NewWindow";

bool hasCallInProgressTitle(const TeamsRecognition& recognition, const char16_t* title)
{
    return teams::matchesList(title, CallInProgressTitles, std::size(CallInProgressTitles),
                              recognition.callInProgressTitles, true);
}

}  // namespace

win::HWND findCallWindow(const TeamsWindowScan& scan, const char16_t* participant, bool skipMinimized)
{
    if (participant == nullptr) {
        participant = u"";
    }
    // Case matters for the marker, so a name that merely contains "kvx" is
    // still matched by name.
    const bool anyWindow = util::find(participant, AnyWindowMarker) != nullptr;
    const bool noParticipant = participant[0] == 0;
    // Teams and the web application space names differently ("John  Smith",
    // "JohnSmith"), so both sides are compared without their spaces.
    char16_t spaceFreeParticipant[win::WindowTextCapacity];
    util::copyWithoutSpaces(spaceFreeParticipant, win::WindowTextCapacity, participant);

    // A fresh snapshot for every call: the answer action calls again and again
    // while it waits for the call window to open.
    win::WindowSnapshot snapshot;
    teams::takeSnapshot(*scan.log, snapshot);
    win::WindowFacts facts;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        const win::HWND window = snapshot.windows[i];
        if (!teams::readTeamsWindow(*scan.recognition, window, facts) || !facts.visible ||
            (skipMinimized && facts.minimized)) {
            continue;
        }
        if (window == scan.mainWindow || window == scan.notificationWindow ||
            hasCallInProgressTitle(*scan.recognition, facts.title)) {
            continue;
        }
        if (anyWindow || noParticipant) {
            return window;
        }
        char16_t spaceFreeTitle[win::WindowTextCapacity];
        util::copyWithoutSpaces(spaceFreeTitle, win::WindowTextCapacity, facts.title);
        // A participant of spaces only leaves an empty search text; like
        // StrStrIW, the search finds that nowhere, so only "NewWindow" can
        // still accept the window.
        if (util::findNoCase(spaceFreeTitle, spaceFreeParticipant) != nullptr ||
            util::findNoCase(spaceFreeTitle, NewWindowMarker) != nullptr) {
            return window;
        }
    }
    // With Teams closed to the notification area its main window is hidden,
    // and a call window, the one visible Teams window left, is what the scan
    // took for the main window. Tried last, it is taken when its title names
    // the participant: otherwise that call could never be closed or minimised.
    if (!anyWindow && !noParticipant && scan.mainWindow != nullptr &&
        win::readWindowFacts(scan.mainWindow, facts) && facts.visible && !(skipMinimized && facts.minimized)) {
        char16_t spaceFreeTitle[win::WindowTextCapacity];
        util::copyWithoutSpaces(spaceFreeTitle, win::WindowTextCapacity, facts.title);
        if (util::findNoCase(spaceFreeTitle, spaceFreeParticipant) != nullptr) {
            return scan.mainWindow;
        }
    }
    return nullptr;
}
