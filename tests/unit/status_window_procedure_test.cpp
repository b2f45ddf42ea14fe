// The status window as the user meets it: its class, its controls and their
// fonts and colours, the log link and the test button, and how it closes.
// Each test runs the real message loop on the in-memory Windows and acts from
// its idle actions, as a user would between messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/entry_point.h"
#include "log/diagnostic_log.h"
#include "ui/status_window.h"
#include "winapi/inmemory/inmemory.h"

namespace {

constexpr char16_t ClassName[] = u"QX7RMIRROWCAST";
constexpr char16_t Title[] = u"Velmorathis Desktop Mirrowcast Version 1.0.4.0";
constexpr int ShowCommand = 10;  // SW_SHOWDEFAULT, as a program started by the shell gets

// A fresh machine with the program's resources, made before the fixture's log
// so that the log is set up on it.
struct FreshMachine {
    FreshMachine() { prepare(); }
    static void prepare()
    {
        inmemory::reset();
        inmemory::setStringResource(103, u"Velmorathis Desktop Mirrowcast");
        inmemory::setStringResource(109, ClassName);
        inmemory::setStringResource(130, u"Version 1.0.4.0");
        inmemory::setIconResource(107);
        inmemory::setIconResource(108);
        debugMode = false;
    }
};

class StatusWindowTest : public ::testing::Test {
protected:
    void TearDown() override { debugMode = false; }

    static win::HWND statusWindow() { return win::FindWindowExW(nullptr, nullptr, ClassName, nullptr); }
    static win::HWND control(int id)
    {
        for (const inmemory::WindowRecord& c : inmemory::childrenOf(statusWindow())) {
            if (reinterpret_cast<std::uintptr_t>(c.menu) == static_cast<std::uintptr_t>(id) && !c.destroyed) {
                return c.handle;
            }
        }
        return nullptr;
    }
    // Closes the window through its system menu, as the close box does.
    static void closeByUser()
    {
        inmemory::queueMessage(statusWindow(), win::WM_SYSCOMMAND, win::SC_CLOSE, 0);
    }
    std::int32_t show() { return showStatusWindow(log, inmemory::moduleInstance(), ShowCommand); }
    std::u16string logText() const { return inmemory::fileText(log.logPath); }

    FreshMachine machine;
    DiagnosticLog log;
};

struct ControlLayout {
    int id;
    std::u16string className;
    std::u16string text;
    win::DWORD style;
    int x, y, width, height;
    int underline;  // -1: the control's default font
};

}  // namespace

