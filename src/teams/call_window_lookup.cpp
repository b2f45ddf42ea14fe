#include "teams/teams_window_scan.h"
#include "teams/teams_windows.h"
#include "util/strings.h"
#include "winapi/desktop.h"

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

bool hasCallInProgressTitle(const char16_t* title)
{
    for (const char16_t* inProgress : CallInProgressTitles) {
        if (util::compareNoCaseN(title, inProgress, util::length(inProgress)) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

win::HWND TeamsWindowScan::findCallWindow(const char16_t* participant, bool skipMinimized) const
{
    if (participant == nullptr) {
        participant = u"";
    }
    // Case matters for the marker, so a name that merely contains "kvx" is
    // still matched by name.
    const bool anyWindow = util::find(participant, AnyWindowMarker) != nullptr;
    const bool noParticipant = participant[0] == 0;

    for (win::HWND window = teams::nextWindow(nullptr); window != nullptr; window = teams::nextWindow(window)) {
        if (!isTeamsWindow(window) || !win::IsWindowVisible(window)) {
            continue;
        }
        if (skipMinimized && (win::GetWindowLongW(window, win::GWL_STYLE) & win::WS_MINIMIZE) != 0) {
            continue;
        }
        char16_t title[teams::TitleCapacity];
        teams::readTitle(window, title);
        if (window == mainWindow || window == notificationWindow || hasCallInProgressTitle(title)) {
            continue;
        }
        if (anyWindow || noParticipant) {
            return window;
        }
        // Teams and the web application space names differently ("John  Smith",
        // "JohnSmith"), so both sides are compared without their spaces.
        char16_t spaceFreeTitle[teams::TitleCapacity];
        char16_t spaceFreeParticipant[teams::TitleCapacity];
        util::copyWithoutSpaces(spaceFreeTitle, teams::TitleCapacity, title);
        util::copyWithoutSpaces(spaceFreeParticipant, teams::TitleCapacity, participant);
        // A participant of spaces only leaves an empty search text; like
        // StrStrIW, the search finds that nowhere, so only "NewWindow" can
        // still accept the window.
        if (util::findNoCase(spaceFreeTitle, spaceFreeParticipant) != nullptr ||
            util::findNoCase(spaceFreeTitle, NewWindowMarker) != nullptr) {
            return window;
        }
    }
    return nullptr;
}
