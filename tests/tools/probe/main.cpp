// The system tests' probe, run inside the Wine prefix next to the program. It
// looks at and pokes the desktop as another program does, so a test can check
// what the stand-in or the program did without trusting either one's report;
// it reads the status window and the program's resources; and it runs command
// lines and holds files as other processes would. Written files are UTF-8.
//
//   probe list <out>                  the stand-in's windows (classes Chrome_WidgetWin_1, TeamsWebView,
//       LyncWindow) in z-order, one line each: <hwnd hex>|<title>|<visible 0/1>|<style hex>|<image path>
//   probe keys [out]                  Shift+Ctrl+S via SendInput, to whatever window has the keyboard
//       focus; the out file gets the time it was sent, in microseconds since 1970 (input latency)
//   probe minimize|close <text>       posts WM_SYSCOMMAND SC_MINIMIZE or SC_CLOSE to the first of the
//       stand-in's windows whose title contains <text>
//   probe status <out> [timeout ms]   waits for the visible status window (class QX7RMIRROWCAST), then
//       writes key=value lines: its rectangle, client area, styles and title, and for each control its
//       id, class, style, rectangle in the client area and text (WM_GETTEXT, so an edit control
//       answers with what it really holds; line breaks as \r and \n)
//   probe click <id>                  posts BM_CLICK to that control: posted, not sent, as the test
//       button keeps the window busy for up to a minute
//   probe close-status | close-status-box   posts WM_CLOSE, or WM_SYSCOMMAND SC_CLOSE as the caption's
//       close box does
//   probe windows <out>               one line per visible top-level window: <class>|<title>
//   probe resources <exe> <out>       strings 103/109/130, icons 107/108 with their sizes, and the
//       version information of <exe> (class icons cannot be read across processes under Wine: the
//       status window test compares the caption's icon on screen instead)
//   probe args <out> [args...]        the raw command line, then each parsed argument on a line
//   probe console <text> [code]       AttachConsole(ATTACH_PARENT_PROCESS), writes <text> and a line
//       break, exits with [code]
//   probe launch <file>               runs the command line held in <file> exactly as written (`wine
//       X.exe ARG` re-quotes ARG), waits for it and exits with its exit code
//   probe hold <file> <ms> <times> <gap-ms>   opens <file> with share mode 0 <times> times for <ms>,
//       <gap-ms> apart, as another run writing an entry would; prints "holding" once it first has it
//   probe follow <file> <ms>          opens <file> for reading, sharing everything, for <ms>, as a log
//       viewer that follows the file does
//   probe mutex <name> <ms> release|abandon   takes the named mutex, holds it for <ms>, then lets go,
//       or ends without letting go (the mutex is abandoned), as a run of the program that died would
//
// Exit codes: 0 done, 1 bad usage, 2 no such window, 3 a Windows call failed;
// launch: the command's, or 250-252 when it could not be run.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../common/tool_support.h"

namespace {

std::wstring number(long value) { return std::to_wstring(value); }

std::wstring hex(ULONG_PTR value) {
    wchar_t buffer[32];
    wsprintfW(buffer, L"%08lX", static_cast<unsigned long>(value));
    return buffer;
}

std::wstring rectText(const RECT& r) {
    return number(r.left) + L"," + number(r.top) + L"," + number(r.right - r.left) + L"," + number(r.bottom - r.top);
}

std::wstring escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        out += c == L'\r' ? L"\\r" : c == L'\n' ? L"\\n" : std::wstring(1, c);
    }
    return out;
}

// WM_GETTEXT crosses the process boundary (the system copies the text back);
// the timeout keeps a busy window from hanging the probe.
std::wstring textOf(HWND window) {
    wchar_t buffer[1024] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                             &length)) {
        return L"?";
    }
    return std::wstring(buffer, length);
}

// --- The stand-in's windows ------------------------------------------------------

std::wstring imagePath(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return L"?";
    wchar_t buffer[MAX_PATH];
    const DWORD length = K32GetProcessImageFileNameW(process, buffer, MAX_PATH);
    CloseHandle(process);
    return std::wstring(buffer, length);
}

