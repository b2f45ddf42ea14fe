// Finding a participant's call window, and the answer, close and list actions
// as the log and Teams see them: what is written, what keys go in, what is
// posted and when, on the stand-in's clock (the waits take no real time).
#include <algorithm>
#include <array>
#include <functional>
#include "teams/teams_window_scan.h"
#include "teams_desktop.h"

using namespace teams_test;

namespace {

constexpr std::uint64_t Millisecond = inmemory::TicksPerSecond / 1000;

using Line = std::u16string;
using Lines = std::vector<Line>;

// What the answer says, as support staff read it.
const Line Waiting = u"Waiting for Teams call notification window to popup...\n";
const Line FoundVisible = u"Teams call notification window found (visible).\n";
const Line FoundHidden = u"Teams call notification window found (not visible).\n";
const Line NoneFound = u"Teams call notification window not found.\n";
const Line Detected = u"Active call notification window detected!\n";
const Line Aborted = u"Wait aborted, no active call detected.\n";
const Line Bringing = u"Bringing Teams call notification window to the foreground...\n";
const Line NotBrought = u"Teams call notification window could not be brought to the foreground, keys not sent.\n";
const Line Keys = u"Sending 'Shift-Ctrl-S'\n";
Line waitingFor(const Line& who) { return u"Waiting for call window for participant \"" + who + u"\"...\n"; }
Line minimizing(const Line& title) { return u"Minimizing call window \"" + title + u"\"...\n"; }

class CallWindowLookupTest : public TeamsDesktop {};
class CallActionsTest : public TeamsDesktop {
protected:
    win::HWND main = nullptr;
};

const std::u16string TodaysImage = u"\\Device\\HarddiskVolume3\\Program Files\\WindowsApps\\MSTeams\\ms-teams.exe";

}  // namespace

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
        {"'+' of a form-encoded name is a space", u"John+Smith", true, {{u"John Smith | Microsoft Teams", Visible}}, 0},
        {"other names are passed over", u"John Smith", true,
         {{u"Call with Ann Lee", Visible}, {u"John Smith (External)", Visible}}, 1},
        {"higher of two matches", u"John", true, {{u"John Smith", Visible}, {u"John Lee", Visible}}, 0},
        {"KVX takes the highest remaining window", u"KVX Queue 1", true,
         {{u"Microsoft Teams Call in progress", Visible}, {u"Anything", Visible}, {u"KVX Queue 1", Visible}}, 1},
        {"kvx in lower case is a name", u"kvx queue 1", true, {{u"Anything", Visible}}, -1},
        {"kvx in lower case matched by name", u"kvx queue 1", true,
         {{u"Anything", Visible}, {u"KVX Queue 1 - call", Visible}}, 1},
        {"null participant", nullptr, true, {{u"Anything", Visible}}, 0},
        {"empty participant", u"", true, {{u"Anything", Visible}}, 0},
        {"call in progress, any letter case", u"John Smith", true,
         {{u"MICROSOFT TEAMS CALL IN PROGRESS - John Smith", Visible}}, -1},
        {"call in progress, for nobody", u"", true,
         {{u"Microsoft Teams Call in progress", Visible}, {u"Microsoft Teams Appel en cours", Visible},
          {u"Microsoft Teams Gesprek gaande", Visible}, {anruf + u" John Smith", Visible}},
         -1},
        {"shorter than a call-in-progress title", u"", true, {{u"Microsoft Teams Call", Visible}}, 0},
        {"New Window for a named participant", u"John Smith", true, {{u"New Window", Visible}}, 0},
        {"New Window below a matching window", u"John Smith", true,
         {{u"John Smith", Visible}, {u"New Window", Visible}}, 0},
        {"minimised passed over when skipping", u"John Smith", true,
         {{u"John Smith", Minimized}, {u"Call with John Smith", Visible}}, 1},
        {"minimised accepted when not skipping", u"John Smith", false,
         {{u"John Smith", Minimized}, {u"Call with John Smith", Visible}}, 0},
        {"hidden never", u"John Smith", false, {{u"John Smith", Hidden}}, -1},
        {"foreign never", u"John Smith", false, {{u"John Smith - Browser", Foreign}}, -1},
        {"spaces only: empty search text finds nothing", u"   ", true, {{u"Anything", Visible}}, -1},
        {"spaces only: New Window still taken", u"   ", true, {{u"Anything", Visible}, {u"New Window", Visible}}, 1},
    };
    for (const Case& c : cases) {
        SetUp();
        const win::HWND main = window(u"Chat | Microsoft Teams");
        const win::HWND notification = window(u"John Smith");  // notified by exclusion, say
        const std::vector<win::HWND> handles = windows(c.windows);
        TestLog log;
        TeamsWindowScan scan = scanTeamsWindows(log);
        scan.mainWindow = main;
        scan.notificationWindow = notification;
        scan.notificationMatch = NotificationMatch::ByExclusion;
        const win::HWND expected = picked(handles, c.pick);
        EXPECT_EQ(findCallWindow(scan, c.participant, c.skipMinimized), expected) << c.what;
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
        {"no participant: the main window stays excluded", u"", false, false, false, false},
        {"KVX-marked: the main window stays excluded", u"KVX John Smith", false, false, false, false},
        {"the walk finds the participant's window first", u"John Smith", false, false, true, false},
    };
    for (const Case& c : cases) {
        SetUp();
        window(u"Microsoft Teams Notification", Hidden);  // between calls
        window(u"Chat | Microsoft Teams", Hidden);
        const win::HWND call = window(u"Call with John Smith", c.minimized ? Minimized : Visible);
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);
        ASSERT_EQ(scan.mainWindow, call) << c.what;
        const win::HWND other = c.otherMatch ? window(u"John Smith (2)") : nullptr;
        const win::HWND expected = c.found ? call : other;
        EXPECT_EQ(findCallWindow(scan, c.participant, c.skipMinimized), expected) << c.what;
    }
}

