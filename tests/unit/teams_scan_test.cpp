// The Teams window scan: which window is the call notification and which the
// main window, phase by phase, with its tie-breaks, the cache fallback at its
// age limit, and the owning-process test that every phase relies on.
#include <algorithm>
#include <functional>
#include <vector>

#include "teams/main_window_cache.h"
#include "teams/teams_window_scan.h"
#include "teams_desktop.h"
#include "test_text.h"

using namespace teams_test;

namespace {

constexpr std::uint64_t Second = inmemory::TicksPerSecond;

class TeamsWindowScanTest : public TeamsDesktop {};

}  // namespace

TEST_F(TeamsWindowScanTest, TeamsWindowIsRecognisedByTheImageFileNameOnly)
{
    const std::pair<std::u16string, bool> cases[] = {  // the owner's image, and whether it is Teams
        {TeamsImage, true},
        {u"\\Device\\HarddiskVolume1\\Apps\\TEAMS.EXE", true},
        {u"\\Device\\HarddiskVolume1\\Apps\\MyTeams.exe", false},
        {u"\\Device\\HarddiskVolume1\\Apps\\Teams.exe.bak", false},
        {u"\\Device\\HarddiskVolume1\\Teams.exe\\ms-teams.exe", true},  // the client of today
        {u"\\Device\\HarddiskVolume1\\WindowsApps\\MSTeams\\MS-TEAMS.EXE", true},
        {u"\\Device\\HarddiskVolume1\\Apps\\ms-teams.exe.old", false},
        {u"Teams.exe", false},  // no backslash, no file name to compare
        {u"\\Device\\HarddiskVolume1\\" + std::u16string(221, u'x') + u"\\Teams.exe", true},  // 255 characters
        {u"\\Device\\HarddiskVolume1\\" + std::u16string(222, u'x') + u"\\Teams.exe", false},  // does not fit 256
    };
    for (const auto& [image, teams] : cases) {
        const win::HWND window = inmemory::addWindow({.processId = inmemory::addProcess(image)});
        EXPECT_EQ(isTeamsWindow(TeamsRecognition{}, window), teams) << narrow(image);
    }
    EXPECT_EQ(inmemory::openHandleCount(), 0u) << "every process handle is closed";
}

TEST_F(TeamsWindowScanTest, WindowsWhoseProcessCannotBeExaminedAreNotTeams)
{
    const win::HWND denied = window(u"Chat | Microsoft Teams");
    EXPECT_TRUE(isTeamsWindow(TeamsRecognition{}, denied));

    inmemory::failCall("readWindowImagePath", win::ERROR_ACCESS_DENIED);
    EXPECT_FALSE(isTeamsWindow(TeamsRecognition{}, denied));
    EXPECT_EQ(inmemory::openHandleCount(), 0u);

    inmemory::destroyWindow(denied);
    EXPECT_FALSE(isTeamsWindow(TeamsRecognition{}, denied)) << "no window, no owning process";
    const win::HWND orphan = inmemory::addWindow({.processId = 4242});  // of a process that has ended
    EXPECT_FALSE(isTeamsWindow(TeamsRecognition{}, orphan));
}