TEST_F(StatusWindowTest, WindowAndControlsAsCreatedInEachMode)
{
    for (bool debug : {false, true}) {
        FreshMachine::prepare();
        debugMode = debug;
        DiagnosticLog modeLog;
        std::vector<inmemory::WindowRecord> windows;
        inmemory::onIdle([&] {
            windows = inmemory::createdWindows();
            closeByUser();
        });
        EXPECT_EQ(showStatusWindow(modeLog, inmemory::moduleInstance(), ShowCommand), 0);
        EXPECT_FALSE(inmemory::messageLoopStarved()) << "the loop must end on the quit message";

        const inmemory::ClassRecord* c = inmemory::registeredClass(ClassName);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->record.style, 3u);
        EXPECT_EQ(c->record.cbClsExtra, 0);
        EXPECT_EQ(c->record.cbWndExtra, 0);
        EXPECT_EQ(c->record.hInstance, inmemory::moduleInstance());
        EXPECT_EQ(c->record.hIcon, win::LoadIconW(inmemory::moduleInstance(), win::MAKEINTRESOURCEW(107)));
        EXPECT_EQ(c->record.hIconSm, win::LoadIconW(inmemory::moduleInstance(), win::MAKEINTRESOURCEW(108)));
        EXPECT_NE(c->record.hIcon, nullptr);
        EXPECT_EQ(c->record.hCursor, win::LoadCursorW(nullptr, win::IDC_ARROW));
        EXPECT_EQ(inmemory::brushColor(c->record.hbrBackground), 0x00F1F2F3u);

        ASSERT_FALSE(windows.empty());
        const inmemory::WindowRecord& main = windows[0];
        EXPECT_EQ(main.className, ClassName);
        EXPECT_EQ(main.text, Title);
        EXPECT_EQ(main.exStyle, 0u);
        EXPECT_EQ(main.style, 0x80C80000u);
        EXPECT_EQ(main.x, 760);
        EXPECT_EQ(main.y, debug ? 415 : 440);
        EXPECT_EQ(main.width, 400);
        EXPECT_EQ(main.height, debug ? 250 : 200);
        EXPECT_EQ(main.parent, nullptr);
        EXPECT_EQ(main.menu, nullptr);
        EXPECT_EQ(main.lastShowCommand, ShowCommand);
        EXPECT_TRUE(main.updated);

        std::vector<ControlLayout> expected = {
            {112, u"EDIT", u"\u2717 Teams desktop application not found", 0x50010884, 16, 25, 350, 90, 0},
            {111, u"STATIC", u"Open log folder", 0x50010100, 16, 120, 250, 25, 1},
        };
        if (debug) {
            expected.push_back({113, u"BUTTON", u"Test Answer and Minimize", 0x50010100, 16, 150, 185, 25, -1});
        }
        ASSERT_EQ(windows.size(), expected.size() + 1) << "debug " << debug;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const inmemory::WindowRecord& w = windows[i + 1];
            const ControlLayout& e = expected[i];
            SCOPED_TRACE(testing::Message() << "debug " << debug << ", control " << e.id);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(w.menu), static_cast<std::uintptr_t>(e.id));
            EXPECT_EQ(w.className, e.className);
            EXPECT_EQ(w.text, e.text);
            EXPECT_EQ(w.exStyle, 0u);
            EXPECT_EQ(w.style, e.style);
            EXPECT_EQ(w.parent, main.handle);
            EXPECT_EQ(w.instance, inmemory::moduleInstance());
            EXPECT_EQ(std::vector<int>({w.x, w.y, w.width, w.height}),
                      std::vector<int>({e.x, e.y, e.width, e.height}));
            if (e.underline < 0) {
                EXPECT_EQ(w.font, nullptr);
                continue;
            }
            ASSERT_NE(w.font, nullptr);
            EXPECT_EQ(w.fontRedraw, 0);
            const inmemory::FontRecord f = inmemory::fontRecord(w.font);
            EXPECT_EQ(f.faceName, u"Segoe UI");
            EXPECT_EQ(std::vector<int>({f.height, f.width, f.escapement, f.orientation, f.weight}),
                      std::vector<int>({20, 0, 0, 0, 0}));
            EXPECT_EQ(std::vector<win::DWORD>({f.italic, f.underline, f.strikeOut, f.charSet, f.outputPrecision,
                                               f.clipPrecision, f.quality, f.pitchAndFamily}),
                      std::vector<win::DWORD>({0, static_cast<win::DWORD>(e.underline), 0, 1, 8, 0, 5, 2}));
        }
        EXPECT_NE(windows[1].font, windows[2].font) << "each control owns its font";
        EXPECT_EQ(inmemory::liveFontCount(), 0u) << "fonts are deleted with the window";
        EXPECT_FALSE(inmemory::windowExists(main.handle));
    }
}

TEST_F(StatusWindowTest, ControlsAskForTheirColours)
{
    debugMode = true;
    inmemory::ControlColors link{}, text{}, button{};
    inmemory::onIdle([&] {
        link = inmemory::paintColorsOf(control(111));
        text = inmemory::paintColorsOf(control(112));
        // A button that asked with WM_CTLCOLORSTATIC (as check boxes do) gets
        // the default colours.
        const win::HDC dc = inmemory::createDeviceContext();
        button.brush = reinterpret_cast<win::HGDIOBJ>(win::SendMessageW(
            statusWindow(), win::WM_CTLCOLORSTATIC, reinterpret_cast<win::WPARAM>(dc),
            reinterpret_cast<win::LPARAM>(control(113))));
        button.backgroundMode = inmemory::backgroundMode(dc);
        closeByUser();
    });
    show();
    const win::HGDIOBJ nullBrush = win::GetStockObject(win::NULL_BRUSH);
    EXPECT_EQ(link.brush, nullBrush);
    EXPECT_EQ(link.text, 0x00FF0000u) << "the link is blue";
    EXPECT_EQ(link.backgroundMode, win::TRANSPARENT);
    EXPECT_EQ(text.brush, nullBrush);
    EXPECT_EQ(text.text, 0x00000000u);
    EXPECT_EQ(text.backgroundMode, win::TRANSPARENT);
    EXPECT_EQ(button.brush, inmemory::defaultControlBrush());
    EXPECT_EQ(button.backgroundMode, win::OPAQUE);
}

