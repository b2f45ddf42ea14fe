// The status window's mechanics: its class, its controls, their fonts and
// colours, the message loop and the window procedure. This is the one place
// besides the Windows layer that calls Win32 directly: a window procedure is
// Windows' own contract, and its behaviour is checked under Wine. What the
// window shows and where comes from status_content.
#include "ui/status_window.h"

#include "log/diagnostic_log.h"
#include "teams/answer_turn.h"
#include "teams/teams_window_scan.h"
#include "ui/status_content.h"
#include "util/handles.h"
#include "util/strings.h"

// After the program's own headers: <windows.h> turns Windows names into macros.
#include "winapi/win32/win32_common.h"
#include <shellapi.h>

namespace ui {

namespace {

constexpr UINT TitleStringId = 103;
constexpr UINT ClassNameStringId = 109;
constexpr UINT VersionStringId = 130;
constexpr WORD IconId = 107;
constexpr WORD SmallIconId = 108;

constexpr int LinkId = 111;
constexpr int DetectionTextId = 112;
constexpr int TestButtonId = 113;

constexpr DWORD StatusWindowStyle = WS_POPUPWINDOW | WS_DLGFRAME;  // 0x80C80000
constexpr DWORD DetectionTextStyle =
    WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOHSCROLL | ES_READONLY;            // 0x50010884
constexpr DWORD LinkStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_NOTIFY;                      // 0x50010100
constexpr DWORD TestButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_LEFT | BS_PUSHBUTTON;  // 0x50010100

constexpr COLORREF BackgroundColor = RGB(243, 242, 241);
constexpr COLORREF LinkColor = RGB(0, 0, 255);
constexpr COLORREF DetectionTextColor = RGB(0, 0, 0);

using win::detail::wide;

void deleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
HFONT noFont() { return nullptr; }
HBRUSH noBrush() { return nullptr; }
using UniqueFont = util::UniqueAny<HFONT, deleteGdiObject, noFont>;
using UniqueBrush = util::UniqueAny<HBRUSH, deleteGdiObject, noBrush>;

// Everything the window procedure needs, on showStatusWindow's stack for as
// long as the window lives; the window finds it through GWLP_USERDATA, set
// from CreateWindowExW's creation parameter.
struct StatusWindowState {
    logging::DiagnosticLog* log = nullptr;
    HINSTANCE instance = nullptr;
    bool debug = false;
    char16_t detectionText[StatusTextCapacity] = {};
    // Owned from WM_CREATE until WM_DESTROY: the controls draw with them.
    UniqueFont textFont;
    UniqueFont linkFont;
};

UniqueFont createControlFont(bool underline)
{
    return UniqueFont(CreateFontW(20, 0, 0, 0, FW_DONTCARE, FALSE, underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH,
                                  L"Segoe UI"));
}

HWND createControl(const StatusWindowState& state, HWND parent, const wchar_t* className, const wchar_t* text,
                   DWORD style, int left, int top, int width, int height, int id)
{
    return CreateWindowExW(0, className, text, style, left, top, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), state.instance, nullptr);
}

void createControls(StatusWindowState& state, HWND window)
{
    const HWND text = createControl(state, window, L"EDIT", wide(state.detectionText), DetectionTextStyle, 16, 25, 350,
                                    90, DetectionTextId);
    state.textFont = createControlFont(false);
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(state.textFont.get()), 0);

    const HWND link = createControl(state, window, L"STATIC", L"Open log folder", LinkStyle, 16, 120, 250, 25, LinkId);
    state.linkFont = createControlFont(true);
    SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(state.linkFont.get()), 0);

    if (state.debug) {
        createControl(state, window, L"BUTTON", L"Test Answer and Minimize", TestButtonStyle, 16, 150, 185, 25,
                      TestButtonId);
    }
}