TEST_F(TeamsWindowScanTest, PolicyAddsToEachListAndSaysWhatItIgnores)
{
    const std::u16string Key = u"HKLM\\SOFTWARE\\Policies\\Velmorathis\\Velmorathis Mirrowcast";
    const std::u16string Long(256, u'x');
    const std::u16string Longest(255, u'y');
    std::vector<std::u16string> seventeen;
    for (char16_t c = u'a'; c <= u'q'; ++c) {
        seventeen.push_back(std::u16string(3, c) + u".exe");
    }
    seventeen.push_back(Long);
    struct Case {
        const char* what;
        std::function<void()> policy;
        std::size_t images, classes, notifications, inProgress;
        std::u16string log;
    };
    const Case cases[] = {
        {"no policy", [] {}, 0, 0, 0, 0, u""},
        {"one entry in each list",
         [&] {
             inmemory::setMultiStringValue(Key, u"TeamsImageNames", {u"lync.exe"});
             inmemory::setMultiStringValue(Key, u"TeamsWindowClasses", {u"LyncConversationWindowClass"});
             inmemory::setMultiStringValue(Key, u"NotificationTitles", {u"Incoming call"});
             inmemory::setMultiStringValue(Key, u"CallInProgressTitles", {u"Meeting compact view"});
         },
         1, 1, 1, 1, u""},
        {"seventeen names and one too long",
         [&] { inmemory::setMultiStringValue(Key, u"TeamsImageNames", seventeen); }, 16, 0, 0, 0,
         u"Policy value \"TeamsImageNames\": 2 entries ignored.\n"},
        {"sixteen of the longest fill 8194 bytes exactly",
         [&] { inmemory::setMultiStringValue(Key, u"NotificationTitles", std::vector<std::u16string>(16, Longest)); },
         0, 0, 16, 0, u""},
        {"a list ends at its first empty string, and says what it cut",
         [&] { inmemory::setMultiStringValue(Key, u"TeamsWindowClasses", {u"A", u"", u"B", u"C"}); }, 0, 1, 0, 0,
         u"Policy value \"TeamsWindowClasses\": 2 entries ignored.\n"},
        {"zeros padding the list are no entries",
         [&] { inmemory::setValue(Key, u"TeamsWindowClasses", win::REG_MULTI_SZ, {'A', 0, 0, 0, 0, 0, 0, 0, 0, 0}); },
         0, 1, 0, 0, u""},
        {"a plain string",
         [&] { inmemory::setStringValue(Key, u"CallInProgressTitles", u"Meeting"); }, 0, 0, 0, 0,
         u"Policy value \"CallInProgressTitles\" ignored (not a multi-string).\n"},
        {"more than 8194 bytes",
         [&] { inmemory::setMultiStringValue(Key, u"TeamsImageNames", std::vector<std::u16string>(17, Longest)); },
         0, 0, 0, 0, u"Policy value \"TeamsImageNames\" ignored (larger than 8194 bytes).\n"},
        {"a key that cannot be read",
         [&] {
             inmemory::setMultiStringValue(Key, u"TeamsImageNames", {u"lync.exe"});
             inmemory::failCall("openRegistryKey", win::ERROR_ACCESS_DENIED);
         },
         0, 0, 0, 0, u"Policy key could not be read (error 5).\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.policy();
        TestLog log;
        const TeamsRecognition r = readTeamsRecognition(log);
        EXPECT_EQ(std::vector<std::size_t>({r.imageNames.count, r.windowClasses.count, r.notificationTitles.count,
                                            r.callInProgressTitles.count}),
                  std::vector<std::size_t>({c.images, c.classes, c.notifications, c.inProgress}))
            << c.what;
        EXPECT_EQ(withoutTimeStamps(inmemory::fileText(log.logPath)), c.log) << c.what;
        EXPECT_EQ(inmemory::openKeyCount(), 0u) << c.what;
    }

    // What a policy adds takes effect: a window of an added class owned by an
    // added image is a Teams window, and an added title marks the notification.
    SetUp();
    inmemory::setMultiStringValue(Key, u"TeamsImageNames", {u"lync.exe"});
    inmemory::setMultiStringValue(Key, u"TeamsWindowClasses", {u"LyncWindow"});
    inmemory::setMultiStringValue(Key, u"NotificationTitles", {u"Incoming call"});
    const win::HWND toast = inmemory::addWindow(
        {u"LyncWindow", u"Incoming call from Ann", false, false, inmemory::addProcess(u"\\Device\\Apps\\Lync.exe")});
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    EXPECT_EQ(scan.notificationWindow, toast);
    EXPECT_EQ(scan.notificationMatch, NotificationMatch::ByTitle);

    // A run reads the key once, however many scans it makes.
    const std::size_t reads = inmemory::callCount("openRegistryKey");
    const TeamsWindowScan again = scanTeamsWindows(log);
    EXPECT_EQ(inmemory::callCount("openRegistryKey"), reads);
    EXPECT_EQ(again.notificationWindow, toast);
}

TEST_F(TeamsWindowScanTest, AFullSnapshotKeepsTheTopWindowsAndSaysHowManyItLeftOut)
{
    // 1,030 windows: the snapshot holds the top 1,024; Teams' notification
    // just above the cut is found, its main window below the cut is not.
    for (int i = 0; i < 1022; ++i) {
        window(u"Tooltip", Foreign);
    }
    const win::HWND notification = window(u"Microsoft Teams Notification", Hidden);
    window(u"Tooltip", Foreign);
    for (int i = 0; i < 6; ++i) {
        window(u"Chat | Microsoft Teams");
    }
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    EXPECT_EQ(scan.notificationWindow, notification);
    EXPECT_EQ(scan.mainWindow, nullptr);
    // The close that follows looks and lists again: still said once.
    closeCallWindow(scan, u"John Smith");
    const std::vector<std::u16string> lines = logLines(log);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), u"Window snapshot full, 6 windows not examined.\n"), 1)
        << "once per action";
}