TEST_F(CallActionsTest, AnswerWithVisibleNotificationSendsTheShortcutAtOnceAndMinimisesTheCallWindow)
{
    const win::HWND notification = window(u"Microsoft Teams Notification");
    window(u"Chat | Microsoft Teams");
    inmemory::setForeground(notification);  // Teams has the focus: nothing to bring forward
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    const std::uint64_t start = inmemory::now();
    win::HWND call = nullptr;
    inmemory::onSendInput([&] { call = window(u"Call with John Smith"); });

    answerCall(scan, u"John  Smith");

    EXPECT_EQ(logLines(log), (Lines{Waiting, FoundVisible, Detected, Keys, waitingFor(u"John  Smith"),
                                    minimizing(u"Call with John Smith")}));
    ASSERT_EQ(inmemory::sentInput().size(), 1u) << "the six events go in one call";
    // Each record as (key, scan code, flags, time, extra information).
    std::vector<std::array<std::uint64_t, 5>> keys;
    for (const win::KEYBDINPUT& r : inmemory::sentInput()[0].records) {
        keys.push_back({r.wVk, r.wScan, r.dwFlags, r.time, r.dwExtraInfo});
    }
    EXPECT_EQ(keys, (decltype(keys){{0xA0, 0, 0, 0, 0}, {0xA2, 0, 0, 0, 0}, {0x53, 0, 0, 0, 0}, {0x53, 0, 2, 0, 0},
                                    {0xA2, 0, 2, 0, 0}, {0xA0, 0, 2, 0, 0}}));
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
    const TeamsWindowScan scan = scanTeamsWindows(log);
    const std::uint64_t start = inmemory::now();
    inmemory::at(start + 1103 * Millisecond, [&] { inmemory::setWindowVisible(notification, true); });
    // Teams needs two seconds to open the call window after the keys.
    inmemory::onSendInput([&] {
        inmemory::at(inmemory::now() + 2003 * Millisecond, [&] { window(u"Ann Lee"); });
    });

    answerCall(scan, nullptr);

    EXPECT_EQ(logLines(log), (Lines{Waiting, FoundHidden, Detected, Bringing, Keys, waitingFor(u"(None)"),
                                    minimizing(u"Ann Lee")}));
    // Each wait looks again 10 ms after the last look.
    ASSERT_EQ(inmemory::sentInput().size(), 1u);
    EXPECT_EQ(inmemory::sentInput()[0].time, start + 1110 * Millisecond);
    ASSERT_EQ(inmemory::postedMessages().size(), 1u);
    EXPECT_EQ(inmemory::postedMessages()[0].time, start + 3120 * Millisecond);
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
        {"a pop-up opens after the scan", false, u"Microsoft Teams Notification", false,
         {Waiting, NoneFound, u"appeared", Detected}},
        {"another pop-up shows beside the scan's hidden one", true, u"Microsoft Teams Notification", false,
         {Waiting, FoundHidden, u"appeared", Detected}},
        {"a pop-up of unknown title is the one window left", false, u"Incoming call", false,
         {Waiting, NoneFound, u"appeared", Detected}},
        {"a hidden title match still wins over the exclusion rule", true, u"Incoming call", false,
         {Waiting, FoundHidden, Aborted}},
    };
    for (const Case& c : cases) {
        SetUp();
        inmemory::setForeground(window(u"Chat | Microsoft Teams"));
        const win::HWND scans = c.hiddenInScan ? window(u"Microsoft Teams Notification", Hidden) : nullptr;
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);
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

        answerCall(scan, u"John Smith");

        Lines lines = logLines(log);
        lines.resize(std::min(lines.size(), c.head.size()));
        Lines head = c.head;
        if (head.size() > 2 && head[2] == u"appeared") {
            head[2] = u"Teams call notification window " + hex(popUp) + u" appeared.\n";
        }
        EXPECT_EQ(lines, head) << c.what;
        if (head.back() == Detected) {
            ASSERT_EQ(inmemory::sentInput().size(), 1u) << c.what;
            EXPECT_EQ(inmemory::sentInput()[0].time, start + 2000 * Millisecond) << c.what;
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
        {"a window hidden before the keys counts as new", u"John Smith", u"hidden:John Smith", u"Chat", nullptr,
         Earlier, 500},
        {"a call shown in a window open before", u"John Smith", u"John Smith | Microsoft Teams",
         u"Chat | Microsoft Teams", nullptr, Earlier, 5000},
        {"an earlier window is not taken as New Window", u"John Smith", u"New Window", u"Chat | Microsoft Teams",
         nullptr, None, 0},
        {"an earlier window is not taken for no participant", u"", u"Anything", u"Chat | Microsoft Teams", nullptr,
         None, 0},
        {"the main window naming the caller, last", u"John Smith", u"", u"Chat | John Smith | Microsoft Teams",
         nullptr, Main, 30000},
        {"never a main window in a call", u"John Smith", u"", u"Microsoft Teams Call in progress - John Smith",
         nullptr, None, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        inmemory::setForeground(window(u"Microsoft Teams Notification"));
        const win::HWND main = window(c.main);
        const bool hiddenEarlier = c.earlier.starts_with(u"hidden:");
        const win::HWND earlier =
            c.earlier.empty() ? nullptr : window(c.earlier.substr(hiddenEarlier ? 7 : 0), hiddenEarlier ? Hidden : Visible);
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);
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

        answerCall(scan, c.participant);

        const win::HWND picks[] = {nullptr, earlier, main, opened};
        const auto& posted = inmemory::postedMessages();
        ASSERT_EQ(posted.size(), c.pick == None ? 0u : 1u) << c.what;
        if (c.pick != None) {
            EXPECT_EQ(posted[0].window, picks[c.pick]) << c.what;
            EXPECT_EQ(posted[0].time - keys, c.atMs * Millisecond) << c.what;
        }
    }
}

