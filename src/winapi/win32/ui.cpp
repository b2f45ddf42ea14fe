// The program's own window on the real Win32 API.
#include "winapi/ui.h"

#include "win32_common.h"

#include <shellapi.h>

namespace win {

using detail::native;
using detail::ours;
using detail::wide;

namespace {

template <class To, class From>
To cast(From value)
{
    return reinterpret_cast<To>(value);
}

// The layer's procedures take the layer's handle types. Rather than cast one
// function type to the other (undefined, and wrong wherever the calling
// conventions differ), every class registered here gets this one native
// procedure, which finds the layer procedure by the window's class atom.
struct RegisteredProcedure {
    ::ATOM atom;
    WNDPROC procedure;
};
RegisteredProcedure registeredProcedures[8] = {};

::LRESULT CALLBACK nativeProcedure(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam)
{
    const auto atom = static_cast<::ATOM>(::GetClassLongPtrW(window, GCW_ATOM));
    for (const RegisteredProcedure& entry : registeredProcedures) {
        if (entry.atom != 0 && entry.atom == atom) {
            return entry.procedure(ours(window), message, wParam, lParam);
        }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

::MSG nativeMessage(const MSG& message)
{
    ::MSG out{};
    out.hwnd = native(message.hwnd);
    out.message = message.message;
    out.wParam = message.wParam;
    out.lParam = message.lParam;
    out.time = message.time;
    out.pt.x = message.pt.x;
    out.pt.y = message.pt.y;
    return out;
}

}  // namespace

int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int maxCount)
{
    return ::LoadStringW(cast<::HINSTANCE>(instance), id, wide(buffer), maxCount);
}

HICON LoadIconW(HINSTANCE instance, const char16_t* name)
{
    return cast<HICON>(::LoadIconW(cast<::HINSTANCE>(instance), wide(name)));
}

HCURSOR LoadCursorW(HINSTANCE instance, const char16_t* name)
{
    return cast<HCURSOR>(::LoadCursorW(cast<::HINSTANCE>(instance), wide(name)));
}

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass)
{
    std::size_t slot = 0;
    while (slot < sizeof(registeredProcedures) / sizeof(registeredProcedures[0]) &&
           registeredProcedures[slot].atom != 0) {
        ++slot;
    }
    if (slot == sizeof(registeredProcedures) / sizeof(registeredProcedures[0]) ||
        windowClass->lpfnWndProc == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    ::WNDCLASSEXW c{};
    c.cbSize = sizeof(c);
    c.style = windowClass->style;
    c.lpfnWndProc = nativeProcedure;
    c.cbClsExtra = windowClass->cbClsExtra;
    c.cbWndExtra = windowClass->cbWndExtra;
    c.hInstance = cast<::HINSTANCE>(windowClass->hInstance);
    c.hIcon = cast<::HICON>(windowClass->hIcon);
    c.hCursor = cast<::HCURSOR>(windowClass->hCursor);
    c.hbrBackground = cast<::HBRUSH>(windowClass->hbrBackground);
    c.lpszMenuName = wide(windowClass->lpszMenuName);
    c.lpszClassName = wide(windowClass->lpszClassName);
    c.hIconSm = cast<::HICON>(windowClass->hIconSm);
    // Entered before registration: no window of the class can exist earlier.
    const ::ATOM atom = ::RegisterClassExW(&c);
    if (atom != 0) {
        registeredProcedures[slot] = RegisteredProcedure{atom, windowClass->lpfnWndProc};
    }
    return atom;
}

HWND CreateWindowExW(DWORD exStyle, const char16_t* className, const char16_t* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param)
{
    return ours(::CreateWindowExW(exStyle, wide(className), wide(title), style, x, y, width, height, native(parent),
                                  cast<::HMENU>(menu), cast<::HINSTANCE>(instance), param));
}

BOOL ShowWindow(HWND window, int command) { return ::ShowWindow(native(window), command); }

BOOL UpdateWindow(HWND window) { return ::UpdateWindow(native(window)); }

HWND GetDesktopWindow() { return ours(::GetDesktopWindow()); }

BOOL GetClientRect(HWND window, RECT* rect)
{
    ::RECT r{};
    const BOOL ok = ::GetClientRect(native(window), &r);
    if (ok) {
        *rect = RECT{r.left, r.top, r.right, r.bottom};
    }
    return ok;
}

HMENU GetMenu(HWND window) { return cast<HMENU>(::GetMenu(native(window))); }

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageW(native(window), message, wParam, lParam);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(native(window), message, wParam, lParam);
}

BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax)
{
    ::MSG m{};
    const BOOL result = ::GetMessageW(&m, native(window), filterMin, filterMax);
    if (result != -1) {
        *message = MSG{ours(m.hwnd), m.message, m.wParam, m.lParam, m.time, POINT{m.pt.x, m.pt.y}};
    }
    return result;
}

BOOL TranslateMessage(const MSG* message)
{
    const ::MSG m = nativeMessage(*message);
    return ::TranslateMessage(&m);
}

LRESULT DispatchMessageW(const MSG* message)
{
    const ::MSG m = nativeMessage(*message);
    return ::DispatchMessageW(&m);
}

void PostQuitMessage(int exitCode) { ::PostQuitMessage(exitCode); }

HBRUSH CreateSolidBrush(COLORREF color) { return cast<HBRUSH>(::CreateSolidBrush(color)); }

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outputPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char16_t* faceName)
{
    return cast<HFONT>(::CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                                     charSet, outputPrecision, clipPrecision, quality, pitchAndFamily,
                                     wide(faceName)));
}

BOOL DeleteObject(HGDIOBJ object) { return ::DeleteObject(static_cast<::HGDIOBJ>(object)); }

HGDIOBJ GetStockObject(int index) { return ::GetStockObject(index); }

COLORREF SetTextColor(HDC dc, COLORREF color) { return ::SetTextColor(cast<::HDC>(dc), color); }

int SetBkMode(HDC dc, int mode) { return ::SetBkMode(cast<::HDC>(dc), mode); }

HINSTANCE ShellExecuteW(HWND owner, const char16_t* verb, const char16_t* file, const char16_t* parameters,
                        const char16_t* directory, int showCommand)
{
    return cast<HINSTANCE>(
        ::ShellExecuteW(native(owner), wide(verb), wide(file), wide(parameters), wide(directory), showCommand));
}

}  // namespace win
