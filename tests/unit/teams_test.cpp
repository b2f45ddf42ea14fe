// The Teams subsystem on the in-memory Windows. The window scan: which
// window is the call notification and which the main window, phase by phase,
// with its tie-breaks, the cache fallback at its age limit, and the
// owning-process test that every phase relies on. The main window cache: its
// registry layout, the result codes, the age arithmetic at the limits the
// scan relies on, and the handle's round trip through 32 bits. Finding a
// participant's call window, and the answer, close and list actions as the
// log and Teams see them: what is written, what keys go in, what is posted
// and when, on the stand-in's clock (the waits take no real time).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "inmemory/inmemory.h"
#include "program_run.h"
#include "teams/answer_turn.h"
#include "teams/main_window_cache.h"
#include "teams/teams_window_scan.h"
#include "test_log.h"
#include "test_text.h"
#include "texts.h"

namespace {

// A desktop for the Teams tests: a Teams process, a foreign process that uses
// the same window class, windows listed top of the z-order first, and the log
// as the support staff read it. The flags of a listed window:
enum : unsigned { Visible = 0, Hidden = 1, Minimized = 2, Foreign = 4 };
struct Listed {
    std::u16string title;
    unsigned flags;
};

class TeamsDesktop : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }

    // A fresh machine, for each row of a table too.
    void fresh()
    {
        freshMachine();  // a new run, too: the machine's policy is read afresh
        teams = inmemory::addProcess(TeamsImage);
        browser = inmemory::addProcess(BrowserImage);
    }

    // Below every window added so far, so a test lists windows top first.
    win::HWND window(const std::u16string& title, unsigned flags = Visible)
    {
        return inmemory::addWindowAtBottom({.title = title,
                                            .visible = (flags & Hidden) == 0,
                                            .minimized = (flags & Minimized) != 0,
                                            .processId = (flags & Foreign) != 0 ? browser : teams});
    }

    // The windows of a table's row, below those added so far; its pick among
    // them (-1: none).
    std::vector<win::HWND> windows(const std::vector<Listed>& listed)
    {
        std::vector<win::HWND> handles;
        for (const Listed& w : listed) {
            handles.push_back(window(w.title, w.flags));
        }
        return handles;
    }
    static win::HWND picked(const std::vector<win::HWND>& handles, int pick)
    {
        return pick < 0 ? nullptr : handles[static_cast<std::size_t>(pick)];
    }

    // The texts written to today's file, line by line, without their time stamps.
    static std::vector<std::u16string> logLines(const logging::DiagnosticLog& log)
    {
        std::vector<std::u16string> lines;
        const std::u16string text = withoutTimeStamps(inmemory::fileText(log.logPath));
        for (std::size_t start = 0, end = 0; start < text.size(); start = end) {
            end = std::min(text.find(u'\n', start), text.size() - 1) + 1;
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }

    static std::u16string hex(win::HWND window)
    {
        char16_t out[16];
        util::formatString(out, u"%p", window);
        return out;
    }

    win::DWORD teams = 0;
    win::DWORD browser = 0;
};

constexpr std::uint64_t Second = inmemory::TicksPerSecond;

class TeamsWindowScanTest : public TeamsDesktop {};

const std::u16string ParentKey = u"HKCU\\SOFTWARE\\Velmorathis\\Velmorathis Mirrowcast";

win::HWND handleOf(std::uintptr_t value) { return reinterpret_cast<win::HWND>(value); }

std::uint64_t storedStamp()
{
    const std::vector<std::uint8_t> bytes = inmemory::valueBytes(CacheKey, u"MainTeamsApp/TimeStamp");
    std::uint64_t stamp = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        stamp = (stamp << 8) | bytes[i];
    }
    return stamp;
}

class MainWindowCacheTest : public TeamsDesktop {};

constexpr std::uint64_t Millisecond = inmemory::TicksPerSecond / 1000;

using Line = std::u16string;
using texts::text;
using Lines = std::vector<Line>;

// What the answer says, as support staff read it.
const Line Waiting = text("waiting for notification");
const Line FoundVisible = text("notification found visible");
const Line FoundHidden = text("notification found hidden");
const Line NoneFound = text("no notification yet");
const Line Detected = text("notification detected");
const Line Aborted = u"Wait aborted, no active call detected.\n";
const Line Bringing = text("bringing to foreground");
const Line NotBrought = u"Teams call notification window could not be brought to the foreground, keys not sent.\n";
const Line Keys = text("keys sent");
Line waitingFor(const Line& who) { return text("waiting for call window", who); }
Line minimizing(const Line& title) { return text("minimizing", title); }

class CallWindowLookupTest : public TeamsDesktop {};
class CallActionsTest : public TeamsDesktop {
protected:
    win::HWND main = nullptr;
};

const std::u16string TodaysImage = u"\\Device\\HarddiskVolume3\\Program Files\\WindowsApps\\MSTeams\\ms-teams.exe";

}  // namespace

TEST_F(TeamsWindowScanTest, TeamsWindowIsRecognisedByTheImageFileNameOnly)
{
    const std::pair<std::u16string, bool> cases[] = {
        // the owner's image, and whether it is Teams
        {TeamsImage, true},
        {u"\\Device\\HarddiskVolume1\\Apps\\TEAMS.EXE", true},
        {u"\\Device\\HarddiskVolume1\\Apps\\MyTeams.exe", false},
        {u"\\Device\\HarddiskVolume1\\Apps\\Teams.exe.bak", false},
        {u"\\Device\\HarddiskVolume1\\Teams.exe\\ms-teams.exe", true},  // the client of today
        {u"\\Device\\HarddiskVolume1\\WindowsApps\\MSTeams\\MS-TEAMS.EXE", true},
        {u"\\Device\\HarddiskVolume1\\Apps\\ms-teams.exe.old", false},
        {u"Teams.exe", false},  // no backslash, no file name to compare
        {u"\\Device\\HarddiskVolume1\\" + std::u16string(221, u'x') + u"\\Teams.exe", true},   // 255 characters
        {u"\\Device\\HarddiskVolume1\\" + std::u16string(222, u'x') + u"\\Teams.exe", false},  // does not fit 256
    };
    for (const auto& [image, teams] : cases) {
        const win::HWND window = inmemory::addWindow({.processId = inmemory::addProcess(image)});
        EXPECT_EQ(teams::isTeamsWindow(teams::TeamsRecognition{}, window), teams) << narrow(image);
    }
    EXPECT_EQ(inmemory::openHandleCount(), 0u) << "every process handle is closed";
}

TEST_F(TeamsWindowScanTest, WindowsWhoseProcessCannotBeExaminedAreNotTeams)
{
    const win::HWND denied = window(u"Chat | Microsoft Teams");
    EXPECT_TRUE(teams::isTeamsWindow(teams::TeamsRecognition{}, denied));

    inmemory::failCall("readWindowImagePath", win::ERROR_ACCESS_DENIED);
    EXPECT_FALSE(teams::isTeamsWindow(teams::TeamsRecognition{}, denied));
    EXPECT_EQ(inmemory::openHandleCount(), 0u);

    inmemory::destroyWindow(denied);
    EXPECT_FALSE(teams::isTeamsWindow(teams::TeamsRecognition{}, denied)) << "no window, no owning process";
    const win::HWND orphan = inmemory::addWindow({.processId = 4242});  // of a process that has ended
    EXPECT_FALSE(teams::isTeamsWindow(teams::TeamsRecognition{}, orphan));
}