BOOL CALLBACK addStandInWindow(HWND window, LPARAM list) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    const std::wstring className = name;
    if (className == L"Chrome_WidgetWin_1" || className == L"TeamsWebView" || className == L"LyncWindow") {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

std::vector<HWND> standInWindows() {
    std::vector<HWND> found;
    EnumWindows(addStandInWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring titleOf(HWND window) {
    wchar_t buffer[512];
    const int length = GetWindowTextW(window, buffer, 512);
    return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

int list(const wchar_t* out) {
    std::wstring text;
    wchar_t handle[32];
    for (HWND window : standInWindows()) {
        wsprintfW(handle, L"%p", static_cast<void*>(window));
        text += std::wstring(handle) + L"|" + titleOf(window) + L"|" + (IsWindowVisible(window) ? L"1" : L"0") + L"|" +
                hex(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))) + L"|" + imagePath(window) + L"\n";
    }
    return tools::writeUtf8File(out, text) ? 0 : 3;
}

int sendShiftCtrlS(const wchar_t* timeFile) {
    INPUT inputs[6] = {};
    const WORD keys[3] = {VK_LSHIFT, VK_LCONTROL, 'S'};
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = inputs[5 - i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = inputs[5 - i].ki.wVk = keys[i];
        inputs[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    const long long sentAt = tools::nowMicroseconds();
    if (SendInput(6, inputs, sizeof(INPUT)) != 6) return 3;
    return timeFile == nullptr || tools::writeUtf8File(timeFile, std::to_wstring(sentAt) + L"\n") ? 0 : 3;
}

int postSysCommand(WPARAM command, const std::wstring& titlePart) {
    for (HWND window : standInWindows()) {
        if (titleOf(window).find(titlePart) != std::wstring::npos) {
            return PostMessageW(window, WM_SYSCOMMAND, command, 0) ? 0 : 3;
        }
    }
    return 2;
}

// --- The status window and the program's resources -----------------------------

HWND findStatusWindow(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const HWND window = FindWindowW(L"QX7RMIRROWCAST", nullptr);
        if (window != nullptr && IsWindowVisible(window)) return window;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(20);
    }
}

struct ControlList {
    HWND parent;
    std::wstring text;
};

BOOL CALLBACK describeControl(HWND control, LPARAM context) {
    auto& list = *reinterpret_cast<ControlList*>(context);
    wchar_t className[64] = {};
    GetClassNameW(control, className, 64);
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, list.parent, reinterpret_cast<POINT*>(&r), 2);
    const std::wstring id = number(GetDlgCtrlID(control));
    const std::wstring prefix = L"control." + id + L".";
    list.text += prefix + L"class=" + className + L"\n";
    list.text += prefix + L"style=" + hex(static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE))) + L"\n";
    list.text += prefix + L"rect=" + rectText(r) + L"\n";
    list.text += prefix + L"visible=" + number(IsWindowVisible(control) ? 1 : 0) + L"\n";
    list.text += prefix + L"text=" + escaped(textOf(control)) + L"\n";
    list.text += L"controls+=" + id + L"\n";
    return TRUE;
}

int showStatus(const wchar_t* out, DWORD timeoutMs) {
    const HWND window = findStatusWindow(timeoutMs);
    if (window == nullptr) return 2;
    RECT r{};
    GetWindowRect(window, &r);
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&client, origin.x, origin.y);
    std::wstring text = L"title=" + titleOf(window) + L"\nrect=" + rectText(r) + L"\nclient=" + rectText(client) +
                        L"\nstyle=" + hex(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))) + L"\nexstyle=" +
                        hex(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))) + L"\nclassstyle=" +
                        hex(GetClassLongPtrW(window, GCL_STYLE)) + L"\n";
    ControlList controls{window, L""};
    EnumChildWindows(window, describeControl, reinterpret_cast<LPARAM>(&controls));
    return tools::writeUtf8File(out, text + controls.text) ? 0 : 3;
}

int postToStatus(UINT message, WPARAM wParam, int controlId = 0) {
    const HWND window = findStatusWindow(5000);
    const HWND target = window != nullptr && controlId != 0 ? GetDlgItem(window, controlId) : window;
    if (target == nullptr) return 2;
    return PostMessageW(target, message, wParam, 0) ? 0 : 3;
}

BOOL CALLBACK describeTopLevel(HWND window, LPARAM context) {
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t className[256] = {};
    GetClassNameW(window, className, 256);
    *reinterpret_cast<std::wstring*>(context) += std::wstring(className) + L"|" + escaped(titleOf(window)) + L"\n";
    return TRUE;
}

int windows(const wchar_t* out) {
    std::wstring text;
    EnumWindows(describeTopLevel, reinterpret_cast<LPARAM>(&text));
    return tools::writeUtf8File(out, text) ? 0 : 3;
}

// "<width>x<height>" of an icon.
std::wstring sizeOf(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return L"unreadable";
    BITMAP bitmap{};
    GetObjectW(info.hbmMask, sizeof(bitmap), &bitmap);
    // Without a colour bitmap the mask holds the AND and XOR halves.
    const long height = info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2;
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return number(bitmap.bmWidth) + L"x" + number(height);
}

std::wstring versionText(DWORD high, DWORD low) {
    return number(HIWORD(high)) + L"." + number(LOWORD(high)) + L"." + number(HIWORD(low)) + L"." + number(LOWORD(low));
}

