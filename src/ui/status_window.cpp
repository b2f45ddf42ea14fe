// The status window's mechanics: its class, its controls, their fonts and
// colours, the message loop and the window procedure. What it shows and where
// comes from status_content.
#include "ui/status_window.h"

#include "app/entry_point.h"
#include "log/diagnostic_log.h"
#include "teams/teams_window_scan.h"
#include "ui/status_content.h"
#include "util/strings.h"
#include "winapi/desktop.h"
#include "winapi/ui.h"

namespace {

constexpr win::UINT TitleStringId = 103;
constexpr win::UINT ClassNameStringId = 109;
constexpr win::UINT VersionStringId = 130;
constexpr win::WORD IconId = 107;
constexpr win::WORD SmallIconId = 108;

constexpr win::WORD LinkId = 111;
constexpr win::WORD DetectionTextId = 112;
constexpr win::WORD TestButtonId = 113;

constexpr win::DWORD StatusWindowStyle = win::WS_POPUPWINDOW | win::WS_DLGFRAME;  // 0x80C80000
constexpr win::DWORD DetectionTextStyle = win::WS_CHILD | static_cast<win::DWORD>(win::WS_VISIBLE) |
                                          win::WS_TABSTOP | win::ES_MULTILINE | win::ES_AUTOHSCROLL |
                                          win::ES_READONLY;  // 0x50010884
constexpr win::DWORD LinkStyle =
    win::WS_CHILD | static_cast<win::DWORD>(win::WS_VISIBLE) | win::WS_TABSTOP | win::SS_NOTIFY;  // 0x50010100
constexpr win::DWORD TestButtonStyle = win::WS_CHILD | static_cast<win::DWORD>(win::WS_VISIBLE) |
                                       win::WS_TABSTOP | win::BS_LEFT | win::BS_PUSHBUTTON;  // 0x50010100

constexpr win::COLORREF BackgroundColor = win::RGB(243, 242, 241);
constexpr win::COLORREF LinkColor = win::RGB(0, 0, 255);
constexpr win::COLORREF DetectionTextColor = win::RGB(0, 0, 0);

// The window procedure has no other way to reach these than process-wide
// storage: Win32 calls it with nothing but the window and the message.
struct StatusWindowState {
    DiagnosticLog* log = nullptr;
    win::HINSTANCE instance = nullptr;
    char16_t detectionText[StatusTextCapacity] = {};
    char16_t title[StatusTextCapacity] = {};
    char16_t version[StatusTextCapacity] = {};
    char16_t className[StatusTextCapacity] = {};
    // Owned from WM_CREATE to WM_DESTROY, a span no C++ scope covers; and
    // plain handles rather than owner objects, so nothing of this state runs
    // at process exit, after the system has torn down what it would delete.
    win::HFONT textFont = nullptr;
    win::HFONT linkFont = nullptr;
};
StatusWindowState state;

// Puts `font` in the slot, deleting what was there: a second WM_CREATE must
// not leak the first window's font.
void replaceFont(win::HFONT& slot, win::HFONT font)
{
    if (slot != nullptr) {
        win::DeleteObject(slot);
    }
    slot = font;
}

win::HFONT createControlFont(bool underline)
{
    return win::CreateFontW(20, 0, 0, 0, win::FW_DONTCARE, 0, underline ? 1 : 0, 0, win::DEFAULT_CHARSET,
                            win::OUT_OUTLINE_PRECIS, win::CLIP_DEFAULT_PRECIS, win::CLEARTYPE_QUALITY,
                            win::VARIABLE_PITCH, u"Segoe UI");
}

win::HWND createControl(win::HWND parent, const char16_t* className, const char16_t* text, win::DWORD style,
                        int left, int top, int width, int height, win::WORD id)
{
    return win::CreateWindowExW(0, className, text, style, left, top, width, height, parent,
                                reinterpret_cast<win::HMENU>(static_cast<std::uintptr_t>(id)), state.instance,
                                nullptr);
}

void createControls(win::HWND window)
{
    const win::HWND text = createControl(window, u"EDIT", state.detectionText, DetectionTextStyle, 16, 25, 350, 90,
                                         DetectionTextId);
    replaceFont(state.textFont, createControlFont(false));
    win::SendMessageW(text, win::WM_SETFONT, reinterpret_cast<win::WPARAM>(state.textFont), 0);

    const win::HWND link = createControl(window, u"STATIC", u"Open log folder", LinkStyle, 16, 120, 250, 25, LinkId);
    replaceFont(state.linkFont, createControlFont(true));
    win::SendMessageW(link, win::WM_SETFONT, reinterpret_cast<win::WPARAM>(state.linkFont), 0);

    if (debugMode) {
        createControl(window, u"BUTTON", u"Test Answer and Minimize", TestButtonStyle, 16, 150, 185, 25,
                      TestButtonId);
    }
}

win::LRESULT statusWindowProcedure(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam)
{
    switch (message) {
    case win::WM_CREATE:
        createControls(window);
        return 0;
    case win::WM_COMMAND:
        // Only the id: the link and the button each have one action, whatever
        // the notification.
        switch (win::LOWORD(wParam)) {
        case LinkId:
            openLogFolder(state.log != nullptr ? state.log->logPath : u"");
            return 0;
        case TestButtonId: {
            // A fresh scan: the one the window was opened with is as old as the
            // window. The action blocks the window until it ends (up to about
            // a minute); it reports to the log, not here.
            const TeamsWindowScan scan(state.log);
            scan.answerCall(nullptr);
            return 0;
        }
        default:
            break;
        }
        break;
    case win::WM_CTLCOLORSTATIC: {
        const auto id = reinterpret_cast<std::uintptr_t>(win::GetMenu(reinterpret_cast<win::HWND>(lParam)));
        if (id == LinkId || id == DetectionTextId) {
            const auto dc = reinterpret_cast<win::HDC>(wParam);
            win::SetTextColor(dc, id == LinkId ? LinkColor : DetectionTextColor);
            win::SetBkMode(dc, win::TRANSPARENT);
            return reinterpret_cast<win::LRESULT>(win::GetStockObject(win::NULL_BRUSH));
        }
        break;
    }
    case win::WM_DESTROY:
        replaceFont(state.textFont, nullptr);
        replaceFont(state.linkFont, nullptr);
        win::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return win::DefWindowProcW(window, message, wParam, lParam);
}

void registerStatusClass(win::HINSTANCE instance)
{
    win::WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = win::CS_VREDRAW | win::CS_HREDRAW;
    windowClass.lpfnWndProc = statusWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = win::LoadIconW(instance, win::MAKEINTRESOURCEW(IconId));
    windowClass.hIconSm = win::LoadIconW(instance, win::MAKEINTRESOURCEW(SmallIconId));
    windowClass.hCursor = win::LoadCursorW(nullptr, win::IDC_ARROW);
    // Belongs to the class from here on, which lives as long as the process.
    windowClass.hbrBackground = win::CreateSolidBrush(BackgroundColor);
    windowClass.lpszClassName = state.className;
    // A failed registration shows as a failed CreateWindowExW just after; the
    // brush then belongs to no class and is this function's to free.
    if (win::RegisterClassExW(&windowClass) == 0 && windowClass.hbrBackground != nullptr) {
        win::DeleteObject(windowClass.hbrBackground);
    }
}

}  // namespace

std::int32_t showStatusWindow(DiagnosticLog& log, win::HINSTANCE instance, int showCommand)
{
    state.log = &log;
    {
        const TeamsWindowScan scan(&log);
        detectionTextFor(scan, state.detectionText);
    }

    win::LoadStringW(instance, TitleStringId, state.title, static_cast<int>(StatusTextCapacity));
    win::LoadStringW(instance, VersionStringId, state.version, static_cast<int>(StatusTextCapacity));
    win::LoadStringW(instance, ClassNameStringId, state.className, static_cast<int>(StatusTextCapacity));
    registerStatusClass(instance);

    state.instance = instance;
    win::RECT desktop{};
    win::GetClientRect(win::GetDesktopWindow(), &desktop);
    const StatusGeometry geometry = statusWindowGeometry(desktop.right, desktop.bottom, debugMode);
    char16_t windowTitle[StatusTextCapacity];
    util::copyString(windowTitle, state.title);
    util::appendString(windowTitle, u" ");
    util::appendString(windowTitle, state.version);

    const win::HWND window =
        win::CreateWindowExW(0, state.className, windowTitle, StatusWindowStyle, geometry.left, geometry.top,
                             geometry.width, geometry.height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;
    }
    win::ShowWindow(window, showCommand);
    win::UpdateWindow(window);

    win::MSG message{};
    win::BOOL got = 0;
    // -1 is a failure, not a message: looping on it would spin forever on a
    // message that was never filled in.
    while ((got = win::GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 0;
        }
        win::TranslateMessage(&message);
        win::DispatchMessageW(&message);
    }
    return static_cast<std::int32_t>(message.wParam);
}