TEST_F(TeamsWindowScanTest, PolicyAddsToEachListAndSaysWhatItIgnores)
{
    const std::u16string& Key = PolicyKey;
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
        {"seventeen names and one too long", [&] { inmemory::setMultiStringValue(Key, u"TeamsImageNames", seventeen); },
         16, 0, 0, 0, u"Policy value \"TeamsImageNames\": 2 entries ignored.\n"},
        {"sixteen of the longest fill 8194 bytes exactly",
         [&] { inmemory::setMultiStringValue(Key, u"NotificationTitles", std::vector<std::u16string>(16, Longest)); },
         0, 0, 16, 0, u""},
        {"a list ends at its first empty string, and says what it cut",
         [&] {
             inmemory::setMultiStringValue(Key, u"TeamsWindowClasses", {u"A", u"", u"B", u"C"});
         },
         0, 1, 0, 0, u"Policy value \"TeamsWindowClasses\": 2 entries ignored.\n"},
        {"zeros padding the list are no entries",
         [&] {
             inmemory::setValue(Key, u"TeamsWindowClasses", win::REG_MULTI_SZ, {'A', 0, 0, 0, 0, 0, 0, 0, 0, 0});
         },
         0, 1, 0, 0, u""},
        {"a plain string", [&] { inmemory::setStringValue(Key, u"CallInProgressTitles", u"Meeting"); }, 0, 0, 0, 0,
         u"Policy value \"CallInProgressTitles\" ignored (not a multi-string).\n"},
        {"more than 8194 bytes",
         [&] { inmemory::setMultiStringValue(Key, u"TeamsImageNames", std::vector<std::u16string>(17, Longest)); }, 0,
         0, 0, 0, u"Policy value \"TeamsImageNames\" ignored (larger than 8194 bytes).\n"},
        {"a key that cannot be read",
         [&] {
             inmemory::setMultiStringValue(Key, u"TeamsImageNames", {u"lync.exe"});
             inmemory::failCall("openRegistryKey", win::ERROR_ACCESS_DENIED);
         },
         0, 0, 0, 0, u"Policy key could not be read (error 5).\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        c.policy();
        TestLog log;
        const teams::TeamsRecognition r = teams::readTeamsRecognition(log);
        EXPECT_EQ(std::vector<std::size_t>({r.imageNames.count, r.windowClasses.count, r.notificationTitles.count,
                                            r.callInProgressTitles.count}),
                  std::vector<std::size_t>({c.images, c.classes, c.notifications, c.inProgress}))
            << c.what;
        EXPECT_EQ(withoutTimeStamps(inmemory::fileText(log.logPath)), c.log) << c.what;
        EXPECT_EQ(inmemory::openKeyCount(), 0u) << c.what;
    }

    // What a policy adds takes effect: a window of an added class owned by an
    // added image is a Teams window, and an added title marks the notification.
    fresh();
    inmemory::setMultiStringValue(Key, u"TeamsImageNames", {u"lync.exe"});
    inmemory::setMultiStringValue(Key, u"TeamsWindowClasses", {u"LyncWindow"});
    inmemory::setMultiStringValue(Key, u"NotificationTitles", {u"Incoming call"});
    const win::HWND toast = inmemory::addWindow(
        {u"LyncWindow", u"Incoming call from Ann", false, false, inmemory::addProcess(u"\\Device\\Apps\\Lync.exe")});
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    EXPECT_EQ(scan.notificationWindow, toast);
    EXPECT_EQ(scan.notificationMatch, teams::NotificationMatch::ByTitle);

    // A run reads the key once, however many scans it makes.
    const std::size_t reads = inmemory::callCount("openRegistryKey");
    const teams::TeamsWindowScan again = teams::scanTeamsWindows(log);
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
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    EXPECT_EQ(scan.notificationWindow, notification);
    EXPECT_EQ(scan.mainWindow, nullptr);
    // The close that follows looks and lists again: still said once.
    teams::closeCallWindow(scan, u"John Smith");
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
        teams::NotificationMatch match;
    };
    const Case cases[] = {
        {"title in other letter case, with more text",
         {{u"Chat | Microsoft Teams", Visible}, {u"MICROSOFT TEAMS NOTIFICATION - Ann", Hidden}},
         1,
         teams::NotificationMatch::ByTitle},
        {"Dutch title", {{u"Melding van Microsoft Teams", Visible}}, 0, teams::NotificationMatch::ByTitle},
        {"German title, hidden", {{u"Microsoft Teams-Benachrichtigung", Hidden}}, 0, teams::NotificationMatch::ByTitle},
        {"second title in the table",
         {{u"Notification Microsoft Teams", Visible}},
         0,
         teams::NotificationMatch::ByTitle},
        {"higher of two hidden notification titles wins",
         {{u"Notification Microsoft Teams", Hidden}, {u"Microsoft Teams Notification", Hidden}},
         0,
         teams::NotificationMatch::ByTitle},
        {"a visible pop-up wins over a higher hidden one (two clients)",
         {{u"Microsoft Teams Notification", Hidden}, {u"", Hidden}, {u"Microsoft Teams Notification", Visible}},
         2,
         teams::NotificationMatch::ByTitle},
        {"a title match beats an earlier candidate",
         {{u"", Hidden}, {u"Microsoft Teams Notification", Hidden}},
         1,
         teams::NotificationMatch::ByTitle},
        {"foreign window with the title is ignored",
         {{u"Microsoft Teams Notification", Foreign}, {u"Chat | Microsoft Teams", Visible}},
         -1,
         teams::NotificationMatch::None},
        {"'Microsoft Teams' is shorter than every title, and a candidate",
         {{u"Microsoft Teams", Visible}},
         0,
         teams::NotificationMatch::ByExclusion},
        {"empty title is the one candidate",
         {{u"Chat | Microsoft Teams", Visible}, {u"", Hidden}, {u"TEAMS", Hidden}},
         1,
         teams::NotificationMatch::ByExclusion},
        {"'Teams ' differs from 'Teams'",
         {{u"Teams ", Hidden}, {u"teams", Hidden}},
         0,
         teams::NotificationMatch::ByExclusion},
        {"every spacing of the main window's bar is excluded",
         {{u"Chat|Microsoft Teams", Visible},
          {u"Calendar |MicrosoftTeams", Hidden},
          {u"Activity  |  Microsoft  Teams", Hidden},
          {u"Call - Microsoft Teams", Hidden}},
         3,
         teams::NotificationMatch::ByExclusion},
        {"a tab is not a space", {{u"Chat |Microsoft\tTeams", Hidden}}, 0, teams::NotificationMatch::ByExclusion},
        {"two candidates give none",
         {{u"", Hidden}, {u"Call - Microsoft Teams", Visible}},
         -1,
         teams::NotificationMatch::None},
        {"no Teams windows at all", {{u"Inbox - Browser", Foreign}}, -1, teams::NotificationMatch::None},
        {"a main window's title too long to read is read whole and excluded",
         {{u"Chat | " + std::u16string(280, u'x') + u" | Microsoft Teams", Visible}, {u"", Hidden}},
         1,
         teams::NotificationMatch::ByExclusion},
        {"a title too long to read is never taken",
         {{u"Call " + std::u16string(300, u'x'), Visible}},
         -1,
         teams::NotificationMatch::None},
        {"a title too long to read still counts as a candidate",
         {{u"Call " + std::u16string(300, u'x'), Visible}, {u"", Hidden}},
         -1,
         teams::NotificationMatch::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        const std::vector<win::HWND> handles = windows(c.windows);
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        const win::HWND expected = picked(handles, c.pick);
        EXPECT_EQ(scan.notificationWindow, expected) << c.what;
        EXPECT_EQ(scan.notificationMatch, c.match) << c.what;
        const std::vector<std::u16string> lines = logLines(log);
        if (c.match == teams::NotificationMatch::ByExclusion) {
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
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    EXPECT_EQ(scan.notificationWindow, notification);
    EXPECT_EQ(scan.mainWindow, main);
    EXPECT_EQ(scan.mainFromCache, 0);
    EXPECT_NE(scan.mainWindow, hidden);

    const std::optional<teams::CachedMainWindow> cached = teams::MainWindowCache::load();
    ASSERT_TRUE(cached) << "a uniquely found main window is remembered";
    EXPECT_EQ(cached->window, main);
    EXPECT_EQ(cached->ageSeconds, 0u);
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
        SCOPED_TRACE(c.what);
        fresh();
        const win::HWND notification = window(u"Microsoft Teams Notification");
        const win::HWND main = window(u"Chat | Microsoft Teams", Hidden);
        const win::HWND foreign = window(u"Inbox - Browser", Foreign);
        window(u"Meeting with Ann");
        window(u"Microsoft Teams Call in progress");
        const win::HWND roles[] = {main, notification, inmemory::unusedWindowHandle(), foreign};
        rememberMainWindow(roles[c.cachedRole], inmemory::now() - c.ageTicks);

        TestLog log;
        log.detailEnabled = true;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
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
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        EXPECT_EQ(scan.mainWindow, main);
        EXPECT_TRUE(logLines(log).empty()) << "detail texts are not written";
    }
    inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED);
    {
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        EXPECT_EQ(scan.mainWindow, nullptr);
        EXPECT_EQ(scan.mainFromCache, 0);
    }

    inmemory::setWindowVisible(main, true);
    inmemory::failCall("setRegistryValue", win::ERROR_ACCESS_DENIED, 1, -1);
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    EXPECT_EQ(scan.mainWindow, main) << "a failed store does not undo the finding";
    EXPECT_TRUE(logLines(log).empty());
}