int resources(const wchar_t* exe, const wchar_t* out) {
    std::wstring text;
    const HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return 3;
    for (UINT id : {103u, 109u, 130u}) {
        wchar_t buffer[256] = {};
        LoadStringW(module, id, buffer, 256);
        text += L"string." + number(static_cast<long>(id)) + L"=" + buffer + L"\n";
    }
    for (WORD id : {WORD{107}, WORD{108}}) {
        const auto icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, 0));
        text += L"icon." + number(id) + L"=" + (icon != nullptr ? sizeOf(icon) : std::wstring(L"none")) + L"\n";
        if (icon != nullptr) DestroyIcon(icon);
    }
    FreeLibrary(module);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe, &ignored);
    std::string data(size, '\0');
    if (size == 0 || !GetFileVersionInfoW(exe, 0, size, data.data())) return 3;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr) {
        text += L"fixed.file=" + versionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + L"\n";
        text += L"fixed.product=" + versionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + L"\n";
    }
    for (const wchar_t* name :
         {L"CompanyName", L"FileDescription", L"FileVersion", L"ProductName", L"ProductVersion", L"OriginalFilename"}) {
        void* value = nullptr;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        const bool found = VerQueryValueW(data.data(), path.c_str(), &value, &length) && length != 0;
        text += std::wstring(L"version.") + name + L"=" + (found ? static_cast<const wchar_t*>(value) : L"") + L"\n";
    }
    return tools::writeUtf8File(out, text) ? 0 : 3;
}

// --- Processes and files ------------------------------------------------------

int echoArguments(int argc, wchar_t** argv) {
    std::wstring text = std::wstring(GetCommandLineW()) + L"\n";
    for (int i = 3; i < argc; ++i) text += std::wstring(argv[i]) + L"\n";
    return tools::writeUtf8File(argv[2], text) ? 0 : 3;
}

int writeToParentConsole(const std::wstring& text, int exitCode) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return 3;
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return 3;
    const std::wstring line = text + L"\n";
    DWORD written = 0;
    const BOOL ok = WriteConsoleW(console, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(console);
    return ok ? exitCode : 3;
}

int launch(const wchar_t* file) {
    std::wstring commandLine = tools::fromUtf8(tools::readBytes(file));
    if (commandLine.empty()) return 250;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 251;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 252;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int hold(const wchar_t* path, int holdMs, int times, int gapMs) {
    int held = 0;
    for (int i = 0; i < times; ++i) {
        const HANDLE file =
            CreateFileW(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            if (++held == 1) {
                std::printf("holding\n");  // a test can wait for this line
                std::fflush(stdout);
            }
            Sleep(static_cast<DWORD>(holdMs));
            CloseHandle(file);
        }
        Sleep(static_cast<DWORD>(gapMs));
    }
    std::printf("held %d of %d\n", held, times);
    return held > 0 ? 0 : 1;
}

int follow(const wchar_t* path, int holdMs) {
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    Sleep(static_cast<DWORD>(holdMs));
    CloseHandle(file);
    return 0;
}

int holdMutex(const wchar_t* name, int holdMs, bool abandon) {
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    if (mutex == nullptr || WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0) return 3;
    Sleep(static_cast<DWORD>(holdMs));
    if (abandon) ExitProcess(0);  // still the owner: the mutex is abandoned
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}

int run(int argc, wchar_t** argv) {
    const std::wstring mode = argc >= 2 ? argv[1] : L"";
    const auto is = [&](const wchar_t* name, int minArgs, int maxArgs) {
        return mode == name && argc - 2 >= minArgs && argc - 2 <= maxArgs;
    };
    if (is(L"list", 1, 1)) return list(argv[2]);
    if (is(L"keys", 0, 1)) return sendShiftCtrlS(argc == 3 ? argv[2] : nullptr);
    if (is(L"minimize", 1, 1)) return postSysCommand(SC_MINIMIZE, argv[2]);
    if (is(L"close", 1, 1)) return postSysCommand(SC_CLOSE, argv[2]);
    if (is(L"status", 1, 2)) return showStatus(argv[2], argc == 4 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000);
    if (is(L"click", 1, 1)) return postToStatus(BM_CLICK, 0, _wtoi(argv[2]));
    if (is(L"close-status", 0, 0)) return postToStatus(WM_CLOSE, 0);
    if (is(L"close-status-box", 0, 0)) return postToStatus(WM_SYSCOMMAND, SC_CLOSE);
    if (is(L"windows", 1, 1)) return windows(argv[2]);
    if (is(L"resources", 2, 2)) return resources(argv[2], argv[3]);
    if (is(L"args", 1, 1000)) return echoArguments(argc, argv);
    if (is(L"console", 1, 2)) return writeToParentConsole(argv[2], argc == 4 ? _wtoi(argv[3]) : 0);
    if (is(L"launch", 1, 1)) return launch(argv[2]);
    if (is(L"hold", 4, 4)) return hold(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
    if (is(L"follow", 2, 2)) return follow(argv[2], _wtoi(argv[3]));
    if (is(L"mutex", 3, 3)) return holdMutex(argv[2], _wtoi(argv[3]), std::wstring(argv[4]) == L"abandon");
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 1;
    const int result = run(argc, argv);
    LocalFree(argv);
    return result;
}
