// What the status window says about Teams, where it sits on the desktop and
// which folder its log link opens.
#include <gtest/gtest.h>

#include "test_text.h"
#include "texts.h"

#include <string>
#include <tuple>
#include <vector>

#include "test_log.h"
#include "teams/teams_window_scan.h"
#include "ui/status_content.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

using texts::text;

const std::u16string NotFound = text("teams not found");
const std::u16string Detected = text("teams detected");
const std::u16string WithNotification = Detected + u"\r\n\r\n" + text("notification found");
const std::u16string WithoutNotification = Detected + u"\r\n\r\n" + text("notification not found");

struct DesktopWindow {
    const char16_t* title;
    bool visible;
    bool teams;  // owned by Teams.exe, else by a browser
    const char16_t* className = u"Chrome_WidgetWin_1";
};

}  // namespace

TEST(StatusWindowDetection, TextForEachDesktop)
{
    struct Case {
        const char* name;
        std::vector<DesktopWindow> windows;  // top of the z-order first
        std::u16string expected;
    };
    const Case cases[] = {
        {"Teams not running", {}, NotFound},
        {"only hidden Teams windows, the notification among them",
         {{u"Microsoft Teams Notification", false, true}, {u"Chat | Microsoft Teams", false, true}},
         NotFound},
        {"visible main window, hidden notification",
         {{u"Microsoft Teams Notification", false, true}, {u"Chat | Microsoft Teams", true, true}},
         WithNotification},
        {"visible main window, visible notification",
         {{u"Microsoft Teams Notification", true, true}, {u"Chat | Microsoft Teams", true, true}},
         WithNotification},
        {"visible main window, no notification", {{u"Chat | Microsoft Teams", true, true}}, WithoutNotification},
        {"a browser window of the same class and title does not count",
         {{u"Microsoft Teams Notification", true, false}, {u"Chat | Microsoft Teams", false, true}},
         NotFound},
        {"the visible Teams window may be anywhere in the z-order",
         {{u"News", true, false}, {u"Chat | Microsoft Teams", false, true}, {u"Meeting | Microsoft Teams", true, true}},
         WithoutNotification},
        {"a visible Teams window of another class does not count",
         {{u"Chat | Microsoft Teams", true, true, u"Chrome_RenderWidgetHostHWND"}},
         NotFound},
        {"the client of today's window class counts like the classic one",
         {{u"Chat | Microsoft Teams", true, true, u"TeamsWebView"}},
         WithoutNotification},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        freshMachine();
        const win::DWORD teams = inmemory::addProcess(TeamsImage);
        const win::DWORD browser = inmemory::addProcess(BrowserImage);
        for (const DesktopWindow& w : c.windows) {
            inmemory::addWindowAtBottom({w.className, w.title, w.visible, false, w.teams ? teams : browser});
        }
        TestLog log;
        const teams::TeamsDetection detection = teams::detectTeams(log);
        char16_t text[ui::StatusTextCapacity];
        ui::composeDetectionText(text, detection.teamsVisible, detection.notificationFound);
        EXPECT_EQ(std::u16string(text), c.expected) << c.name << ": " << narrow(text);
    }
}

TEST(StatusWindowGeometry, CentredOnTheDesktopWithTheModesHeight)
{
    struct Case {
        win::LONG right, bottom;
        bool debug;
        ui::StatusGeometry expected;
    };
    const Case cases[] = {
        {1920, 1080, false, {760, 440, 400, 200}},
        {1920, 1080, true, {760, 415, 400, 250}},
        {1365, 767, false, {482, 283, 400, 200}},  // halves round down
        {1365, 767, true, {482, 258, 400, 250}},
        {300, 200, false, {-50, 0, 400, 200}},  // a desktop smaller than the window
    };
    for (const Case& c : cases) {
        const ui::StatusGeometry g = ui::statusWindowGeometry(c.right, c.bottom, c.debug);
        const ui::StatusGeometry& e = c.expected;
        EXPECT_EQ(std::tie(g.left, g.top, g.width, g.height), std::tie(e.left, e.top, e.width, e.height))
            << c.right << "x" << c.bottom << " debug " << c.debug;
    }
}

TEST(StatusWindowLogLink, OpensTheFolderOfTodaysLogAndNothingWhenTheLogIsOff)
{
    struct Case {
        std::u16string logPath;
        bool opens;
        std::u16string folder;
    };
    const Case cases[] = {
        {DayLogFile, true, LogFolder},
        {u"", false, u""},      // the log is off
        {u"C:\\", false, u""},  // nothing left to remove
        {u"C:\\VelmorathisMirrowcast1.log", true, u"C:\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.logPath));
        char16_t folder[ui::StatusPathCapacity];
        EXPECT_EQ(ui::logFolderOf(c.logPath.c_str(), folder), c.opens) << narrow(c.logPath);
        if (c.opens) {
            EXPECT_EQ(std::u16string(folder), c.folder) << narrow(c.logPath);
        }
    }
}