TEST_F(CallActionsTest, AnswerListsTheWindowsWhenNoCallWindowOpens)
{
    const win::HWND notification = window(u"Microsoft Teams Notification");
    const win::HWND main = window(u"Chat | Microsoft Teams");
    inmemory::setForeground(main);
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    // Minimised by an earlier answer: not this call's window.
    const win::HWND earlier = window(u"John Smith", Minimized);

    answerCall(scan, u"John Smith");

    EXPECT_EQ(logLines(log),
              (Lines{Waiting, FoundVisible, Detected, Keys, waitingFor(u"John Smith"),
                     u"Wait aborted, no call window detected.\n", u"Enumerating Teams windows\n",
                     u"Window " + hex(notification) +
                         u" main:0 callnotify:1 visible:1, minimized:0 [Microsoft Teams Notification]\n",
                     u"Window " + hex(main) + u" main:1 callnotify:0 visible:1, minimized:0 [Chat | Microsoft Teams]\n",
                     u"Window " + hex(earlier) + u" main:0 callnotify:0 visible:1, minimized:1 [John Smith]\n"}));
    EXPECT_EQ(inmemory::totalSleptMs(), 30000u);
    EXPECT_EQ(inmemory::sentInput().size(), 1u);
    EXPECT_TRUE(inmemory::postedMessages().empty());
}

