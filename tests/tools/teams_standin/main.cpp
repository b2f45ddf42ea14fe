// A test double for the chat client's desktop process: it owns top-level
// windows of the client's window class, lets a test script them through a
// control folder and reports what happened to them (keys, system commands,
// destruction) with wall-clock timestamps.
//
// Command line: the control folder, then options:
//   --class=NAME   the window class (default Chrome_WidgetWin_1; the client
//                  people run today uses TeamsWebView)
//   --churn=MS     every MS milliseconds destroy each window and make it anew
//                  at the top, as a browser does with its tooltips and pop-ups
//
// Control folder:
//   windows.txt   read once at start: "key|title|flags", top of z-order first
//                 (flags: hidden, minimized, oncall=<title of the call window
//                 Shift+Ctrl+S opens>, calldelay=<ms before it opens>)
//                 (UTF-8; blank lines and lines starting with # are skipped)
//   commands.txt  appended by the test, one command per line, polled
//                 (create, show, showna, hide, title, busy <ms>, quit)
//   events.txt    appended by us: "<microseconds since 1970> <event...>"
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "../common/tool_support.h"

namespace {

std::wstring g_windowClass = L"Chrome_WidgetWin_1";
DWORD g_churnMilliseconds = 0;
// How often commands.txt is looked at. SetTimer would clamp anything below
// 10 ms (USER_TIMER_MINIMUM), so the message loop waits with a timeout instead.
constexpr DWORD kPollMilliseconds = 5;

struct StandInWindow {
    std::wstring key;
    std::wstring title;
    bool hidden = false;
    bool minimized = false;
    std::wstring callTitle;  // empty: Shift+Ctrl+S opens nothing
    DWORD callDelayMs = 0;   // how long after the keys the call window opens
    HWND hwnd = nullptr;     // null once destroyed
};

// Call windows that open a moment after the keys, as the real client's do.
struct PendingCall {
    ULONGLONG due;
    const StandInWindow* from;
};
std::vector<PendingCall> g_pendingCalls;

std::wstring g_controlDir;
std::vector<std::unique_ptr<StandInWindow>> g_windows;
bool g_quit = false;

// The file is opened and closed per line so a reader never sees it locked and
// never misses a line sitting in a buffer of ours.
void LogEvent(const std::wstring& event) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%lld ", tools::nowMicroseconds());
    std::string line = stamp + tools::toUtf8(event) + "\n";
    std::wstring path = g_controlDir + L"\\events.txt";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring Hex(unsigned value, int digits) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"%0*X", digits, value);
    return buffer;
}

// The newest live window with this key: a second call window shadows the first.
StandInWindow* FindByKey(const std::wstring& key) {
    for (auto it = g_windows.rbegin(); it != g_windows.rend(); ++it) {
        if ((*it)->key == key && (*it)->hwnd) return it->get();
    }
    return nullptr;
}

StandInWindow* FindByHandle(HWND hwnd) {
    for (auto& window : g_windows) {
        if (window->hwnd == hwnd) return window.get();
    }
    return nullptr;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) return parts;
        start = end + 1;
    }
}

// "key|title|flags". The title runs from the first '|' to the last one, so
// it may hold '|' itself, as the client's own titles ("Chat | ...") do.
// False for a line without both separators or with an unknown flag.
bool ParseWindowLine(const std::wstring& line, StandInWindow& out) {
    size_t first = line.find(L'|');
    size_t last = line.rfind(L'|');
    if (first == std::wstring::npos || first == last || first == 0) return false;
    out.key = line.substr(0, first);
    out.title = line.substr(first + 1, last - first - 1);
    std::wstring flags = line.substr(last + 1);
    if (flags.empty()) return true;
    for (const std::wstring& flag : Split(flags, L',')) {
        if (flag == L"hidden") {
            out.hidden = true;
        } else if (flag == L"minimized") {
            out.minimized = true;
        } else if (flag.rfind(L"calldelay=", 0) == 0) {
            out.callDelayMs = static_cast<DWORD>(std::wcstoul(flag.c_str() + 10, nullptr, 10));
        } else if (flag.rfind(L"oncall=", 0) == 0) {
            // '|' separates the line's fields, so a title holding one comes escaped.
            out.callTitle = flag.substr(7);
            for (size_t at; (at = out.callTitle.find(L"%7C")) != std::wstring::npos;) {
                out.callTitle.replace(at, 3, L"|");
            }
        } else {
            return false;
        }
    }
    return true;
}

