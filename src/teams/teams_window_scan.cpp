#include "teams/teams_window_scan.h"

#include "log/diagnostic_log.h"
#include "teams/main_window_cache.h"
#include "teams/teams_windows.h"
#include "util/strings.h"

#include <algorithm>
#include <iterator>

namespace teams {

namespace {

// The classic client draws every top-level window with the browser engine's
// class, under Teams.exe; the client people run today runs as ms-teams.exe
// with windows of its own class.
constexpr const char16_t* TeamsWindowClasses[] = {u"Chrome_WidgetWin_1", u"TeamsWebView"};
constexpr const char16_t* TeamsImageNames[] = {u"Teams.exe", u"ms-teams.exe"};

// The call notification's title in each language Teams is used in here;
// tried in this order, each as a case-insensitive prefix.
constexpr const char16_t* NotificationTitles[] = {
    u"Microsoft Teams Notification",
    u"Notification Microsoft Teams",
    u"Melding van Microsoft Teams",
    u"Microsoft Teams-Benachrichtigung",
};

// Titles of the windows that cannot be the notification: the bare client
// ("Teams") and the main window's "<view> | Microsoft Teams", whose spacing
// around the bar varies between versions.
constexpr char16_t BareTeamsTitle[] = u"Teams";
constexpr char16_t MainTitleMarker[] = u"|MicrosoftTeams";
// Eight hours, about a working day: an older entry more likely names a window
// that has gone, whose handle value Windows may have given to another.
constexpr std::uint32_t CacheAgeLimit = 28800;

// The main window's marker stands at the end of its title: a title cut short
// at the buffer's end is read whole to find it (a group chat's title can run
// to hundreds of characters).
bool isExcludedFromNotification(win::HWND window, const win::WindowFacts& facts)
{
    char16_t whole[win::WholeTitleCapacity];
    const char16_t* title = facts.title;
    if (facts.titleCut && win::readWindowTitle(window, whole, win::WholeTitleCapacity) > 0) {
        title = whole;
    }
    if (util::compareNoCase(title, BareTeamsTitle) == 0) {
        return true;
    }
    char16_t spaceFree[win::WholeTitleCapacity];
    util::copyWithoutSpaces(spaceFree, win::WholeTitleCapacity, title);
    return util::findNoCase(spaceFree, MainTitleMarker) != nullptr;
}

bool hasTeamsClass(const TeamsRecognition& recognition, const char16_t* className)
{
    return detail::matchesList(className, TeamsWindowClasses, std::size(TeamsWindowClasses), recognition.windowClasses,
                               false);
}

}  // namespace

namespace detail {

void takeSnapshot(const TeamsWindowScan& scan, win::WindowSnapshot& snapshot)
{
    win::takeWindowSnapshot(snapshot);
    if (snapshot.dropped > 0 && !scan.snapshotFullLogged) {
        scan.snapshotFullLogged = true;
        scan.log->print(u"Window snapshot full, %d windows not examined.\n",
                        static_cast<std::int32_t>(snapshot.dropped));
    }
}

bool WindowIdentities::isTeams(const TeamsRecognition& recognition, win::HWND window, bool& identifiedNow)
{
    const auto byHandle = [](const Entry& entry, win::HWND handle) {
        return std::less<win::HWND>()(entry.window, handle);
    };
    Entry* const place = std::lower_bound(entries, entries + count, window, byHandle);
    identifiedNow = place == entries + count || place->window != window;
    if (!identifiedNow) {
        return place->teams;
    }
    const bool teams = isTeamsWindow(recognition, window);
    if (count < win::WindowSnapshotCapacity) {
        std::move_backward(place, entries + count, entries + count + 1);
        *place = Entry{window, teams};
        ++count;
    }
    return teams;
}

void WindowIdentities::keepOnly(const win::WindowSnapshot& classWindows)
{
    KnownWindows present;
    present.remember(classWindows.windows, classWindows.count);
    Entry* const kept =
        std::remove_if(entries, entries + count, [&](const Entry& entry) { return !present.contains(entry.window); });
    count = static_cast<std::size_t>(kept - entries);
}

void lookAtTeamsWindows(const TeamsWindowScan& scan, WindowIdentities& identities, bool inZOrder, TeamsWindows& teams)
{
    win::WindowSnapshot ofClasses;
    ofClasses.count = 0;
    ofClasses.dropped = 0;
    bool walksWhole = true;
    for (const char16_t* className : TeamsWindowClasses) {
        walksWhole = win::addWindowsOfClass(className, ofClasses) && walksWhole;
    }
    const PolicyEntries& added = scan.recognition->windowClasses;
    for (std::size_t i = 0; i < added.count; ++i) {
        walksWhole = win::addWindowsOfClass(added.entries[i], ofClasses) && walksWhole;
    }

    win::HWND ordered[win::WindowSnapshotCapacity];
    std::size_t orderedCount = 0;
    win::WindowSnapshot desktop;
    if (!walksWhole) {
        // A walk that could not reach its class's last window (windows of
        // the class kept going as it passed them) would leave the windows
        // below out, a call window already open among them: the desktop's
        // snapshot, read window by window, takes the walks' place. It is
        // in z-order already.
        takeSnapshot(scan, desktop);
        ofClasses.count = 0;
        win::WindowFacts facts;
        for (std::size_t i = 0; i < desktop.count; ++i) {
            if (win::readWindowFacts(desktop.windows[i], facts) && hasTeamsClass(*scan.recognition, facts.className)) {
                ofClasses.windows[ofClasses.count++] = desktop.windows[i];
            }
        }
        inZOrder = false;
    }
    identities.keepOnly(ofClasses);

    // In z-order: the class's windows as the whole desktop's snapshot orders
    // them, then those it does not hold (come since, or beyond its capacity).
    if (inZOrder) {
        KnownWindows ofTeamsClasses;
        ofTeamsClasses.remember(ofClasses.windows, ofClasses.count);
        takeSnapshot(scan, desktop);
        for (std::size_t i = 0; i < desktop.count; ++i) {
            if (ofTeamsClasses.contains(desktop.windows[i])) {
                ordered[orderedCount++] = desktop.windows[i];
            }
        }
        KnownWindows inDesktop;
        inDesktop.remember(ordered, orderedCount);
        for (std::size_t i = 0; i < ofClasses.count; ++i) {
            if (!inDesktop.contains(ofClasses.windows[i])) {
                ordered[orderedCount++] = ofClasses.windows[i];
            }
        }
    } else {
        std::copy(ofClasses.windows, ofClasses.windows + ofClasses.count, ordered);
        orderedCount = ofClasses.count;
    }

    teams.count = 0;
    for (std::size_t i = 0; i < orderedCount; ++i) {
        bool identifiedNow = false;
        if (identities.isTeams(*scan.recognition, ordered[i], identifiedNow)) {
            teams.windows[teams.count] = ordered[i];
            teams.isNew[teams.count] = identifiedNow;
            ++teams.count;
        }
    }
}

NotificationFinding findNotification(const TeamsRecognition& recognition, const TeamsWindows& teams)
{
    // With both clients running, one client's pop-up can wait hidden above
    // the other's that rings: a visible title match wins over a hidden one.
    NotificationFinding byTitle;
    NotificationFinding candidate;
    int candidates = 0;
    bool candidateTitleWhole = false;
    win::WindowFacts facts;
    for (std::size_t i = 0; i < teams.count; ++i) {
        const win::HWND window = teams.windows[i];
        if (!win::readWindowState(window, facts)) {
            continue;
        }
        if (detail::hasNotificationTitle(recognition, facts.title)) {
            if (byTitle.window == nullptr || (!byTitle.visible && facts.visible)) {
                byTitle = NotificationFinding{window, NotificationMatch::ByTitle, facts.visible};
            }
            if (facts.visible) {
                break;
            }
            continue;
        }
        if (byTitle.window == nullptr && !isExcludedFromNotification(window, facts)) {
            candidate = NotificationFinding{window, NotificationMatch::ByExclusion, facts.visible};
            candidateTitleWhole = !facts.titleCut;
            ++candidates;
        }
    }
    if (byTitle.window != nullptr) {
        return byTitle;
    }
    // A title that filled the buffer is never taken for the pop-up: cut, a
    // main window's title has lost the marker that would exclude it. It
    // still counts, so that the window left beside it is not taken either.
    return candidates == 1 && candidateTitleWhole ? candidate : NotificationFinding{};
}

void KnownWindows::remember(const win::HWND* windows, std::size_t windowCount)
{
    count = std::min(windowCount, win::WindowSnapshotCapacity);
    std::copy(windows, windows + count, sorted);
    std::sort(sorted, sorted + count, std::less<win::HWND>());
}

bool KnownWindows::contains(win::HWND window) const
{
    return std::binary_search(sorted, sorted + count, window, std::less<win::HWND>());
}

bool WaitLook::isWatched(win::HWND window) const
{
    return std::find(watched, watched + watchedCount, window) != watched + watchedCount;
}

void WaitLook::watch(win::HWND window)
{
    if (watchedCount < WatchCapacity && !isWatched(window)) {
        watched[watchedCount++] = window;
    }
}

void WaitLook::unwatch(win::HWND window)
{
    watchedCount = static_cast<std::size_t>(std::remove(watched, watched + watchedCount, window) - watched);
}

bool hasNotificationTitle(const TeamsRecognition& recognition, const char16_t* title)
{
    return matchesList(title, NotificationTitles, std::size(NotificationTitles), recognition.notificationTitles, true);
}

bool matchesList(const char16_t* text, const char16_t* const* builtIn, std::size_t builtInCount,
                 const PolicyEntries& added, bool prefix)
{
    const auto matches = [&](const char16_t* entry) {
        return prefix ? util::startsWithNoCase(text, entry) : util::compareNoCase(text, entry) == 0;
    };
    for (std::size_t i = 0; i < builtInCount; ++i) {
        if (matches(builtIn[i])) {
            return true;
        }
    }
    for (std::size_t i = 0; i < added.count; ++i) {
        if (matches(added.entries[i])) {
            return true;
        }
    }
    return false;
}

bool readTeamsWindow(const TeamsRecognition& recognition, win::HWND window, win::WindowFacts& facts)
{
    return win::readWindowFacts(window, facts) && hasTeamsClass(recognition, facts.className) &&
           isTeamsWindow(recognition, window);
}

}  // namespace detail

bool isTeamsWindow(const TeamsRecognition& recognition, win::HWND window)
{
    char16_t imagePath[win::ImagePathCapacity];
    if (!win::readWindowImagePath(window, imagePath)) {
        return false;
    }
    // The path comes in device form (\Device\HarddiskVolume1\...), so only the
    // file name after the last backslash is compared.
    const char16_t* slash = util::findLastChar(imagePath, u'\\');
    return slash != nullptr &&
           detail::matchesList(slash + 1, TeamsImageNames, std::size(TeamsImageNames), recognition.imageNames, false);
}

TeamsWindowScan scanTeamsWindows(logging::DiagnosticLog& log)
{
    TeamsWindowScan scan;
    scan.log = &log;
    scan.recognition = &teamsRecognition(log);
    // One snapshot for both walks. Each entry is judged by its facts when it
    // is looked at; one that has gone by then is passed over, and the walk
    // goes on below it.
    // The windows of Teams' classes in z-order. Each is judged by its facts
    // when it is looked at; one that has gone by then is passed over, and
    // the walk goes on below it.
    detail::WindowIdentities identities;
    detail::TeamsWindows teamsWindows;
    detail::lookAtTeamsWindows(scan, identities, true, teamsWindows);
    win::WindowFacts facts;

    // The call notification window, by title or by exclusion. Hidden windows
    // count: Teams keeps its notification window around hidden between calls.
    const detail::NotificationFinding notification = detail::findNotification(*scan.recognition, teamsWindows);
    scan.notificationWindow = notification.window;
    scan.notificationMatch = notification.match;
    if (notification.match == NotificationMatch::ByExclusion) {
        log.print(u"Call notification %p found by exclusion\n", notification.window);
    }

    // The main window is the one visible Teams window left.
    win::HWND visible = nullptr;
    int visibleCount = 0;
    for (std::size_t i = 0; i < teamsWindows.count; ++i) {
        const win::HWND window = teamsWindows.windows[i];
        if (window != scan.notificationWindow && win::readWindowState(window, facts) && facts.visible) {
            visible = window;
            ++visibleCount;
        }
    }
    if (visibleCount == 1) {
        scan.mainWindow = visible;
        // A failed write only costs a later run its fallback.
        MainWindowCache::store(visible);
        return scan;
    }

    // No unique live main window (hidden to the notification area, or a call
    // window beside it): fall back on what an earlier run found.
    const std::optional<CachedMainWindow> cached = MainWindowCache::load();
    if (cached && cached->ageSeconds < CacheAgeLimit && cached->window != nullptr &&
        isTeamsWindow(*scan.recognition, cached->window)) {
        scan.mainWindow = cached->window;
        scan.mainFromCache = true;
        log.printDetail(u"Main Teams Application retrieved from cache (%p)\n", cached->window);
    }
    return scan;
}

TeamsDetection detectTeams(logging::DiagnosticLog& log)
{
    TeamsDetection detection;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    detection.notificationFound = scan.notificationWindow != nullptr;
    win::WindowSnapshot snapshot;
    detail::takeSnapshot(scan, snapshot);
    win::WindowFacts facts;
    for (std::size_t i = 0; i < snapshot.count && !detection.teamsVisible; ++i) {
        detection.teamsVisible =
            detail::readTeamsWindow(*scan.recognition, snapshot.windows[i], facts) && facts.visible;
    }
    return detection;
}

}  // namespace teams
