// The program's own window: class registration, window and control creation,
// the message loop, fonts, colours, string and icon resources, and the shell's
// "open". Each function behaves as its Win32 namesake: same arguments, same
// results, the reason for a failure in GetLastError.
//
// Window procedures keep the Win32 signature; the win32 implementation calls
// them through a native procedure of its own, so nothing here depends on the
// SDK's calling-convention macros.
#pragma once

#include "winapi/types.h"

namespace win {

struct FontTag;
struct BrushTag;
struct IconTag;
struct MenuTag;
struct DcTag;
using HFONT = FontTag*;
using HBRUSH = BrushTag*;
using HICON = IconTag*;
using HCURSOR = HICON;
using HMENU = MenuTag*;
using HDC = DcTag*;
// As in Win32, any GDI object converts to HGDIOBJ without a cast.
using HGDIOBJ = void*;
using ATOM = WORD;
using COLORREF = DWORD;

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char16_t* lpszMenuName;
    const char16_t* lpszClassName;
    HICON hIconSm;
};

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

// A resource named by number rather than by text, as MAKEINTRESOURCEW.
inline const char16_t* MAKEINTRESOURCEW(WORD id)
{
    return reinterpret_cast<const char16_t*>(static_cast<std::uintptr_t>(id));
}
inline bool IS_INTRESOURCE(const char16_t* name)
{
    return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}
constexpr WORD LOWORD(WPARAM value) { return static_cast<WORD>(value & 0xFFFF); }
constexpr WORD HIWORD(WPARAM value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) { return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16); }

// --- Messages ----------------------------------------------------------------
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT BM_CLICK = 0x00F5;
constexpr WORD BN_CLICKED = 0;
constexpr WORD STN_CLICKED = 0;
constexpr WORD STN_DBLCLK = 1;

// --- Class and window styles -------------------------------------------------
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CHILD = 0x40000000u;
constexpr DWORD WS_BORDER = 0x00800000u;
constexpr DWORD WS_DLGFRAME = 0x00400000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_TABSTOP = 0x00010000u;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;
// WS_VISIBLE (0x10000000) is in desktop.h, with the other style bits the
// program reads from Teams windows.
constexpr DWORD ES_MULTILINE = 0x0004u;
constexpr DWORD ES_AUTOHSCROLL = 0x0080u;
constexpr DWORD ES_READONLY = 0x0800u;
constexpr DWORD SS_NOTIFY = 0x0100u;
constexpr DWORD BS_PUSHBUTTON = 0x0000u;
constexpr DWORD BS_LEFT = 0x0100u;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// --- GDI ---------------------------------------------------------------------
constexpr int FW_DONTCARE = 0;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD OUT_OUTLINE_PRECIS = 8;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD CLEARTYPE_QUALITY = 5;
constexpr DWORD VARIABLE_PITCH = 2;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int NULL_BRUSH = 5;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue)
{
    return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) | (static_cast<COLORREF>(blue) << 16);
}

inline const char16_t* const IDC_ARROW = MAKEINTRESOURCEW(32512);

// Errors of this area.
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_TLW_WITH_WSCHILD = 1406;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;

// --- Resources ---------------------------------------------------------------
// Copies string resource `id` of the module, at most maxCount - 1 characters,
// and terminates; returns the length copied, 0 when the string is missing
// (1814) or the module has no string table (1813).
int LoadStringW(HINSTANCE instance, UINT id, char16_t* buffer, int maxCount);
// Icon or cursor resource of the module, or (instance null) a system one;
// null when missing (1814). Shared handles: never destroyed by the caller.
HICON LoadIconW(HINSTANCE instance, const char16_t* name);
HCURSOR LoadCursorW(HINSTANCE instance, const char16_t* name);

// --- Windows -----------------------------------------------------------------
// The class atom, 0 on failure (1410 when a class of that name exists).
ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
// For a child (WS_CHILD) `menu` carries the control id. Sends WM_NCCREATE and
// WM_CREATE before it returns; null when the class is unknown (1407), a child
// has no parent (1406), or the procedure refused WM_CREATE (-1).
HWND CreateWindowExW(DWORD exStyle, const char16_t* className, const char16_t* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
// TRUE when the window was visible before the call.
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
HWND GetDesktopWindow();
// FALSE for a window that does not exist (1400).
BOOL GetClientRect(HWND window, RECT* rect);
// A child window's id (as the menu slot holds it), a top-level window's menu.
HMENU GetMenu(HWND window);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// --- Message loop ------------------------------------------------------------
// >0 for a message, 0 for WM_QUIT, -1 on failure (an invalid window filter or
// message pointer).
BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageW(const MSG* message);
void PostQuitMessage(int exitCode);

// --- GDI ---------------------------------------------------------------------
HBRUSH CreateSolidBrush(COLORREF color);
// null on failure.
HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outputPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char16_t* faceName);
// FALSE for a handle that is no GDI object; TRUE (and nothing done) for a
// stock object.
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
// The previous colour, CLR_INVALID for a bad device context.
COLORREF SetTextColor(HDC dc, COLORREF color);
// The previous mode, 0 for a bad device context.
int SetBkMode(HDC dc, int mode);

// --- Shell -------------------------------------------------------------------
// A value above 32 on success, an error code (2 file not found, 3 path not
// found, 5 access denied...) as the handle value otherwise.
HINSTANCE ShellExecuteW(HWND owner, const char16_t* verb, const char16_t* file, const char16_t* parameters,
                        const char16_t* directory, int showCommand);

}  // namespace win