TEST_F(TeamsWindowScanTest, NotificationIsFoundByTitleOrAsTheOnlyWindowLeftByExclusion)
{
    // Each case is a desktop, top of the z-order first; `pick` is the index
    // of the expected notification window (-1: none).
    struct Case {
        const char* what;
        std::vector<Listed> windows;
        int pick;
        NotificationMatch match;
    };
    const Case cases[] = {
        {"title in other letter case, with more text",
         {{u"Chat | Microsoft Teams", Visible}, {u"MICROSOFT TEAMS NOTIFICATION - Ann", Hidden}}, 1,
         NotificationMatch::ByTitle},
        {"Dutch title", {{u"Melding van Microsoft Teams", Visible}}, 0, NotificationMatch::ByTitle},
        {"German title, hidden", {{u"Microsoft Teams-Benachrichtigung", Hidden}}, 0, NotificationMatch::ByTitle},
        {"second title in the table", {{u"Notification Microsoft Teams", Visible}}, 0, NotificationMatch::ByTitle},
        {"higher of two hidden notification titles wins",
         {{u"Notification Microsoft Teams", Hidden}, {u"Microsoft Teams Notification", Hidden}}, 0,
         NotificationMatch::ByTitle},
        {"a visible pop-up wins over a higher hidden one (two clients)",
         {{u"Microsoft Teams Notification", Hidden}, {u"", Hidden}, {u"Microsoft Teams Notification", Visible}},
         2, NotificationMatch::ByTitle},
        {"a title match beats an earlier candidate",
         {{u"", Hidden}, {u"Microsoft Teams Notification", Hidden}}, 1, NotificationMatch::ByTitle},
        {"foreign window with the title is ignored",
         {{u"Microsoft Teams Notification", Foreign}, {u"Chat | Microsoft Teams", Visible}}, -1,
         NotificationMatch::None},
        {"'Microsoft Teams' is shorter than every title, and a candidate",
         {{u"Microsoft Teams", Visible}}, 0, NotificationMatch::ByExclusion},
        {"empty title is the one candidate",
         {{u"Chat | Microsoft Teams", Visible}, {u"", Hidden}, {u"TEAMS", Hidden}}, 1,
         NotificationMatch::ByExclusion},
        {"'Teams ' differs from 'Teams'", {{u"Teams ", Hidden}, {u"teams", Hidden}}, 0,
         NotificationMatch::ByExclusion},
        {"every spacing of the main window's bar is excluded",
         {{u"Chat|Microsoft Teams", Visible}, {u"Calendar |MicrosoftTeams", Hidden},
          {u"Activity  |  Microsoft  Teams", Hidden}, {u"Call - Microsoft Teams", Hidden}},
         3, NotificationMatch::ByExclusion},
        {"a tab is not a space", {{u"Chat |Microsoft\tTeams", Hidden}}, 0, NotificationMatch::ByExclusion},
        {"two candidates give none", {{u"", Hidden}, {u"Call - Microsoft Teams", Visible}}, -1,
         NotificationMatch::None},
        {"no Teams windows at all", {{u"Inbox - Browser", Foreign}}, -1, NotificationMatch::None},
    };
    for (const Case& c : cases) {
        SetUp();
        const std::vector<win::HWND> handles = windows(c.windows);
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);
        const win::HWND expected = picked(handles, c.pick);
        EXPECT_EQ(scan.notificationWindow, expected) << c.what;
        EXPECT_EQ(scan.notificationMatch, c.match) << c.what;
        const std::vector<std::u16string> lines = logLines(log);
        if (c.match == NotificationMatch::ByExclusion) {
            const std::u16string found = u"Call notification " + hex(expected) + u" found by exclusion\n";
            EXPECT_EQ(lines, std::vector<std::u16string>{found}) << c.what;
        } else {
            EXPECT_TRUE(lines.empty()) << c.what;
        }
    }
}