// Creates the window at the top of the z-order and shows it as its flags say,
// without activating it: the test decides which window has the focus.
HWND CreateStandInWindow(StandInWindow& window) {
    DWORD style = WS_OVERLAPPEDWINDOW;
    // In the style from creation on, not only after a show: a window that is
    // both hidden and minimised is never shown, yet must read as minimised.
    if (window.minimized) style |= WS_MINIMIZE;
    // Cascaded, so that a screenshot shows every visible window's title bar.
    static int created = 0;
    int offset = 40 * (created++ % 12);
    HWND hwnd = CreateWindowExW(0, g_windowClass.c_str(), window.title.c_str(), style, 100 + offset, 100 + offset, 320,
                                200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    window.hwnd = hwnd;
    if (!hwnd) return nullptr;
    if (!window.hidden) ShowWindow(hwnd, window.minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return hwnd;
}

StandInWindow* AddWindow(std::unique_ptr<StandInWindow> window) {
    g_windows.push_back(std::move(window));
    StandInWindow* added = g_windows.back().get();
    CreateStandInWindow(*added);
    return added;
}

void OpenCallWindow(const StandInWindow& from) {
    auto call = std::make_unique<StandInWindow>();
    call->key = L"call";
    call->title = from.callTitle;
    StandInWindow* added = AddWindow(std::move(call));
    if (!added->hwnd) {
        LogEvent(L"error create call");
        return;
    }
    // A real call window comes up in front and takes the focus.
    ShowWindow(added->hwnd, SW_SHOW);
    SetForegroundWindow(added->hwnd);
    LogEvent(L"created call");
}

// One command line from commands.txt; every command is acknowledged with an
// event so a test can wait for it instead of sleeping.
void RunCommand(const std::wstring& line) {
    size_t space = line.find(L' ');
    std::wstring verb = line.substr(0, space);
    std::wstring rest = space == std::wstring::npos ? L"" : line.substr(space + 1);

    if (verb == L"quit") {
        LogEvent(L"quit");
        g_quit = true;
        return;
    }
    if (verb == L"create") {
        auto window = std::make_unique<StandInWindow>();
        if (!ParseWindowLine(rest, *window) || FindByKey(window->key)) {
            LogEvent(L"error " + line);
            return;
        }
        StandInWindow* added = AddWindow(std::move(window));
        LogEvent(added->hwnd ? L"created " + added->key : L"error " + line);
        return;
    }

    if (verb == L"busy") {
        // The client's UI thread busy for a while, as when a call rings while
        // it loads a chat: nothing of ours runs meanwhile, activation included.
        LogEvent(L"busy");
        Sleep(static_cast<DWORD>(_wtoi(rest.c_str())));
        LogEvent(L"idle");
        return;
    }

    std::wstring key = rest.substr(0, rest.find(L' '));
    StandInWindow* window = FindByKey(key);
    if (!window) {
        LogEvent(L"error " + line);
        return;
    }
    if (verb == L"show") {
        // Restore rather than just show: a minimised active window has no
        // keyboard focus, and the test wants keystrokes to land in it.
        ShowWindow(window->hwnd, IsIconic(window->hwnd) ? SW_RESTORE : SW_SHOW);
        SetForegroundWindow(window->hwnd);
        SetFocus(window->hwnd);
        LogEvent(L"shown " + key);
    } else if (verb == L"showna") {
        // Shown without being activated, as a notification pops up while the
        // user works in another window.
        ShowWindow(window->hwnd, SW_SHOWNOACTIVATE);
        LogEvent(L"shown " + key);
    } else if (verb == L"hide") {
        ShowWindow(window->hwnd, SW_HIDE);
        LogEvent(L"hidden " + key);
    } else if (verb == L"title" && rest.size() > key.size() + 1) {
        window->title = rest.substr(key.size() + 1);
        SetWindowTextW(window->hwnd, window->title.c_str());
        LogEvent(L"titled " + key);
    } else {
        LogEvent(L"error " + line);
    }
}

// Reads whatever complete lines were appended to commands.txt since the last
// look. A line still being written (no newline yet) is left for next time.
void PollCommands() {
    static LONGLONG offset = 0;
    const std::string data = tools::readBytes(g_controlDir + L"\\commands.txt", offset);
    const size_t end = data.rfind('\n');
    if (end == std::string::npos) return;
    offset += static_cast<LONGLONG>(end + 1);
    for (std::wstring line : Split(tools::fromUtf8(data.substr(0, end)), L'\n')) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty() && !g_quit) RunCommand(line);
    }
}

bool ModifierDown(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    StandInWindow* window = FindByHandle(hwnd);
    if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_KEYDOWN:
            if (wParam == 'S' && ModifierDown(VK_SHIFT) && ModifierDown(VK_CONTROL)) {
                LogEvent(L"keys " + window->key);
                if (!window->callTitle.empty() && window->callDelayMs == 0) {
                    OpenCallWindow(*window);
                } else if (!window->callTitle.empty()) {
                    g_pendingCalls.push_back(PendingCall{GetTickCount64() + window->callDelayMs, window});
                }
            } else {
                LogEvent(L"keydown " + window->key + L" " + Hex(static_cast<unsigned>(wParam), 2));
            }
            return 0;
        case WM_CHAR:
            LogEvent(L"char " + window->key + L" " + Hex(static_cast<unsigned>(wParam), 2));
            return 0;
        case WM_SYSCOMMAND:
            LogEvent(L"syscommand " + window->key + L" " + Hex(static_cast<unsigned>(wParam & 0xFFF0), 4));
            break;
        case WM_DESTROY:
            LogEvent(L"destroyed " + window->key);
            window->hwnd = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) g_quit = true;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Our windows as FindWindowExW enumerates them, top first.