TEST_F(MainWindowCacheTest, FirstStoreMakesAVolatileKeyUnderAnOrdinaryParentThatOutlivesLogoff)
{
    ASSERT_FALSE(inmemory::keyExists(ParentKey));
    teams::MainWindowCache::store(handleOf(0x30A5C));
    EXPECT_FALSE(inmemory::keyIsVolatile(ParentKey));
    EXPECT_TRUE(inmemory::keyIsVolatile(CacheKey));
    EXPECT_EQ(inmemory::valueType(CacheKey, u"MainTeamsApp"), win::REG_DWORD);
    EXPECT_EQ(inmemory::valueBytes(CacheKey, u"MainTeamsApp"), (std::vector<std::uint8_t>{0x5C, 0x0A, 0x03, 0x00}));
    EXPECT_EQ(inmemory::valueType(CacheKey, u"MainTeamsApp/TimeStamp"), win::REG_QWORD);
    EXPECT_EQ(storedStamp(), inmemory::now());
    EXPECT_EQ(inmemory::openKeyCount(), 0u);

    const std::optional<teams::CachedMainWindow> loaded = teams::MainWindowCache::load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->window, handleOf(0x30A5C));
    EXPECT_EQ(loaded->ageSeconds, 0u);

    inmemory::logOff();
    EXPECT_TRUE(inmemory::keyExists(ParentKey));
    EXPECT_FALSE(inmemory::keyExists(CacheKey));
    EXPECT_FALSE(teams::MainWindowCache::load());
}

TEST_F(MainWindowCacheTest, HandlesTravelAsTheir32BitValueAndComeBackSignExtended)
{
    const std::uintptr_t values[] = {0x10010, 0x7FFFFFFF, static_cast<std::uintptr_t>(std::intptr_t{-0x7FFEFFF0})};
    for (const std::uintptr_t value : values) {
        SCOPED_TRACE(value);
        teams::MainWindowCache::store(handleOf(value));
        const std::optional<teams::CachedMainWindow> loaded = teams::MainWindowCache::load();
        EXPECT_EQ(loaded ? loaded->window : nullptr, handleOf(value));
    }
    EXPECT_EQ(inmemory::valueBytes(CacheKey, u"MainTeamsApp"), (std::vector<std::uint8_t>{0x10, 0x00, 0x01, 0x80}));
}

TEST_F(MainWindowCacheTest, AgeCountsWholeSecondsAndMarksFutureOrUnrepresentableStamps)
{
    const std::uint64_t now = inmemory::now();
    struct Case {
        const char* what;
        std::uint64_t stamp;
        std::uint32_t age;
    };
    const Case cases[] = {
        {"just written", now, 0},
        {"28799.9 s old", now - 287999 * Second / 10, 28799},
        {"exactly eight hours", now - 28800 * Second, 28800},
        {"half a second ahead", now + Second / 2, 0},
        {"a second ahead", now + Second, 0xFFFFFFFFu},
        {"a year ahead", now + 365ull * 86400 * Second, 0xFFFFFFFFu},
        {"2^32 - 1 seconds old", now - 0xFFFFFFFFull * Second, 0xFFFFFFFFu},
        {"2^32 seconds old", now - 0x100000000ull * Second, 0xFFFFFFFFu},
        {"zero stamp", 0, 0xFFFFFFFFu},
        {"stamp negative as a signed number", UINT64_MAX, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rememberMainWindow(handleOf(0x20020), c.stamp);
        const std::optional<teams::CachedMainWindow> loaded = teams::MainWindowCache::load();
        EXPECT_TRUE(loaded);
        EXPECT_EQ(loaded ? loaded->ageSeconds : 7u, c.age);
    }
}

TEST_F(MainWindowCacheTest, AnEntryWithAValueMissingMistypedOrUnreadableIsNone)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"nothing written", [] {}},
        {"text is not a handle", [] { inmemory::setStringValue(CacheKey, u"MainTeamsApp", u"196652"); }},
        {"a DWORD as the time stamp",
         [] {
             rememberMainWindow(handleOf(0x3002C), inmemory::now());
             inmemory::setValue(CacheKey, u"MainTeamsApp/TimeStamp", win::REG_DWORD, {1, 2, 3, 4});
         }},
        {"a QWORD of four bytes",
         [] {
             rememberMainWindow(handleOf(0x3002C), inmemory::now());
             inmemory::setValue(CacheKey, u"MainTeamsApp/TimeStamp", win::REG_QWORD, {1, 2, 3, 4});
         }},
        {"the handle unreadable",
         [] {
             rememberMainWindow(handleOf(0x3002C), inmemory::now());
             inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED);
         }},
        {"the time stamp unreadable",
         [] {
             rememberMainWindow(handleOf(0x3002C), inmemory::now());
             inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED, 2);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        c.arrange();
        EXPECT_FALSE(teams::MainWindowCache::load());
    }
}

TEST_F(MainWindowCacheTest, AFailedStoreKeepsWhatWasWrittenBeforeItAndClosesEveryKey)
{
    struct Case {
        const char* function;
        int occurrence;
        std::uint8_t handleLeft;  // the first byte of "MainTeamsApp" afterwards (0x10: the earlier run's)
    };
    const Case cases[] = {
        {"createRegistryKey", 1, 0x10},  // the parent
        {"createRegistryKey", 2, 0x10},  // "Volatile" below it
        {"setRegistryValue", 1, 0x10},
        {"setRegistryValue", 2, 0x20},  // the new handle beside the earlier stamp: no rollback
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " #" + std::to_string(c.occurrence));
        fresh();
        const bool earlierEntry = std::string_view(c.function) == "setRegistryValue";
        if (earlierEntry) {
            rememberMainWindow(handleOf(0x1110), 12345);  // an earlier run's entry
        }
        inmemory::failCall(c.function, win::ERROR_ACCESS_DENIED, c.occurrence);
        teams::MainWindowCache::store(handleOf(0x2220));
        EXPECT_EQ(inmemory::openKeyCount(), 0u);
        if (earlierEntry) {
            const std::vector<std::uint8_t> handle = inmemory::valueBytes(CacheKey, u"MainTeamsApp");
            EXPECT_EQ(handle.empty() ? 0 : handle[0], c.handleLeft);
            EXPECT_EQ(storedStamp(), 12345u);
        } else {
            EXPECT_FALSE(inmemory::keyExists(CacheKey)) << "no key, nothing written";
        }
    }

    fresh();
    inmemory::denyRegistryWrite(ParentKey);
    teams::MainWindowCache::store(handleOf(0x2220));
    EXPECT_FALSE(inmemory::keyExists(CacheKey));
    EXPECT_EQ(inmemory::openKeyCount(), 0u);
}

TEST_F(MainWindowCacheTest, ExistingOrdinaryCacheKeyIsUsedAsItIs)
{
    inmemory::setStringValue(CacheKey, u"Other", u"kept");
    teams::MainWindowCache::store(handleOf(0x4440));
    EXPECT_EQ(inmemory::valueBytes(CacheKey, u"MainTeamsApp")[0], 0x40);
    EXPECT_FALSE(inmemory::keyIsVolatile(CacheKey));
    EXPECT_EQ(inmemory::valueString(CacheKey, u"Other"), u"kept");
    EXPECT_EQ(inmemory::callCount("createRegistryKey"), 0u);
}