// Opens the folder whose file took this run's last entry, where the user
// finds what this run wrote: the shared folder, or the user's own when the
// day's file could not take the entries. Nothing when there is none. A
// folder the shell cannot open is not reported: the user sees that nothing
// opened, and the log it would go to is the very thing being looked for.
void openLogFolder(const logging::DiagnosticLog& log)
{
    char16_t folder[StatusPathCapacity];
    if (logFolderOf(log.lastEntryPath(), folder)) {
        ShellExecuteW(nullptr, L"open", wide(folder), nullptr, nullptr, SW_SHOW);
    }
}

LRESULT CALLBACK statusWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* state = reinterpret_cast<StatusWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_CREATE:
        createControls(*state, window);
        return 0;
    case WM_COMMAND:
        // Only the id: the link and the button each have one action, whatever
        // the notification.
        switch (LOWORD(wParam)) {
        case LinkId:
            openLogFolder(*state->log);
            return 0;
        case TestButtonId: {
            // An answer like any other: it takes its turn among the session's
            // answers, then makes a fresh scan (the one the window was opened
            // with is as old as the window). It blocks the window until it
            // ends (up to about a minute); it reports to the log, not here.
            teams::AnswerTurn turn;
            if (turn.take(*state->log, teams::Participant{})) {
                teams::answerCall(teams::scanTeamsWindows(*state->log), teams::Participant{}, turn);
            }
            return 0;
        }
        default:
            break;
        }
        break;
    case WM_CTLCOLORSTATIC: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id == LinkId || id == DetectionTextId) {
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, id == LinkId ? LinkColor : DetectionTextColor);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        }
        break;
    }
    case WM_DESTROY:
        state->textFont.reset();
        state->linkFont.reset();
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerStatusClass(HINSTANCE instance, const char16_t* className)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = statusWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IconId));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(SmallIconId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    UniqueBrush background(CreateSolidBrush(BackgroundColor));
    windowClass.hbrBackground = background.get();
    windowClass.lpszClassName = wide(className);
    // Registered, the class owns the brush for the rest of the process. A
    // failed registration shows as a failed CreateWindowExW just after, and
    // the brush, which then belongs to no class, is freed here.
    if (RegisterClassExW(&windowClass) != 0) {
        background.release();
    }
}

}  // namespace

std::int32_t showStatusWindow(logging::DiagnosticLog& log, win::HINSTANCE instanceHandle, int showCommand, bool debug)
{
    const auto instance = reinterpret_cast<HINSTANCE>(instanceHandle);
    StatusWindowState state;
    state.log = &log;
    state.instance = instance;
    state.debug = debug;
    const teams::TeamsDetection detection = teams::detectTeams(log);
    composeDetectionText(state.detectionText, detection.teamsVisible, detection.notificationFound);

    char16_t title[StatusTextCapacity] = {};
    char16_t version[StatusTextCapacity] = {};
    char16_t className[StatusTextCapacity] = {};
    LoadStringW(instance, TitleStringId, wide(title), static_cast<int>(StatusTextCapacity));
    LoadStringW(instance, VersionStringId, wide(version), static_cast<int>(StatusTextCapacity));
    LoadStringW(instance, ClassNameStringId, wide(className), static_cast<int>(StatusTextCapacity));
    registerStatusClass(instance, className);

    RECT desktop{};
    GetClientRect(GetDesktopWindow(), &desktop);
    const StatusGeometry geometry = statusWindowGeometry(desktop.right, desktop.bottom, debug);
    char16_t windowTitle[StatusTextCapacity];
    util::copyString(windowTitle, title);
    util::appendString(windowTitle, u" ");
    util::appendString(windowTitle, version);

    const HWND window =
        CreateWindowExW(0, wide(className), wide(windowTitle), StatusWindowStyle, geometry.left, geometry.top,
                        geometry.width, geometry.height, nullptr, nullptr, instance, &state);
    if (window == nullptr) {
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message{};
    BOOL got = 0;
    // -1 is a failure, not a message: looping on it would spin forever on a
    // message that was never filled in.
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 0;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<std::int32_t>(message.wParam);
}

}  // namespace ui
