// The desktop's top-level windows, their owning processes, window commands and
// synthesised keyboard input. Handles of other programs' windows are only
// compared and passed back; nothing here owns them.
#pragma once

#include "winapi/types.h"

namespace win {

constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr int GWL_STYLE = -16;
constexpr LONG WS_MINIMIZE = 0x20000000;
constexpr LONG WS_VISIBLE = 0x10000000;
constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;

constexpr DWORD INPUT_KEYBOARD = 1;
constexpr DWORD KEYEVENTF_KEYUP = 0x0002;
constexpr DWORD KEYEVENTF_UNICODE = 0x0004;
constexpr WORD VK_LSHIFT = 0xA0;
constexpr WORD VK_LCONTROL = 0xA2;

// One keyboard INPUT record (type INPUT_KEYBOARD); the program sends no mouse
// or hardware input.
struct KEYBDINPUT {
    WORD wVk;
    WORD wScan;
    DWORD dwFlags;
    DWORD time;
    ULONG_PTR dwExtraInfo;
};

// Next top-level window after `after` (null: the topmost) whose class equals
// className, in z-order from the top; null after the last. parent and title
// are always null in this program.
HWND FindWindowExW(HWND parent, HWND after, const char16_t* className, const char16_t* title);
BOOL IsWindowVisible(HWND window);
// Copies at most maxCount - 1 characters and terminates; returns the length
// copied, 0 for no title or no window.
int GetWindowTextW(HWND window, char16_t* buffer, int maxCount);
LONG GetWindowLongW(HWND window, int index);
// The owning thread id, 0 when the window does not exist; *processId receives
// the owning process id (left alone when the window does not exist).
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
// The process image path in device form; 0 on failure (122 when it does not fit).
DWORD K32GetProcessImageFileNameW(HANDLE process, char16_t* buffer, DWORD size);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Injects the records as one uninterrupted sequence; returns how many went in.
UINT SendInput(UINT count, const KEYBDINPUT* records);

}  // namespace win