TEST_F(MainWindowCacheTest, AClockThatCannotBeReadNeverMakesAnEntryLookFresh)
{
    const auto ageAfter = [](int failingStore, int failingLoad) {
        if (failingStore > 0) {
            inmemory::failCall("readClock", win::ERROR_INVALID_PARAMETER);
        }
        teams::MainWindowCache::store(handleOf(0x5550));
        if (failingLoad > 0) {
            inmemory::failCall("readClock", win::ERROR_INVALID_PARAMETER);
        }
        const std::optional<teams::CachedMainWindow> loaded = teams::MainWindowCache::load();
        return loaded ? loaded->ageSeconds : 0u;
    };
    EXPECT_EQ(ageAfter(1, 0), 0xFFFFFFFFu) << "an unknown writing time counts as too old";
    EXPECT_EQ(ageAfter(0, 1), 0xFFFFFFFFu) << "an unknown current time counts as a stamp from the future";
    EXPECT_EQ(ageAfter(1, 1), 0xFFFFFFFFu) << "two unknown times are no age of 0";
}

TEST_F(CallWindowLookupTest, PicksTheHighestQualifyingWindowForTheParticipant)
{
    struct Case {
        const char* what;
        const char16_t* participant;
        bool skipMinimized;
        std::vector<Listed> windows;  // below the main and notification windows
        int pick;                     // index into windows, -1: none
    };
    const std::u16string anruf = u"Microsoft Teams Anruf wird durchgef\u00FChrt";
    const Case cases[] = {
        {"name in other letter case", u"John Smith", true, {{u"Call with JOHN SMITH", Visible}}, 0},
        {"title without the space", u"John Smith", true, {{u"johnsmith", Visible}}, 0},
        {"title with two spaces", u"John Smith", true, {{u"Ann, John  Smith", Visible}}, 0},
        {"a '+' of the name itself (the URL escaped it)",
         u"A+B",
         true,
         {{u"AB | Microsoft Teams", Visible}, {u"A+B | Microsoft Teams", Visible}},
         1},
        {"other names are passed over",
         u"John Smith",
         true,
         {{u"Call with Ann Lee", Visible}, {u"John Smith (External)", Visible}},
         1},
        {"higher of two matches", u"John", true, {{u"John Smith", Visible}, {u"John Lee", Visible}}, 0},
        {"KVX takes the highest remaining window",
         u"KVX Queue 1",
         true,
         {{u"Microsoft Teams Call in progress", Visible}, {u"Anything", Visible}, {u"KVX Queue 1", Visible}},
         1},
        {"kvx in lower case is a name", u"kvx queue 1", true, {{u"Anything", Visible}}, -1},
        {"kvx in lower case matched by name",
         u"kvx queue 1",
         true,
         {{u"Anything", Visible}, {u"KVX Queue 1 - call", Visible}},
         1},
        {"null participant", nullptr, true, {{u"Anything", Visible}}, 0},
        {"empty participant", u"", true, {{u"Anything", Visible}}, 0},
        {"call in progress, any letter case",
         u"John Smith",
         true,
         {{u"MICROSOFT TEAMS CALL IN PROGRESS - John Smith", Visible}},
         -1},
        {"call in progress, for nobody",
         u"",
         true,
         {{u"Microsoft Teams Call in progress", Visible},
          {u"Microsoft Teams Appel en cours", Visible},
          {u"Microsoft Teams Gesprek gaande", Visible},
          {anruf + u" John Smith", Visible}},
         -1},
        {"shorter than a call-in-progress title", u"", true, {{u"Microsoft Teams Call", Visible}}, 0},
        {"New Window for a named participant", u"John Smith", true, {{u"New Window", Visible}}, 0},
        {"New Window below a matching window",
         u"John Smith",
         true,
         {{u"John Smith", Visible}, {u"New Window", Visible}},
         0},
        {"minimised passed over when skipping",
         u"John Smith",
         true,
         {{u"John Smith", Minimized}, {u"Call with John Smith", Visible}},
         1},
        {"minimised accepted when not skipping",
         u"John Smith",
         false,
         {{u"John Smith", Minimized}, {u"Call with John Smith", Visible}},
         0},
        {"hidden never", u"John Smith", false, {{u"John Smith", Hidden}}, -1},
        {"foreign never", u"John Smith", false, {{u"John Smith - Browser", Foreign}}, -1},
        {"spaces only: empty search text finds nothing", u"   ", true, {{u"Anything", Visible}}, -1},
        {"spaces only: New Window still taken", u"   ", true, {{u"Anything", Visible}, {u"New Window", Visible}}, 1},
        {"a name inside a longer one is passed over",
         u"Ann",
         true,
         {{u"Anna Berg | Microsoft Teams", Visible}, {u"Ann | Microsoft Teams", Visible}},
         1},
        {"Jean is not Jean-Luc", u"Jean", true, {{u"Jean-Luc Picard", Visible}}, -1},
        {"Ann is not Joanne", u"Ann", false, {{u"Call with Joanne Smith", Visible}}, -1},
        {"the next caller's pop-up is no call window",
         u"",
         true,
         {{u"Microsoft Teams Notification", Visible}, {u"Anything", Visible}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        const win::HWND main = window(u"Chat | Microsoft Teams");
        const win::HWND notification = window(u"John Smith");  // notified by exclusion, say
        const std::vector<win::HWND> handles = windows(c.windows);
        TestLog log;
        teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        scan.mainWindow = main;
        scan.notificationWindow = notification;
        scan.notificationMatch = teams::NotificationMatch::ByExclusion;
        const win::HWND expected = picked(handles, c.pick);
        EXPECT_EQ(teams::findCallWindow(scan, c.participant, c.skipMinimized), expected) << c.what;
    }
}

TEST_F(CallWindowLookupTest, ACallWindowTakenForTheMainWindowIsStillFoundByName)
{
    // Teams closed to the notification area: its main window is hidden, and
    // the one visible call window is what the scan took for the main window.
    struct Case {
        const char* what;
        const char16_t* participant;
        bool skipMinimized;
        bool minimized;
        bool otherMatch;  // a window the walk accepts itself
        bool found;
    };
    const Case cases[] = {
        {"named in its title", u"John Smith", false, false, false, true},
        {"named, but minimised while skipping", u"John Smith", true, true, false, false},
        {"named, minimised, not skipping", u"John Smith", false, true, false, true},
        {"someone else", u"Ann Lee", false, false, false, false},
        {"named only inside a longer name", u"Smit", false, false, false, false},
        {"no participant: the main window stays excluded", u"", false, false, false, false},
        {"KVX-marked: the main window stays excluded", u"KVX John Smith", false, false, false, false},
        {"the walk finds the participant's window first", u"John Smith", false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        window(u"Microsoft Teams Notification", Hidden);  // between calls
        window(u"Chat | Microsoft Teams", Hidden);
        const win::HWND call = window(u"Call with John Smith", c.minimized ? Minimized : Visible);
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        EXPECT_EQ(scan.mainWindow, call) << c.what;
        const win::HWND other = c.otherMatch ? window(u"John Smith (2)") : nullptr;
        const win::HWND expected = c.found ? call : other;
        EXPECT_EQ(teams::findCallWindow(scan, c.participant, c.skipMinimized), expected) << c.what;
    }
}

TEST_F(CallActionsTest, AnswerWithVisibleNotificationSendsTheShortcutAtOnceAndMinimisesTheCallWindow)
{
    const win::HWND notification = window(u"Microsoft Teams Notification");
    window(u"Chat | Microsoft Teams");
    inmemory::setForeground(notification);  // Teams has the focus: nothing to bring forward
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    const std::uint64_t start = inmemory::now();
    win::HWND call = nullptr;
    inmemory::onSendInput([&] { call = window(u"Call with John Smith"); });

    teams::answerCall(scan, u"John  Smith", teams::AnswerTurn{});

    EXPECT_EQ(logLines(log), (Lines{Waiting, FoundVisible, Detected, Keys, waitingFor(u"John  Smith"),
                                    minimizing(u"Call with John Smith")}));
    ASSERT_EQ(inmemory::sentInput().size(), 1u) << "the six events go in one call";
    // Each record as (key, scan code, flags, time, extra information).
    std::vector<std::array<std::uint64_t, 5>> keys;
    for (const win::KEYBDINPUT& r : inmemory::sentInput()[0].records) {
        keys.push_back({r.wVk, r.wScan, r.dwFlags, r.time, r.dwExtraInfo});
    }
    EXPECT_EQ(keys, (decltype(keys){{0xA0, 0, 0, 0, 0},
                                    {0xA2, 0, 0, 0, 0},
                                    {0x53, 0, 0, 0, 0},
                                    {0x53, 0, 2, 0, 0},
                                    {0xA2, 0, 2, 0, 0},
                                    {0xA0, 0, 2, 0, 0}}));
    EXPECT_EQ(inmemory::sentInput()[0].time, start);
    EXPECT_EQ(inmemory::postedMessages(),
              (std::vector<inmemory::PostedMessage>{{call, win::WM_SYSCOMMAND, win::SC_MINIMIZE, 0, start}}));
    EXPECT_EQ(inmemory::totalSleptMs(), 0u);
    EXPECT_TRUE(inmemory::windowMinimized(call));
    EXPECT_FALSE(inmemory::windowMinimized(notification));
}

TEST_F(CallActionsTest, AnswerNoticesTheNotificationAndTheCallWindowWithinAQuickLook)
{
    const win::HWND notification = window(u"Microsoft Teams Notification", Hidden);
    window(u"Chat | Microsoft Teams");
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    const std::uint64_t start = inmemory::now();
    inmemory::at(start + 1103 * Millisecond, [&] { inmemory::setWindowVisible(notification, true); });
    // Teams needs two seconds to open the call window after the keys.
    inmemory::onSendInput([&] { inmemory::at(inmemory::now() + 2003 * Millisecond, [&] { window(u"Ann Lee"); }); });

    teams::answerCall(scan, nullptr, teams::AnswerTurn{});

    EXPECT_EQ(logLines(log),
              (Lines{Waiting, FoundHidden, Detected, Bringing, Keys, waitingFor(u"(None)"), minimizing(u"Ann Lee")}));
    // Each wait looks again 20 ms after the last look.
    ASSERT_EQ(inmemory::sentInput().size(), 1u);
    EXPECT_EQ((inmemory::sentInput()[0].time - start) / Millisecond, 1120u);
    ASSERT_EQ(inmemory::postedMessages().size(), 1u);
    EXPECT_EQ((inmemory::postedMessages()[0].time - start) / Millisecond, 3140u);
}

TEST_F(CallActionsTest, TheNotificationWaitTakesAPopUpThatAppearsAndGivesUpAfterThirtySeconds)
{
    // Two seconds after the URL, Teams shows a pop-up of its own: the scan's
    // hidden one, or one it did not see (made per call, or the other
    // client's). Without one the wait ends after 30 seconds, by the clock.
    struct Case {
        const char* what;
        bool hiddenInScan;
        const char16_t* appears;  // title of a new visible window; null: none
        bool scansShows;          // the scan's hidden pop-up is shown
        Lines head;
    };
    const Case cases[] = {
        {"hidden all along", true, nullptr, false, {Waiting, FoundHidden, Aborted}},
        {"none, and none comes", false, nullptr, false, {Waiting, NoneFound, Aborted}},
        {"the scan's own pop-up shows", true, nullptr, true, {Waiting, FoundHidden, Detected}},
        {"a pop-up opens after the scan",
         false,
         u"Microsoft Teams Notification",
         false,
         {Waiting, NoneFound, u"appeared", Detected}},
        {"another pop-up shows beside the scan's hidden one",
         true,
         u"Microsoft Teams Notification",
         false,
         {Waiting, FoundHidden, u"appeared", Detected}},
        {"a pop-up of unknown title is the one window left",
         false,
         u"Incoming call",
         false,
         {Waiting, NoneFound, u"appeared", Detected}},
        {"a hidden title match still wins over the exclusion rule",
         true,
         u"Incoming call",
         false,
         {Waiting, FoundHidden, Aborted}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        inmemory::setForeground(window(u"Chat | Microsoft Teams"));
        const win::HWND scans = c.hiddenInScan ? window(u"Microsoft Teams Notification", Hidden) : nullptr;
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        const std::uint64_t start = inmemory::now();
        win::HWND popUp = scans;
        inmemory::at(start + 2000 * Millisecond, [&] {
            if (c.appears != nullptr) {
                popUp = inmemory::addWindow({u"Chrome_WidgetWin_1", c.appears, true, false, teams});
            }
            if (c.scansShows) {
                inmemory::setWindowVisible(scans, true);
            }
        });

        teams::answerCall(scan, u"John Smith", teams::AnswerTurn{});

        Lines lines = logLines(log);
        lines.resize(std::min(lines.size(), c.head.size()));
        Lines head = c.head;
        if (head.size() > 2 && head[2] == u"appeared") {
            head[2] = u"Teams call notification window " + hex(popUp) + u" appeared.\n";
        }
        EXPECT_EQ(lines, head) << c.what;
        if (head.back() == Detected) {
            EXPECT_EQ(inmemory::sentInput().size(), 1u) << c.what;
            EXPECT_EQ(inmemory::sentInput().empty() ? 0 : (inmemory::sentInput()[0].time - start) / Millisecond, 2000u);
            // No call window opens: the listing marks the window answered.
            const Lines all = logLines(log);
            const Line marked = u"Window " + hex(popUp) + u" main:0 callnotify:";
            EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](const Line& l) {
                return l.starts_with(marked) && !l.starts_with(marked + u"0");
            })) << c.what;
        } else {
            EXPECT_EQ(inmemory::totalSleptMs(), 30000u) << c.what;
            EXPECT_TRUE(inmemory::sentInput().empty()) << c.what;
        }
    }
}

TEST_F(CallActionsTest, AWaitCostsFewCallsWhateverTheDesktopHolds)
{
    // A window's class and image are read once per answer; quick looks walk
    // Teams' classes only, and a window that has turned visible is watched no
    // more. So a 30 s wait stays cheap on a desktop with Teams in the
    // notification area, beside a thousand browser windows, or beside more
    // windows than a snapshot holds.
    const auto otherWindows = [this](int n, const char16_t* className) {
        for (int i = 0; i < n; ++i) {
            inmemory::addWindowAtBottom({.className = className, .visible = false, .processId = browser});
        }
    };
    struct Case {
        const char* what;
        std::function<void()> arrange;  // the pop-up (hidden) is there already
        std::size_t maxCalls;           // layer calls of the whole answer
        std::size_t imageReads;
        std::size_t maxStateReads;
    };
    const Case cases[] = {
        {"Teams in the notification area, its main window restored 1 s in",
         [this] {
             const win::HWND main = window(u"Chat | Microsoft Teams", Hidden);
             for (int i = 0; i < 5; ++i) {
                 window(u"", Hidden);
             }
             inmemory::at(inmemory::now() + Second, [main] { inmemory::setWindowVisible(main, true); });
         },
         70'000, 7, 1'500},
        {"a thousand browser windows of the classic client's class",
         [&] { otherWindows(1'000, u"Chrome_WidgetWin_1"); }, 70'000, 1'001, 1'500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        window(u"Microsoft Teams Notification", Hidden);
        c.arrange();
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        const std::size_t before = inmemory::calls().size();
        const std::size_t imagesBefore = inmemory::callCount("readWindowImagePath");

        teams::answerCall(scan, u"John Smith", teams::AnswerTurn{});

        EXPECT_EQ(logLines(log).back(), Aborted) << c.what;
        EXPECT_LE(inmemory::calls().size() - before, c.maxCalls) << c.what;
        EXPECT_EQ(inmemory::callCount("readWindowImagePath") - imagesBefore, c.imageReads) << c.what;
        EXPECT_LE(inmemory::callCount("readWindowState"), c.maxStateReads) << c.what;
    }

    // More windows than a snapshot holds: the Teams windows are found by
    // class all the same, and a new call window is taken at once, not after
    // the seconds in which only new windows count.
    fresh();
    otherWindows(1'100, u"OtherProgram");
    inmemory::setForeground(window(u"Microsoft Teams Notification"));
    window(u"Chat | Microsoft Teams");
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    std::uint64_t keys = 0;
    inmemory::onSendInput([&] {
        keys = inmemory::now();
        inmemory::at(keys + 400 * Millisecond, [this] { window(u"Call with John Smith"); });
    });
    teams::answerCall(scan, u"John Smith", teams::AnswerTurn{});
    ASSERT_EQ(inmemory::postedMessages().size(), 1u);
    EXPECT_EQ((inmemory::postedMessages()[0].time - keys) / Millisecond, 400u);
}

TEST_F(CallActionsTest, AnswerMinimisesTheWindowThatOpenedForThisCall)
{
    // Windows visible before the keys (a chat popped out with the caller,
    // the main window showing a chat with them) are not the call window Teams
    // opens: for five seconds only a new window is; then an earlier one whose
    // title names the participant; the scan's main window last, once.
    enum Pick { None, Earlier, Main, Opened };
    struct Case {
        const char* what;
        const char16_t* participant;
        std::u16string earlier;  // a visible window besides the main one ("" none); "hidden:" shown 300 ms in
        std::u16string main;
        const char16_t* opens;  // 400 ms after the keys; null: nothing opens
        Pick pick;
        std::uint64_t atMs;  // after the keys
    };
    const Case cases[] = {
        {"a chat popped out with the caller", u"John Smith", u"Chat | John Smith | Microsoft Teams",
         u"Chat | Microsoft Teams", u"John Smith | Microsoft Teams", Opened, 400},
        {"no participant: not the other window open", u"", u"Calendar | Microsoft Teams", u"Chat | Microsoft Teams",
         u"Ann Lee", Opened, 400},
        {"the main window names the caller", u"John Smith", u"", u"Chat | John Smith | Microsoft Teams",
         u"John Smith | Microsoft Teams", Opened, 400},
        {"a window hidden before the keys is new, and watched", u"John Smith", u"hidden:John Smith", u"Chat", nullptr,
         Earlier, 300},
        {"a call shown in a window open before", u"John Smith", u"John Smith | Microsoft Teams",
         u"Chat | Microsoft Teams", nullptr, Earlier, 5000},
        {"an earlier window is not taken as New Window", u"John Smith", u"New Window", u"Chat | Microsoft Teams",
         nullptr, None, 0},
        {"an earlier window is not taken for no participant", u"", u"Anything", u"Chat | Microsoft Teams", nullptr,
         None, 0},
        {"the main window naming the caller, last", u"John Smith", u"", u"Chat | John Smith | Microsoft Teams", nullptr,
         Main, 30000},
        {"never a main window in a call", u"John Smith", u"", u"Microsoft Teams Call in progress - John Smith", nullptr,
         None, 0},
        {"a chat with a longer name is not the caller's", u"Ann", u"Anna Berg | Microsoft Teams",
         u"Chat | Microsoft Teams", nullptr, None, 0},
        {"a new window naming the caller inside a longer name is theirs", u"Ann", u"", u"Chat | Microsoft Teams",
         u"Anna-Lena | Microsoft Teams", Opened, 400},
        {"the next caller's pop-up is no call window", u"KVX Queue 1", u"", u"Chat | Microsoft Teams",
         u"Microsoft Teams Notification", None, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        inmemory::setForeground(window(u"Microsoft Teams Notification"));
        const win::HWND main = window(c.main);
        const bool hiddenEarlier = c.earlier.starts_with(u"hidden:");
        const win::HWND earlier =
            c.earlier.empty() ? nullptr
                              : window(c.earlier.substr(hiddenEarlier ? 7 : 0), hiddenEarlier ? Hidden : Visible);
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        win::HWND opened = nullptr;
        std::uint64_t keys = 0;
        inmemory::onSendInput([&] {
            keys = inmemory::now();
            if (c.opens != nullptr) {
                inmemory::at(keys + 400 * Millisecond, [&] { opened = window(c.opens); });
            }
            if (hiddenEarlier) {
                inmemory::at(keys + 300 * Millisecond, [&] { inmemory::setWindowVisible(earlier, true); });
            }
        });

        teams::answerCall(scan, c.participant, teams::AnswerTurn{});

        const win::HWND picks[] = {nullptr, earlier, main, opened};
        const auto& posted = inmemory::postedMessages();
        EXPECT_EQ(posted.size(), c.pick == None ? 0u : 1u) << c.what;
        if (c.pick != None && posted.size() == 1) {
            EXPECT_EQ(posted[0].window, picks[c.pick]) << c.what;
            EXPECT_EQ((posted[0].time - keys) / Millisecond, c.atMs) << c.what;
        }
    }
}

TEST_F(CallActionsTest, WalksByClassCutShortGiveWayToTheWholeDesktop)
{
    // Windows of Teams' class going as the walks pass them (a browser's
    // tooltips) cut every walk short. Below the break a walk sees nothing:
    // the scan would miss the pop-up, and the caller's window open before
    // the keys would pass for the one Teams opens for this call.
    inmemory::failCall("addWindowsOfClass", win::ERROR_INVALID_HANDLE, 1, -1);
    window(u"Inbox - Browser", Foreign);
    const win::HWND notification = window(u"Microsoft Teams Notification");
    const win::HWND earlier = window(u"John Smith | Microsoft Teams");
    window(u"Chat | Microsoft Teams");
    inmemory::setForeground(notification);
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    EXPECT_EQ(scan.notificationWindow, notification);
    std::uint64_t keys = 0;
    inmemory::onSendInput([&] { keys = inmemory::now(); });

    teams::answerCall(scan, u"John Smith", teams::AnswerTurn{});

    ASSERT_EQ(inmemory::postedMessages().size(), 1u);
    EXPECT_EQ(inmemory::postedMessages()[0].window, earlier);
    EXPECT_EQ((inmemory::postedMessages()[0].time - keys) / Millisecond, 5000u) << "an earlier window waits 5 s";
}

TEST_F(CallActionsTest, AnswerListsTheWindowsWhenNoCallWindowOpens)
{
    const win::HWND notification = window(u"Microsoft Teams Notification");
    const win::HWND main = window(u"Chat | Microsoft Teams");
    inmemory::setForeground(main);
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    // Minimised by an earlier answer: not this call's window.
    const win::HWND earlier = window(u"John Smith", Minimized);

    teams::answerCall(scan, u"John Smith", teams::AnswerTurn{});

    EXPECT_EQ(logLines(log),
              (Lines{Waiting, FoundVisible, Detected, Keys, waitingFor(u"John Smith"),
                     u"Wait aborted, no call window detected.\n", text("enumerating"),
                     u"Window " + hex(notification) +
                         u" main:0 callnotify:1 visible:1, minimized:0 [Microsoft Teams Notification]\n",
                     u"Window " + hex(main) + u" main:1 callnotify:0 visible:1, minimized:0 [Chat | Microsoft Teams]\n",
                     u"Window " + hex(earlier) + u" main:0 callnotify:0 visible:1, minimized:1 [John Smith]\n"}));
    EXPECT_EQ(inmemory::totalSleptMs(), 30000u);
    EXPECT_EQ(inmemory::sentInput().size(), 1u);
    EXPECT_TRUE(inmemory::postedMessages().empty());
}

TEST_F(CallActionsTest, AnswersTakeTurnsAndEachCallIsAnsweredOnce)
{
    // Whole runs of the program: a double click, a repeated URL, another
    // caller's answer still running, the locks of the session missing.
    const std::u16string AnswerLock = u"Local\\Velmorathis.Mirrowcast.Answer";
    const std::u16string JohnsLock = AnswerLock + u".96CD79DE439126CF";  // "johnsmith": FNV-1a of its units
    const std::u16string Waiting = AnswerLock + u".Waiting";
    const auto answered = [](std::uint64_t msAgo, const std::u16string& who) {
        const std::uint64_t tick = inmemory::now() / 10'000 - msAgo;
        const std::string digits = std::to_string(tick);
        inmemory::setMultiStringValue(CacheKey, u"RecentAnswers",
                                      {std::u16string(digits.begin(), digits.end()) + u" " + who});
    };
    const auto inSeconds = [](std::uint64_t seconds, std::function<void()> action) {
        inmemory::at(inmemory::now() + seconds * Second, std::move(action));
    };
    struct Case {
        const char* what;
        std::u16string participant;  // as the URL holds it
        std::function<void(win::HWND popUp)> arrange;
        Line says;  // the run's last line
        bool keys;
        Line before = u"";  // a line the run says before it
    };
    const Line minimized = minimizing(u"Call with John Smith");
    const Case cases[] = {
        {"nothing else runs", u"John%20Smith", [](win::HWND) {}, minimized, true},
        {"a double click: this caller's answer runs", u"JOHN+smith", [&](win::HWND) { inmemory::holdMutex(JohnsLock); },
         u"An answer for \"JOHN+smith\" is already running; nothing done.\n", false},
        {"another caller's answer ends 2 s later", u"John%20Smith",
         [&](win::HWND) {
             inmemory::holdMutex(AnswerLock);
             inSeconds(2, [&] { inmemory::releaseHeldMutex(AnswerLock); });
         },
         minimized, true, u"Waiting for another answer to end...\n"},
        {"the pop-up shows only a while after the turn came: another caller's", u"John%20Smith",
         [&](win::HWND popUp) {
             inmemory::holdMutex(AnswerLock);
             inmemory::setWindowVisible(popUp, false);
             inSeconds(2, [&] { inmemory::releaseHeldMutex(AnswerLock); });
             inSeconds(4, [popUp] { inmemory::setWindowVisible(popUp, true); });
         },
         Aborted, false},
        {"another caller's answer runs on", u"John%20Smith", [&](win::HWND) { inmemory::holdMutex(AnswerLock); },
         u"Another answer is still running; nothing done.\n", false},
        {"the locks cannot be had", u"John%20Smith",
         [](win::HWND) { inmemory::failCall("openSessionMutex", win::ERROR_ACCESS_DENIED, 1, -1); }, minimized, true,
         u"Answer lock unavailable (error 5).\n"},
        {"this caller answered 10 s ago", u"John%20Smith", [&](win::HWND) { answered(10'000, u"johnsmith"); },
         u"An answer for \"John Smith\" was sent 10000 ms ago; nothing done.\n", false},
        {"this caller answered 36 s ago", u"John%20Smith", [&](win::HWND) { answered(36'000, u"johnsmith"); },
         minimized, true},
        {"another caller answered 10 s ago", u"John%20Smith", [&](win::HWND) { answered(10'000, u"annlee"); },
         minimized, true},
        {"a queue's call of 2 s ago", u"KVX%20Queue%201", [&](win::HWND) { answered(2'000, u"kvxqueue1"); },
         u"An answer for \"KVX Queue 1\" was sent 2000 ms ago; nothing done.\n", false},
        {"a queue's call of 4 s ago", u"KVX%20Queue%201", [&](win::HWND) { answered(4'000, u"kvxqueue1"); },
         minimizing(u"Call with John Smith"), true},
        {"no participant, 2 s ago", u"", [&](win::HWND) { answered(2'000, u""); },
         u"An answer for \"(None)\" was sent 2000 ms ago; nothing done.\n", false},
        {"another answer waits while this one waits for its call window", u"Ann%20Lee",
         [&](win::HWND) { inmemory::onSendInput([&] { inSeconds(1, [&] { inmemory::setSessionEvent(Waiting); }); }); },
         u"Another answer is waiting; call window not minimised.\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        const win::HWND popUp = window(u"Microsoft Teams Notification");
        window(u"Chat | Microsoft Teams");
        inmemory::setForeground(popUp);
        inmemory::onSendInput([&] { window(u"Call with John Smith"); });
        c.arrange(popUp);

        const ProgramRun run =
            runProgramOnDouble(u"Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=" + c.participant);

        const std::vector<std::u16string> entries = logEntries(run.logText);
        EXPECT_EQ(entries.back(), c.says) << c.what;
        EXPECT_EQ(inmemory::sentInput().size(), c.keys ? 1u : 0u) << c.what;
        if (!c.before.empty()) {
            EXPECT_EQ(std::count(entries.begin(), entries.end(), c.before), 1) << c.what;
        }
        const bool nothingDone = c.says.ends_with(u"nothing done.\n");
        EXPECT_EQ(inmemory::callCount("takeWindowSnapshot") == 0, nothingDone) << c.what << ": nothing scanned";
        EXPECT_FALSE(inmemory::holdsMutex(AnswerLock) || inmemory::holdsMutex(JohnsLock)) << c.what;
        EXPECT_EQ(inmemory::openHandleCount(), 0u) << c.what;
    }

    // The keys leave the caller behind them, beside the others of the last
    // 35 s, newest first.
    fresh();
    inmemory::setForeground(window(u"Microsoft Teams Notification"));
    answered(10'000, u"annlee");
    const std::uint64_t now = inmemory::now() / 10'000;
    runProgramOnDouble(u"Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=John+Smith");
    const std::string stamps[] = {std::to_string(now), std::to_string(now - 10'000)};
    EXPECT_EQ(inmemory::valueBytes(CacheKey, u"RecentAnswers"),
              inmemory::utf16Bytes(std::u16string(stamps[0].begin(), stamps[0].end()) + u" johnsmith" + u'\0' +
                                   std::u16string(stamps[1].begin(), stamps[1].end()) + u" annlee" + u'\0' + u'\0'));
}

TEST_F(CallActionsTest, KeysGoToTeamsOrNotAtAllAndFailuresAreSaid)
{
    // The attendant clicked in the browser: it has the focus, and the keys
    // must not land there; nor in the other Teams client, which does not ring;
    // nor anywhere once the pop-up or the foreground has gone, or another run
    // answered the caller, while the run wrote its line before the keys; nor
    // into a call that is not this one's when two ring.
    win::HWND popUp = nullptr;
    win::HWND browser = nullptr;
    win::HWND johns = nullptr;
    const auto twoNamedPopUps = [&] {
        inmemory::setMultiStringValue(PolicyKey, u"NotificationTitles", {u"Incoming call from"});
        window(u"Incoming call from Ann Lee");
        johns = window(u"Incoming call from John Smith");
    };
    struct Case {
        const char* what;
        std::function<void()> arrange;
        Lines tail;  // the log from "Active call notification window detected!" on
        bool keys;
        bool minimised;
        const win::HWND* keysTo = nullptr;   // the window that must have the foreground at the keys
        std::uint64_t foregroundLateMs = 0;  // how long after the request the foreground comes
    };
    const Case cases[] = {
        {"the notification is brought forward first",
         [] {},
         {Detected, Bringing, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith")},
         true,
         true,
         &popUp},
        {"Windows refuses the foreground",
         [] { inmemory::refuseForeground(); },
         {Detected, Bringing, NotBrought},
         false,
         false},
        {"the ringing client is busy and takes the activation 2.5 s late",
         [&] {
             inmemory::refuseForeground();
             inmemory::at(inmemory::now() + 2'500 * 10'000, [&] { inmemory::setForeground(popUp); });
         },
         {Detected, Bringing, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith")},
         true,
         true,
         &popUp,
         2'500},
        {"the other client has it, and Windows refuses",
         [this] {
             inmemory::setForeground(inmemory::addWindow(
                 {u"TeamsWebView", u"Chat | Microsoft Teams", true, false, inmemory::addProcess(TodaysImage)}));
             inmemory::refuseForeground();
         },
         {Detected, Bringing, NotBrought},
         false,
         false},
        {"the ringing client has it in another window",
         [this] { inmemory::setForeground(main); },
         {Detected, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith")},
         true,
         true,
         &main},
        {"the keys are blocked",
         [] { inmemory::failCall("sendKeys", win::ERROR_ACCESS_DENIED); },
         {Detected, Bringing, Keys, u"Sending keys failed (0 of 6 sent, error 5).\n"},
         false,
         false},
        {"the minimise cannot be posted",
         [] { inmemory::failCall("postSystemCommand", win::ERROR_ACCESS_DENIED); },
         {Detected, Bringing, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith"),
          u"Posting window command failed (error 5).\n"},
         true,
         false},
        {"the pop-up closes while the line before the keys is written",
         [&] { inmemory::afterWriting(Keys, [&] { inmemory::setWindowVisible(popUp, false); }); },
         {Detected, Bringing, Keys,
          u"Teams call notification window closed before the keys were sent; keys not sent.\n"},
         false,
         false},
        {"the foreground goes back to the browser meanwhile",
         [&] { inmemory::afterWriting(Keys, [&] { inmemory::setForeground(browser); }); },
         {Detected, Bringing, Keys, u"Teams lost the foreground before the keys were sent; keys not sent.\n"},
         false,
         false},
        {"another run answers this caller meanwhile",
         [&] {
             inmemory::afterWriting(Keys, [] {
                 const std::string tick = std::to_string(inmemory::now() / 10'000);
                 inmemory::setMultiStringValue(CacheKey, u"RecentAnswers",
                                               {std::u16string(tick.begin(), tick.end()) + u" johnsmith"});
             });
         },
         {Detected, Bringing, Keys, u"An answer for \"John Smith\" was sent 0 ms ago; nothing done.\n"},
         false,
         false},
        {"two pop-ups ring and neither names the caller",
         [&] { window(u"Microsoft Teams Notification"); },
         {Detected,
          u"2 Teams call notification windows are showing; none is known to be \"John Smith\"'s; "
          u"keys not sent.\n"},
         false,
         false},
        {"pop-ups that name their callers: the caller's gets the keys",
         twoNamedPopUps,
         {Detected, Bringing, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith")},
         true,
         true,
         &johns},
        {"the caller's pop-up, but another window of its client has the foreground",
         [&] {
             twoNamedPopUps();
             inmemory::setForeground(main);
             inmemory::refuseForeground();
         },
         {Detected, Bringing, NotBrought},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        popUp = window(u"Microsoft Teams Notification");
        main = window(u"Chat | Microsoft Teams");
        browser = window(u"Attendant - Browser", Foreign);
        inmemory::setForeground(browser);
        c.arrange();
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
        win::HWND call = nullptr;
        win::HWND foregroundAtKeys = nullptr;
        inmemory::onSendInput([&] {
            foregroundAtKeys = win::foregroundWindow();
            call = window(u"John Smith");
        });
        const std::uint64_t before = inmemory::totalSleptMs();
        teams::AnswerTurn turn;
        EXPECT_TRUE(turn.take(log, u"John Smith"));

        teams::answerCall(scan, u"John Smith", turn);

        const Lines lines = logLines(log);
        const std::size_t tail = std::min(lines.size(), c.tail.size());
        EXPECT_EQ(Lines(lines.end() - static_cast<std::ptrdiff_t>(tail), lines.end()), c.tail);
        EXPECT_EQ(inmemory::sentInput().size(), c.keys ? 1u : 0u) << c.what;
        EXPECT_EQ(call != nullptr && inmemory::windowMinimized(call), c.minimised) << c.what;
        if (c.keysTo != nullptr) {
            EXPECT_EQ(foregroundAtKeys, *c.keysTo) << c.what;
        }
        // Refused, the foreground is looked at for three seconds and no more;
        // granted, for as long as it took to come.
        EXPECT_EQ(inmemory::totalSleptMs() - before, c.tail.back() == NotBrought ? 3'000u : c.foregroundLateMs);
    }
}

TEST_F(CallActionsTest, CloseFindsTheParticipantsWindowOnceEvenWhenMinimised)
{
    window(u"Microsoft Teams Notification", Hidden);
    window(u"Chat | Microsoft Teams");
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    window(u"Call with John Smithson");  // said once, passed over
    const win::HWND call = window(u"Call with John Smith", Minimized);

    teams::closeCallWindow(scan, u"John Smith");

    EXPECT_EQ(logLines(log),
              (Lines{u"Closing call window for participant \"John Smith\"...\n",
                     u"Window \"Call with John Smithson\" names \"John Smith\" only inside a longer name; not taken.\n",
                     u"Sending Close command to window \"Call with John Smith\"...\n"}));
    EXPECT_EQ(inmemory::postedMessages(),
              (std::vector<inmemory::PostedMessage>{{call, win::WM_SYSCOMMAND, win::SC_CLOSE, 0, inmemory::now()}}));
    EXPECT_FALSE(inmemory::windowExists(call));
    EXPECT_EQ(inmemory::callCount("pause"), 0u);
}

TEST_F(CallActionsTest, CloseWithoutACallWindowListsAtOnce)
{
    const char16_t* const participants[] = {nullptr, u""};
    for (const char16_t* participant : participants) {
        fresh();
        const win::HWND main = window(u"Chat | Microsoft Teams");
        TestLog log;
        const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);

        teams::closeCallWindow(scan, participant);

        EXPECT_EQ(logLines(log),
                  (Lines{u"Closing call window for participant \"(None)\"...\n", u"Teams call window not found\n",
                         text("enumerating"),
                         u"Window " + hex(main) +
                             u" main:1 callnotify:0 visible:1, minimized:0 [Chat | Microsoft Teams]\n"}));
        EXPECT_TRUE(inmemory::postedMessages().empty());
        EXPECT_EQ(inmemory::callCount("pause"), 0u);
    }
}

TEST_F(CallActionsTest, ListingMarksTheScansFindingsAndReadsTheRestLive)
{
    window(u"Inbox - Browser", Foreign);
    const win::HWND candidate = window(u"", Hidden);
    const win::HWND main = window(u"Chat | Microsoft Teams", Hidden);
    const win::HWND bare = window(u"Teams");
    const win::HWND other = window(u"Meeting with Ann | Microsoft Teams");
    rememberMainWindow(main, inmemory::now());
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    ASSERT_EQ(scan.mainFromCache, 1);
    inmemory::setWindowMinimized(other, true);

    teams::listTeamsWindows(scan);

    EXPECT_EQ(logLines(log),
              (Lines{
                  u"Call notification " + hex(candidate) + u" found by exclusion\n",
                  text("enumerating"),
                  u"Window " + hex(candidate) + u" main:0 callnotify:3 visible:0, minimized:0 []\n",
                  u"Window " + hex(main) + u" main:2 callnotify:0 visible:0, minimized:0 [Chat | Microsoft Teams]\n",
                  u"Window " + hex(bare) + u" main:0 callnotify:0 visible:1, minimized:0 [Teams]\n",
                  u"Window " + hex(other) +
                      u" main:0 callnotify:0 visible:1, minimized:1 [Meeting with Ann | Microsoft Teams]\n",
              }));
}

TEST_F(CallActionsTest, AWindowThatGoesWhileItIsLookedAtIsPassedOverOrShowsNoTitle)
{
    const win::HWND notification = window(u"Microsoft Teams Notification");
    const win::HWND main = window(u"Chat | Microsoft Teams");
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    const win::HWND call = window(u"Call with John Smith");
    // Teams closes the window between the program finding it and reading its
    // title: the title read fails.
    inmemory::beforeCall(
        "readWindowFacts", [call] { inmemory::destroyWindow(call); }, 2);
    teams::closeCallWindow(scan, u"John Smith");
    // The main window goes after the listing's snapshot was taken: the
    // listing passes over it and goes on below it.
    inmemory::beforeCall(
        "readWindowFacts", [main] { inmemory::destroyWindow(main); }, 2);
    teams::listTeamsWindows(scan);

    const Lines lines = logLines(log);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], u"Sending Close command to window \"\"...\n");
    EXPECT_EQ(lines[2], u"Posting window command failed (error 1400).\n") << "the window has gone";
    EXPECT_EQ(lines[4], u"Window " + hex(notification) +
                            u" main:0 callnotify:1 visible:1, minimized:0 [Microsoft Teams Notification]\n");
}

TEST_F(CallActionsTest, ListingWithoutTeamsSaysSoAlone)
{
    window(u"Microsoft Teams Notification", Foreign);
    TestLog log;
    const teams::TeamsWindowScan scan = teams::scanTeamsWindows(log);
    teams::listTeamsWindows(scan);
    EXPECT_EQ(logLines(log), Lines{u"Teams desktop application not found.\n"});
}
