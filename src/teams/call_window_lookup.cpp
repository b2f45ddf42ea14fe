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

constexpr char16_t AnyWindowMarker[] = u"KVX";
constexpr char16_t NewWindowMarker[] = u"NewWindow";

bool hasCallInProgressTitle(const TeamsRecognition& recognition, const char16_t* title)
{
    return teams::matchesList(title, CallInProgressTitles, std::size(CallInProgressTitles),
                              recognition.callInProgressTitles, true);
}

// The lookup's judgement of a window it may take, by title alone.
bool acceptsTitle(const teams::ParticipantQuery& query, const char16_t* title)
{
    if (query.anyWindow || query.none) {
        return true;
    }
    if (teams::titleNamesParticipant(query, title)) {
        return true;
    }
    char16_t spaceFreeTitle[win::WindowTextCapacity];
    util::copyWithoutSpaces(spaceFreeTitle, win::WindowTextCapacity, title);
    return util::findNoCase(spaceFreeTitle, NewWindowMarker) != nullptr;
}

// A window visible before the answer's keys is no call window of this call,
// until enough time has passed and its title names the participant.
bool passesEarlierRule(const teams::EarlierWindows& earlier, const teams::ParticipantQuery& query,
                       win::HWND window, const char16_t* title)
{
    const bool wasThere = earlier.visibleAtKeys->contains(window) ||
                          (earlier.atKeys->snapshotWasFull && !earlier.atKeys->contains(window));
    return !wasThere || (earlier.acceptByName && teams::titleNamesParticipant(query, title));
}

}  // namespace

namespace teams {

ParticipantQuery prepareParticipant(const char16_t* participant)
{
    if (participant == nullptr) {
        participant = u"";
    }
    ParticipantQuery query;
    // Case matters for the marker, so a name that merely contains "kvx" is
    // still matched by name.
    query.anyWindow = util::find(participant, AnyWindowMarker) != nullptr;
    query.none = participant[0] == 0;
    std::size_t used = 0;
    for (const char16_t* p = participant; *p != 0 && used + 1 < win::WindowTextCapacity; ++p) {
        if (*p != u' ' && *p != u'+') {
            query.spaceFree[used++] = *p;
        }
    }
    query.spaceFree[used] = 0;
    return query;
}

bool titleNamesParticipant(const ParticipantQuery& query, const char16_t* title)
{
    if (query.anyWindow || query.none) {
        return false;
    }
    char16_t spaceFreeTitle[win::WindowTextCapacity];
    util::copyWithoutSpaces(spaceFreeTitle, win::WindowTextCapacity, title);
    // A participant of spaces only leaves an empty search text; like
    // StrStrIW, the search finds that nowhere.
    return util::findNoCase(spaceFreeTitle, query.spaceFree) != nullptr;
}

win::HWND findCallWindowIn(const TeamsWindowScan& scan, const ParticipantQuery& query, bool skipMinimized,
                           const win::WindowSnapshot& snapshot, WaitLook* look, const EarlierWindows* earlier)
{
    win::WindowFacts facts;
    for (std::size_t i = 0; i < snapshot.count; ++i) {
        const win::HWND window = snapshot.windows[i];
        if (window == scan.mainWindow || window == scan.notificationWindow ||
            (look != nullptr && !look->asksAbout(window)) || !readTeamsWindow(*scan.recognition, window, facts)) {
            continue;
        }
        if (facts.visible && !(skipMinimized && facts.minimized) &&
            !hasCallInProgressTitle(*scan.recognition, facts.title) && acceptsTitle(query, facts.title) &&
            (earlier == nullptr || passesEarlierRule(*earlier, query, window, facts.title))) {
            return window;
        }
        // A window open before the keys is looked at again by full looks.
        if (look != nullptr && (earlier == nullptr || !earlier->visibleAtKeys->contains(window))) {
            look->watch(window);
        }
    }
    return nullptr;
}

win::HWND mainWindowNamingParticipant(const TeamsWindowScan& scan, const ParticipantQuery& query,
                                      bool skipMinimized)
{
    win::WindowFacts facts;
    if (scan.mainWindow == nullptr || !win::readWindowFacts(scan.mainWindow, facts) || !facts.visible ||
        (skipMinimized && facts.minimized) || hasCallInProgressTitle(*scan.recognition, facts.title) ||
        !titleNamesParticipant(query, facts.title)) {
        return nullptr;
    }
    return scan.mainWindow;
}

}  // namespace teams

win::HWND findCallWindow(const TeamsWindowScan& scan, const char16_t* participant, bool skipMinimized)
{
    const teams::ParticipantQuery query = teams::prepareParticipant(participant);
    win::WindowSnapshot snapshot;
    teams::takeSnapshot(scan, snapshot);
    const win::HWND window = teams::findCallWindowIn(scan, query, skipMinimized, snapshot, nullptr, nullptr);
    return window != nullptr ? window : teams::mainWindowNamingParticipant(scan, query, skipMinimized);
}
