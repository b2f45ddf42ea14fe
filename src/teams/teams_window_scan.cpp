#include "teams/teams_window_scan.h"

#include "log/diagnostic_log.h"
#include "teams/main_window_cache.h"
#include "teams/teams_windows.h"
#include "util/handles.h"
#include "util/strings.h"
#include "winapi/desktop.h"
#include "winapi/system.h"

namespace {

// The call notification's title in each language Teams is used in here;
// tried in this order, each as a case-insensitive prefix.
constexpr const char16_t* NotificationTitles[] = {
    u"Microsoft Teams Notification",
    u"Notification Microsoft Teams",
    u"Melding van Microsoft Teams",
    u"Microsoft Teams-Benachrichtigung",
};

constexpr char16_t TeamsImageName[] = u"Teams.exe";
constexpr std::size_t ImagePathCapacity = 256;
// Titles of the windows that cannot be the notification: the bare client
// ("Teams") and the main window's "<view> | Microsoft Teams", whose spacing
// around the bar varies between versions.
constexpr char16_t BareTeamsTitle[] = u"Teams";
constexpr char16_t MainTitleMarker[] = u"|MicrosoftTeams";
// Eight hours, about a working day: an older entry more likely names a window
// that has gone, whose handle value Windows may have given to another.
constexpr std::uint32_t CacheAgeLimit = 28800;

bool hasNotificationTitle(const char16_t* title)
{
    for (const char16_t* notification : NotificationTitles) {
        if (util::compareNoCaseN(title, notification, util::length(notification)) == 0) {
            return true;
        }
    }
    return false;
}

bool isExcludedFromNotification(const char16_t* title)
{
    if (util::compareNoCase(title, BareTeamsTitle) == 0) {
        return true;
    }
    char16_t spaceFree[teams::TitleCapacity];
    util::copyWithoutSpaces(spaceFree, teams::TitleCapacity, title);
    return util::findNoCase(spaceFree, MainTitleMarker) != nullptr;
}

}  // namespace

namespace teams {

win::HWND nextWindow(win::HWND after)
{
    return win::FindWindowExW(nullptr, after, WindowClass, nullptr);
}

void readTitle(win::HWND window, char16_t (&title)[TitleCapacity])
{
    // The count, not the buffer, is what a failed call promises anything
    // about: terminate where it says the text ends.
    const int length = win::GetWindowTextW(window, title, static_cast<int>(TitleCapacity));
    title[length > 0 && static_cast<std::size_t>(length) < TitleCapacity ? length : 0] = 0;
}

}  // namespace teams

bool isTeamsWindow(win::HWND window)
{
    win::DWORD processId = 0;
    win::GetWindowThreadProcessId(window, &processId);
    if (processId == 0) {
        return false;
    }
    // Limited query is enough to read the image name and, unlike full query,
    // is granted for elevated and protected processes too.
    util::UniqueHandle process(win::OpenProcess(win::PROCESS_QUERY_LIMITED_INFORMATION, win::FALSE, processId));
    if (!process) {
        return false;
    }
    char16_t imagePath[ImagePathCapacity];
    if (win::K32GetProcessImageFileNameW(process.get(), imagePath, ImagePathCapacity) == 0) {
        return false;
    }
    // The path comes in device form (\Device\HarddiskVolume1\...), so only the
    // file name after the last backslash is compared.
    const char16_t* slash = util::findLastChar(imagePath, u'\\');
    if (slash == nullptr) {
        return false;
    }
    return util::compareNoCase(slash + 1, TeamsImageName) == 0;
}

TeamsWindowScan::TeamsWindowScan(DiagnosticLog* scanLog) : log(scanLog)
{
    // Phase A: the call notification window, by title or by exclusion. Hidden
    // windows count: Teams keeps its notification window around hidden
    // between calls.
    win::HWND candidate = nullptr;
    int candidates = 0;
    for (win::HWND window = teams::nextWindow(nullptr); window != nullptr; window = teams::nextWindow(window)) {
        if (!isTeamsWindow(window)) {
            continue;
        }
        char16_t title[teams::TitleCapacity];
        teams::readTitle(window, title);
        if (hasNotificationTitle(title)) {
            notificationWindow = window;
            notificationMatch = NotificationMatch::ByTitle;
            break;
        }
        if (!isExcludedFromNotification(title)) {
            candidate = window;
            ++candidates;
        }
    }
    if (notificationWindow == nullptr && candidates == 1) {
        notificationWindow = candidate;
        log->print(u"Call notification %p found by exclusion\n", candidate);
        notificationMatch = NotificationMatch::ByExclusion;
    }

    // Phase B: the main window is the one visible Teams window left.
    win::HWND visible = nullptr;
    int visibleCount = 0;
    for (win::HWND window = teams::nextWindow(nullptr); window != nullptr; window = teams::nextWindow(window)) {
        if (win::IsWindowVisible(window) && isTeamsWindow(window) && window != notificationWindow) {
            visible = window;
            ++visibleCount;
        }
    }
    mainFromCache = 0;
    if (visibleCount == 1) {
        mainWindow = visible;
        MainWindowCache::store(visible);  // a failed write only costs a later run its fallback
        return;
    }

    // Phase C: no unique live main window (hidden to the notification area,
    // or a call window beside it): fall back on what an earlier run found.
    win::HWND cached = nullptr;
    std::uint32_t age = 0;
    if (MainWindowCache::load(&cached, &age) == 0 && age < CacheAgeLimit && cached != nullptr &&
        isTeamsWindow(cached)) {
        mainWindow = cached;
        mainFromCache = 1;
        log->printDetail(u"Main Teams Application retrieved from cache (%p)\n", cached);
    }
}
