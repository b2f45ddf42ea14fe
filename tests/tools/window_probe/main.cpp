// Test-only probe that looks at and pokes the desktop from inside the Wine
// prefix, the way the utility itself does, so a test can check what the
// stand-in or the utility did without trusting either one's own report.
//
//   window_probe list <out file>            one line per "Chrome_WidgetWin_1"
//       top-level window, in FindWindowExW (z-order) order:
//       <hwnd hex>|<title>|<visible 0/1>|<style hex>|<image path>
//   window_probe keys [out file]            Shift+Ctrl+S via SendInput, to
//       whatever window has the keyboard focus; the out file gets the time it
//       was sent, in microseconds since 1970 (to measure input latency)
//   window_probe minimize|close <text>      post WM_SYSCOMMAND SC_MINIMIZE or
//       SC_CLOSE to the first such window whose title contains <text>
//   window_probe args <out file> [args...]  the raw command line, then each
//       parsed argument on its own line (checks a harness's quoting)
//   window_probe console <text> [code]      AttachConsole(ATTACH_PARENT_PROCESS),
//       write <text> and a newline, exit with [code]
//
// Exit codes: 0 done, 1 bad usage, 2 no matching window, 3 a Windows call failed.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../common/utf8_files.h"

namespace {

std::wstring WindowTitle(HWND hwnd) {
    wchar_t buffer[512];
    int length = GetWindowTextW(hwnd, buffer, 512);
    return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

std::wstring ImagePath(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return L"?";
    wchar_t buffer[MAX_PATH];
    DWORD length = K32GetProcessImageFileNameW(process, buffer, MAX_PATH);
    CloseHandle(process);
    return std::wstring(buffer, length);
}

// Top-level windows of the classes the stand-in plays (the classic client's,
// today's client's, and the one the policy tests add), in z-order, top first.
BOOL CALLBACK AddStandInWindow(HWND hwnd, LPARAM list) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    const std::wstring className = name;
    if (className == L"Chrome_WidgetWin_1" || className == L"TeamsWebView" || className == L"LyncWindow") {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    }
    return TRUE;
}

std::vector<HWND> StandInWindows() {
    std::vector<HWND> found;
    EnumWindows(AddStandInWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

int List(const std::wstring& outPath) {
    std::wstring text;
    wchar_t number[32];
    for (HWND hwnd : StandInWindows()) {
        wsprintfW(number, L"%p", static_cast<void*>(hwnd));
        text += number;
        text += L"|" + WindowTitle(hwnd) + L"|" + (IsWindowVisible(hwnd) ? L"1" : L"0") + L"|";
        wsprintfW(number, L"%08X", static_cast<unsigned>(GetWindowLongW(hwnd, GWL_STYLE)));
        text += number;
        text += L"|" + ImagePath(hwnd) + L"\n";
    }
    return tools::writeUtf8File(outPath.c_str(), text) ? 0 : 3;
}

long long NowMicroseconds() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<long long>((ticks - 116444736000000000ULL) / 10);
}

int SendShiftCtrlS(const wchar_t* timeFile) {
    INPUT inputs[6] = {};
    const WORD keys[3] = {VK_LSHIFT, VK_LCONTROL, 'S'};
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[5 - i].type = INPUT_KEYBOARD;
        inputs[5 - i].ki.wVk = keys[i];
        inputs[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    long long sentAt = NowMicroseconds();
    if (SendInput(6, inputs, sizeof(INPUT)) != 6) return 3;
    if (timeFile && !tools::writeUtf8File(timeFile, std::to_wstring(sentAt) + L"\n")) return 3;
    return 0;
}

int PostSysCommand(WPARAM command, const std::wstring& titlePart) {
    for (HWND hwnd : StandInWindows()) {
        if (WindowTitle(hwnd).find(titlePart) != std::wstring::npos) {
            return PostMessageW(hwnd, WM_SYSCOMMAND, command, 0) ? 0 : 3;
        }
    }
    return 2;
}

int EchoArguments(int argc, wchar_t** argv) {
    std::wstring text = std::wstring(GetCommandLineW()) + L"\n";
    for (int i = 3; i < argc; ++i) text += std::wstring(argv[i]) + L"\n";
    return tools::writeUtf8File(argv[2], text) ? 0 : 3;
}

int WriteToParentConsole(const std::wstring& text, int exitCode) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return 3;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return 3;
    std::wstring line = text + L"\n";
    DWORD written = 0;
    BOOL ok = WriteConsoleW(console, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(console);
    return ok ? exitCode : 3;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 1;
    std::wstring mode = argv[1];
    int result = 1;
    if (mode == L"list" && argc == 3) {
        result = List(argv[2]);
    } else if (mode == L"keys" && (argc == 2 || argc == 3)) {
        result = SendShiftCtrlS(argc == 3 ? argv[2] : nullptr);
    } else if (mode == L"minimize" && argc == 3) {
        result = PostSysCommand(SC_MINIMIZE, argv[2]);
    } else if (mode == L"close" && argc == 3) {
        result = PostSysCommand(SC_CLOSE, argv[2]);
    } else if (mode == L"args" && argc >= 3) {
        result = EchoArguments(argc, argv);
    } else if (mode == L"console" && (argc == 3 || argc == 4)) {
        result = WriteToParentConsole(argv[2], argc == 4 ? _wtoi(argv[3]) : 0);
    }
    LocalFree(argv);
    return result;
}
