// Test-only probe for the utility's status window, run inside the same Wine
// prefix: it reads the window and its controls the way another program sees
// them, clicks them and closes the window, and reads the program's resources.
//
//   status_probe show <out> [timeout ms]   waits for the visible status window
//       (class QX7RMIRROWCAST), then writes key=value lines: the window's
//       rectangle, client area, styles and title, and for each control its id,
//       class, style, rectangle in the window's client area and text
//       (WM_GETTEXT, so an edit control answers with what it really holds)
//   status_probe click <id>                posts BM_CLICK to that control;
//       posted, not sent: the test button keeps the window busy for up to a
//       minute and the probe must not wait for it
//   status_probe close | syscommand-close  posts WM_CLOSE, or WM_SYSCOMMAND
//       SC_CLOSE as the caption's close box does
//   status_probe windows <out>             one line per visible top-level
//       window: <class>|<title>
//   status_probe resources <exe> <out>     strings 103/109/130, icons 107/108
//       with their sizes, and the version information of <exe>
//
// Class icons cannot be read from another process (GetClassLongPtrW answers
// 0 across processes under Wine); the test compares the caption's icon on
// screen with the icon file instead.
//
// Text is written as UTF-8; line breaks inside a text are written as \r and \n.
// Exit codes: 0 done, 1 bad usage, 2 no status window, 3 a Windows call failed.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "../common/utf8_files.h"

namespace {

constexpr wchar_t kStatusClass[] = L"QX7RMIRROWCAST";

std::wstring escaped(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r') {
            out += L"\\r";
        } else if (c == L'\n') {
            out += L"\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring hex(ULONG_PTR value)
{
    wchar_t buffer[32];
    wsprintfW(buffer, L"%08lX", static_cast<unsigned long>(value));
    return buffer;
}

std::wstring number(long value) { return std::to_wstring(value); }

// WM_GETTEXT crosses the process boundary (the system copies the text back);
// the timeout keeps a busy window from hanging the probe.
std::wstring textOf(HWND window)
{
    wchar_t buffer[1024] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                             &length)) {
        return L"?";
    }
    return std::wstring(buffer, length);
}

// "<width>x<height>" of an icon.
std::wstring sizeOf(HICON icon)
{
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

HWND findStatusWindow(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const HWND window = FindWindowW(kStatusClass, nullptr);
        if (window != nullptr && IsWindowVisible(window)) return window;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(20);
    }
}

struct ControlList {
    HWND parent;
    std::wstring text;
};

BOOL CALLBACK describeControl(HWND control, LPARAM context)
{
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
    list.text += prefix + L"rect=" + number(r.left) + L"," + number(r.top) + L"," + number(r.right - r.left) + L"," +
                 number(r.bottom - r.top) + L"\n";
    list.text += prefix + L"visible=" + number(IsWindowVisible(control) ? 1 : 0) + L"\n";
    list.text += prefix + L"text=" + escaped(textOf(control)) + L"\n";
    list.text += L"controls+=" + id + L"\n";
    return TRUE;
}

int show(const wchar_t* out, DWORD timeoutMs)
{
    const HWND window = findStatusWindow(timeoutMs);
    if (window == nullptr) return 2;
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    RECT r{};
    GetWindowRect(window, &r);
    RECT client{};
    GetClientRect(window, &client);
    std::wstring text;
    text += L"title=" + std::wstring(title) + L"\n";
    text += L"rect=" + number(r.left) + L"," + number(r.top) + L"," + number(r.right - r.left) + L"," +
            number(r.bottom - r.top) + L"\n";
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    text += L"client=" + number(origin.x) + L"," + number(origin.y) + L"," + number(client.right) + L"," +
            number(client.bottom) + L"\n";
    text += L"style=" + hex(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))) + L"\n";
    text += L"exstyle=" + hex(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))) + L"\n";
    text += L"classstyle=" + hex(GetClassLongPtrW(window, GCL_STYLE)) + L"\n";
    ControlList list{window, L""};
    EnumChildWindows(window, describeControl, reinterpret_cast<LPARAM>(&list));
    text += list.text;
    return tools::writeUtf8File(out, text) ? 0 : 3;
}

int click(int id)
{
    const HWND window = findStatusWindow(5000);
    if (window == nullptr) return 2;
    const HWND control = GetDlgItem(window, id);
    if (control == nullptr) return 2;
    return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 3;
}

int close(bool asSysCommand)
{
    const HWND window = findStatusWindow(5000);
    if (window == nullptr) return 2;
    const BOOL ok = asSysCommand ? PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) : PostMessageW(window, WM_CLOSE, 0, 0);
    return ok ? 0 : 3;
}

BOOL CALLBACK describeTopLevel(HWND window, LPARAM context)
{
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t className[256] = {};
    wchar_t title[256] = {};
    GetClassNameW(window, className, 256);
    GetWindowTextW(window, title, 256);
    *reinterpret_cast<std::wstring*>(context) += std::wstring(className) + L"|" + escaped(title) + L"\n";
    return TRUE;
}

int windows(const wchar_t* out)
{
    std::wstring text;
    EnumWindows(describeTopLevel, reinterpret_cast<LPARAM>(&text));
    return tools::writeUtf8File(out, text) ? 0 : 3;
}

std::wstring versionString(const void* data, const wchar_t* name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(data, path.c_str(), &value, &length) || length == 0) return L"";
    return std::wstring(static_cast<const wchar_t*>(value));
}

int resources(const wchar_t* exe, const wchar_t* out)
{
    std::wstring text;
    const HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return 3;
    for (UINT id : {103u, 109u, 130u}) {
        wchar_t buffer[256] = {};
        LoadStringW(module, id, buffer, 256);
        text += L"string." + number(static_cast<long>(id)) + L"=" + buffer + L"\n";
    }
    for (WORD id : {WORD{107}, WORD{108}}) {
        const auto icon =
            static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, 0));
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
        text += L"fixed.file=" + number(HIWORD(fixed->dwFileVersionMS)) + L"." + number(LOWORD(fixed->dwFileVersionMS)) +
                L"." + number(HIWORD(fixed->dwFileVersionLS)) + L"." + number(LOWORD(fixed->dwFileVersionLS)) + L"\n";
        text += L"fixed.product=" + number(HIWORD(fixed->dwProductVersionMS)) + L"." +
                number(LOWORD(fixed->dwProductVersionMS)) + L"." + number(HIWORD(fixed->dwProductVersionLS)) + L"." +
                number(LOWORD(fixed->dwProductVersionLS)) + L"\n";
    }
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"ProductName", L"ProductVersion",
                                L"OriginalFilename"}) {
        text += std::wstring(L"version.") + name + L"=" + versionString(data.data(), name) + L"\n";
    }
    return tools::writeUtf8File(out, text) ? 0 : 3;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 2) return 1;
    const std::wstring mode = argv[1];
    int result = 1;
    if (mode == L"show" && (argc == 3 || argc == 4)) {
        result = show(argv[2], argc == 4 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000);
    } else if (mode == L"click" && argc == 3) {
        result = click(_wtoi(argv[2]));
    } else if (mode == L"close" && argc == 2) {
        result = close(false);
    } else if (mode == L"syscommand-close" && argc == 2) {
        result = close(true);
    } else if (mode == L"windows" && argc == 3) {
        result = windows(argv[2]);
    } else if (mode == L"resources" && argc == 4) {
        result = resources(argv[2], argv[3]);
    }
    LocalFree(argv);
    return result;
}