TEST_F(StatusWindowTest, LogLinkOpensTheLogFolderAndOtherCommandsGetDefaultProcessing)
{
    inmemory::onIdle([&] {
        inmemory::clickControl(control(111));
        // The edit control's own notifications arrive as WM_COMMAND too.
        win::SendMessageW(statusWindow(), win::WM_COMMAND, win::MAKEWPARAM(112, 0x0100),
                          reinterpret_cast<win::LPARAM>(control(112)));
        closeByUser();
    });
    show();
    ASSERT_EQ(inmemory::shellCalls().size(), 1u);
    EXPECT_EQ(inmemory::shellCalls()[0].verb, u"open");
    EXPECT_EQ(inmemory::shellCalls()[0].file, u"C:\\ProgramData\\Velmorathis\\Velmorathis Mirrowcast");
    bool defaulted = false;
    for (const inmemory::DefaultMessage& m : inmemory::defaultProcessed()) {
        defaulted |= m.message == win::WM_COMMAND && win::LOWORD(m.wParam) == 112;
    }
    EXPECT_TRUE(defaulted);
}

TEST_F(StatusWindowTest, TestButtonAnswersWithAFreshScan)
{
    debugMode = true;
    const win::DWORD teams = inmemory::addProcess(u"\\Device\\HarddiskVolume3\\Apps\\Teams.exe");
    inmemory::onIdle([&] {
        // The call comes in after the window opened: only a fresh scan sees it.
        inmemory::WindowTraits notification;
        notification.title = u"Microsoft Teams Notification";
        notification.processId = teams;
        inmemory::addWindow(notification);
        inmemory::clickControl(control(113));
        closeByUser();
    });
    EXPECT_EQ(show(), 0);
    ASSERT_EQ(inmemory::sentInput().size(), 1u) << "Shift+Ctrl+S was sent";
    EXPECT_EQ(inmemory::sentInput()[0].records.size(), 6u);
    EXPECT_NE(logText().find(u"Waiting for call window for participant \"(None)\"...\n"), std::u16string::npos);
}

TEST_F(StatusWindowTest, TestButtonWithoutACallWaitsAndGivesUp)
{
    debugMode = true;
    inmemory::onIdle([&] {
        inmemory::clickControl(control(113));
        closeByUser();
    });
    const std::uint64_t before = inmemory::totalSleptMs();
    show();
    EXPECT_NE(logText().find(u"Wait aborted, no active call detected.\n"), std::u16string::npos);
    EXPECT_EQ(inmemory::totalSleptMs() - before, 30000u);
    EXPECT_TRUE(inmemory::sentInput().empty());
}

TEST_F(StatusWindowTest, ResultIsTheQuitMessagesExitValue)
{
    inmemory::onIdle([] { win::PostQuitMessage(7); });
    EXPECT_EQ(show(), 7);
}

TEST_F(StatusWindowTest, FailuresEndWithZeroAndNoLoop)
{
    struct Case {
        const char* function;
        win::DWORD error;
    };
    const Case cases[] = {
        {"RegisterClassExW", win::ERROR_ACCESS_DENIED},
        {"CreateWindowExW", win::ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        FreshMachine::prepare();
        DiagnosticLog caseLog;
        const std::u16string before = inmemory::fileText(caseLog.logPath);
        inmemory::failCall(c.function, c.error);
        EXPECT_EQ(showStatusWindow(caseLog, inmemory::moduleInstance(), ShowCommand), 0) << c.function;
        EXPECT_EQ(inmemory::callCount("GetMessageW"), 0u) << c.function;
        EXPECT_EQ(inmemory::fileText(caseLog.logPath), before) << c.function << ": nothing is logged";
        // The background brush is the class's; without a class it is freed.
        EXPECT_EQ(inmemory::liveBrushCount(), c.function == std::string("RegisterClassExW") ? 0u : 1u) << c.function;
    }
}

TEST_F(StatusWindowTest, FailingMessageRetrievalEndsTheLoop)
{
    // GetMessageW's -1 is not a message; treating it as one would spin forever.
    inmemory::failCall("GetMessageW", win::ERROR_INVALID_HANDLE, 1, -1);
    EXPECT_EQ(show(), 0);
    EXPECT_EQ(inmemory::callCount("DispatchMessageW"), 0u);
    EXPECT_EQ(inmemory::callCount("GetMessageW"), 1u);
}