TEST_F(CallActionsTest, KeysGoToTeamsOrNotAtAllAndFailuresAreSaid)
{
    // The attendant clicked in the browser: it has the focus, and the keys
    // must not land there; nor in the other Teams client, which does not ring.
    struct Case {
        const char* what;
        std::function<void()> arrange;
        Lines tail;  // the log from "Active call notification window detected!" on
        bool keys;
        bool minimised;
    };
    const Case cases[] = {
        {"the notification is brought forward first", [] {},
         {Detected, Bringing, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith")}, true, true},
        {"Windows refuses the foreground", [] { inmemory::refuseForeground(); }, {Detected, Bringing, NotBrought},
         false, false},
        {"the other client has it, and Windows refuses",
         [this] {
             inmemory::setForeground(inmemory::addWindow(
                 {u"TeamsWebView", u"Chat | Microsoft Teams", true, false, inmemory::addProcess(TodaysImage)}));
             inmemory::refuseForeground();
         },
         {Detected, Bringing, NotBrought}, false, false},
        {"the ringing client has it in another window", [this] { inmemory::setForeground(main); },
         {Detected, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith")}, true, true},
        {"the keys are blocked", [] { inmemory::failCall("sendKeys", win::ERROR_ACCESS_DENIED); },
         {Detected, Bringing, Keys, u"Sending keys failed (0 of 6 sent, error 5).\n"}, false, false},
        {"the minimise cannot be posted", [] { inmemory::failCall("postSystemCommand", win::ERROR_ACCESS_DENIED); },
         {Detected, Bringing, Keys, waitingFor(u"John Smith"), minimizing(u"John Smith"),
          u"Posting window command failed (error 5).\n"},
         true, false},
    };
    for (const Case& c : cases) {
        SetUp();
        window(u"Microsoft Teams Notification");
        main = window(u"Chat | Microsoft Teams");
        inmemory::setForeground(window(u"Attendant - Browser", Foreign));
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);
        win::HWND call = nullptr;
        inmemory::onSendInput([&] { call = window(u"John Smith"); });
        c.arrange();
        const std::uint64_t before = inmemory::totalSleptMs();

        answerCall(scan, u"John Smith");

        const Lines lines = logLines(log);
        ASSERT_GE(lines.size(), c.tail.size()) << c.what;
        EXPECT_EQ(Lines(lines.end() - static_cast<std::ptrdiff_t>(c.tail.size()), lines.end()), c.tail) << c.what;
        EXPECT_EQ(inmemory::sentInput().size(), c.keys ? 1u : 0u) << c.what;
        EXPECT_EQ(call != nullptr && inmemory::windowMinimized(call), c.minimised) << c.what;
        // Refused, the foreground is looked at for half a second and no more.
        EXPECT_EQ(inmemory::totalSleptMs() - before, c.keys || c.tail.size() == 4 ? 0u : 500u) << c.what;
    }
}

TEST_F(CallActionsTest, CloseFindsTheParticipantsWindowOnceEvenWhenMinimised)
{
    window(u"Microsoft Teams Notification", Hidden);
    window(u"Chat | Microsoft Teams");
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    const win::HWND call = window(u"Call with John Smith", Minimized);

    closeCallWindow(scan, u"John Smith");

    EXPECT_EQ(logLines(log), (Lines{u"Closing call window for participant \"John Smith\"...\n",
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
        SetUp();
        const win::HWND main = window(u"Chat | Microsoft Teams");
        TestLog log;
        const TeamsWindowScan scan = scanTeamsWindows(log);

        closeCallWindow(scan, participant);

        EXPECT_EQ(logLines(log), (Lines{u"Closing call window for participant \"(None)\"...\n",
                                        u"Teams call window not found\n", u"Enumerating Teams windows\n",
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
    const TeamsWindowScan scan = scanTeamsWindows(log);
    ASSERT_EQ(scan.mainFromCache, 1);
    inmemory::setWindowMinimized(other, true);

    EXPECT_EQ(listTeamsWindows(scan), 4);

    EXPECT_EQ(logLines(log),
              (Lines{
                  u"Call notification " + hex(candidate) + u" found by exclusion\n",
                  u"Enumerating Teams windows\n",
                  u"Window " + hex(candidate) + u" main:0 callnotify:3 visible:0, minimized:0 []\n",
                  u"Window " + hex(main) + u" main:2 callnotify:0 visible:0, minimized:0 [Chat | Microsoft Teams]\n",
                  u"Window " + hex(bare) + u" main:0 callnotify:0 visible:1, minimized:0 [Teams]\n",
                  u"Window " + hex(other) + u" main:0 callnotify:0 visible:1, minimized:1 [Meeting with Ann | Microsoft Teams]\n",
              }));
}

TEST_F(CallActionsTest, AWindowThatGoesWhileItIsLookedAtIsPassedOverOrShowsNoTitle)
{
    const win::HWND notification = window(u"Microsoft Teams Notification");
    const win::HWND main = window(u"Chat | Microsoft Teams");
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    const win::HWND call = window(u"Call with John Smith");
    // Teams closes the window between the program finding it and reading its
    // title: the title read fails.
    inmemory::beforeCall("readWindowFacts", [call] { inmemory::destroyWindow(call); }, 2);
    closeCallWindow(scan, u"John Smith");
    // The main window goes after the listing's snapshot was taken: the
    // listing passes over it and goes on below it.
    inmemory::beforeCall("readWindowFacts", [main] { inmemory::destroyWindow(main); }, 2);
    listTeamsWindows(scan);

    const Lines lines = logLines(log);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], u"Sending Close command to window \"\"...\n");
    EXPECT_EQ(lines[2], u"Posting window command failed (error 1400).\n") << "the window has gone";
    EXPECT_EQ(lines[4],
              u"Window " + hex(notification) + u" main:0 callnotify:1 visible:1, minimized:0 [Microsoft Teams Notification]\n");
}

TEST_F(CallActionsTest, ListingWithoutTeamsSaysSoAlone)
{
    window(u"Microsoft Teams Notification", Foreign);
    TestLog log;
    const TeamsWindowScan scan = scanTeamsWindows(log);
    EXPECT_EQ(listTeamsWindows(scan), 0);
    EXPECT_EQ(logLines(log), Lines{u"Teams desktop application not found.\n"});
}