std::vector<StandInWindow*> ZOrder() {
    std::vector<StandInWindow*> order;
    for (HWND hwnd = nullptr; (hwnd = FindWindowExW(nullptr, hwnd, g_windowClass.c_str(), nullptr));) {
        if (StandInWindow* window = FindByHandle(hwnd)) order.push_back(window);
    }
    return order;
}

// Wine's X11 driver restacks a shown window once the X server reports where
// its X window was mapped, and the X server stacks only the windows shown in
// full: such a window ends up right under the next shown one above it, over
// any hidden or minimised windows in between. Moving the visible ones again only
// repeats that, so each window found out of place is slotted back in under
// its predecessor. Those reports arrive a few milliseconds late, so the order
// counts as settled only after it has held for several looks in a row.
bool SettleZOrder(const std::vector<StandInWindow*>& topFirst) {
    int goodLooks = 0;
    for (int attempt = 0; attempt < 100 && goodLooks < 4; ++attempt) {
        Sleep(10);
        PumpMessages();
        std::vector<StandInWindow*> order = ZOrder();
        if (order == topFirst) {
            ++goodLooks;
            continue;
        }
        goodLooks = 0;
        for (size_t i = 0; i < topFirst.size(); ++i) {
            if (i < order.size() && order[i] == topFirst[i]) continue;
            HWND after = i == 0 ? HWND_TOP : topFirst[i - 1]->hwnd;
            SetWindowPos(topFirst[i]->hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            order = ZOrder();
        }
    }
    return goodLooks >= 4;
}

// Every window goes and a new one of the same kind comes at the top: a walk
// over the desktop meets handles that are gone by the time it asks about them.
void Churn() {
    for (auto& window : g_windows) {
        if (!window->hwnd) continue;
        HWND old = window->hwnd;
        window->hwnd = nullptr;  // no "destroyed" event for churned windows
        DestroyWindow(old);
        CreateStandInWindow(*window);
    }
}

bool LoadWindowList(std::vector<std::unique_ptr<StandInWindow>>& out) {
    const std::wstring path = g_controlDir + L"\\windows.txt";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    std::string data = tools::readBytes(path);
    if (data.rfind("\xEF\xBB\xBF", 0) == 0) data.erase(0, 3);

    for (const std::wstring& raw : Split(tools::fromUtf8(data), L'\n')) {
        std::wstring line = raw;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty() || line[0] == L'#') continue;
        auto window = std::make_unique<StandInWindow>();
        if (!ParseWindowLine(line, *window)) {
            LogEvent(L"error windows.txt " + line);
            return false;
        }
        out.push_back(std::move(window));
    }
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 2;
    g_controlDir = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option.rfind(L"--class=", 0) == 0) {
            g_windowClass = option.substr(8);
        } else if (option.rfind(L"--churn=", 0) == 0) {
            g_churnMilliseconds = static_cast<DWORD>(std::wcstoul(option.c_str() + 8, nullptr, 10));
        } else {
            return 2;
        }
    }
    LocalFree(argv);
    while (!g_controlDir.empty() && (g_controlDir.back() == L'\\' || g_controlDir.back() == L'/')) {
        g_controlDir.pop_back();
    }

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = g_windowClass.c_str();
    if (!RegisterClassExW(&windowClass)) return 3;

    std::vector<std::unique_ptr<StandInWindow>> listed;
    if (!LoadWindowList(listed)) return 4;
    // Each new window goes to the top, so the last line is created first and
    // the first line ends up topmost.
    std::vector<StandInWindow*> topFirst(listed.size());
    for (size_t i = listed.size(); i-- > 0;) {
        StandInWindow* added = AddWindow(std::move(listed[i]));
        if (!added->hwnd) {
            LogEvent(L"error create " + added->key);
            return 5;
        }
        topFirst[i] = added;
    }
    if (!SettleZOrder(topFirst)) {
        std::wstring seen = L"error zorder";
        for (StandInWindow* window : ZOrder()) seen += L" " + window->key;
        LogEvent(seen);
        return 6;
    }

    LogEvent(L"ready " + std::to_wstring(GetCurrentProcessId()));

    ULONGLONG lastChurn = GetTickCount64();
    while (!g_quit) {
        MsgWaitForMultipleObjectsEx(0, nullptr, kPollMilliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        PumpMessages();
        PollCommands();
        for (size_t i = 0; i < g_pendingCalls.size();) {
            if (GetTickCount64() < g_pendingCalls[i].due) {
                ++i;
                continue;
            }
            const StandInWindow* from = g_pendingCalls[i].from;
            g_pendingCalls.erase(g_pendingCalls.begin() + static_cast<std::ptrdiff_t>(i));
            OpenCallWindow(*from);
        }
        if (g_churnMilliseconds > 0 && GetTickCount64() - lastChurn >= g_churnMilliseconds) {
            lastChurn = GetTickCount64();
            Churn();
        }
    }
    return 0;
}