TEST_F(TeamsWindowScanTest, MainWindowIsTheOneVisibleTeamsWindowBesidesTheNotification)
{
    window(u"Inbox - Browser", Foreign);
    const win::HWND notification = window(u"Microsoft Teams Notification");
    const win::HWND hidden = window(u"", Hidden);
    const win::HWND main = window(u"Chat | Microsoft Teams");
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    EXPECT_EQ(scan.notificationWindow, notification);
    EXPECT_EQ(scan.mainWindow, main);
    EXPECT_EQ(scan.mainFromCache, 0);
    EXPECT_NE(scan.mainWindow, hidden);

    win::HWND cached = nullptr;
    std::uint32_t age = 1;
    EXPECT_EQ(number(MainWindowCache::load(&cached, &age)), 0) << "a uniquely found main window is remembered";
    EXPECT_EQ(cached, main);
    EXPECT_EQ(age, 0u);
}

TEST_F(TeamsWindowScanTest, WithoutAUniqueLiveMainWindowTheCacheDecides)
{
    // A cached handle stands for the main window only while it is fresh and
    // still a Teams window; visibility and role are not asked.
    struct Case {
        const char* what;
        std::uint64_t ageTicks;
        int cachedRole;  // 0 the hidden main window, 1 the notification, 2 a vanished window, 3 a browser window
        bool accepted;
    };
    const Case cases[] = {
        {"fresh", 0, 0, true},
        {"28799 s", 28799 * Second, 0, true},
        {"28800 s", 28800 * Second, 0, false},
        {"half a second ahead", 0 - Second / 2, 0, true},
        {"one second ahead", 0 - Second, 0, false},
        {"the notification window itself", 10 * Second, 1, true},
        {"a window that is gone", 10 * Second, 2, false},
        {"a foreign window", 10 * Second, 3, false},
    };
    for (const Case& c : cases) {
        SetUp();
        const win::HWND notification = window(u"Microsoft Teams Notification");
        const win::HWND main = window(u"Chat | Microsoft Teams", Hidden);
        const win::HWND foreign = window(u"Inbox - Browser", Foreign);
        window(u"Meeting with Ann");
        window(u"Microsoft Teams Call in progress");
        const win::HWND roles[] = {main, notification, inmemory::unusedWindowHandle(), foreign};
        rememberMainWindow(roles[c.cachedRole], inmemory::now() - c.ageTicks);

        TestLog log;
        log.detailEnabled = 1;
        const TeamsWindowScan scan = scanTeamsWindows(log);
        EXPECT_EQ(scan.mainWindow, c.accepted ? roles[c.cachedRole] : nullptr) << c.what;
        EXPECT_EQ(scan.mainFromCache, c.accepted ? 1 : 0) << c.what;
        const std::vector<std::u16string> lines = logLines(log);
        if (c.accepted) {
            EXPECT_EQ(lines, std::vector<std::u16string>{u"Main Teams Application retrieved from cache (" +
                                                         hex(roles[c.cachedRole]) + u")\n"})
                << c.what;
        } else {
            EXPECT_TRUE(lines.empty()) << c.what;
        }
        EXPECT_EQ(inmemory::callCount("setRegistryValue"), 0u) << "phase C never rewrites the entry: " << c.what;
    }
}

TEST_F(TeamsWindowScanTest, CacheLineIsADetailTextAndCacheFailuresAreSilent)
{
    const win::HWND main = window(u"Chat | Microsoft Teams", Hidden);
    rememberMainWindow(main, inmemory::now());
    {
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);
        EXPECT_EQ(scan.mainWindow, main);
        EXPECT_TRUE(logLines(log).empty()) << "detail texts are not written";
    }
    inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED);
    {
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);
        EXPECT_EQ(scan.mainWindow, nullptr);
        EXPECT_EQ(scan.mainFromCache, 0);
    }

    inmemory::setWindowVisible(main, true);
    inmemory::failCall("setRegistryValue", win::ERROR_ACCESS_DENIED, 1, -1);
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    EXPECT_EQ(scan.mainWindow, main) << "a failed store does not undo the finding";
    EXPECT_TRUE(logLines(log).empty());
}
