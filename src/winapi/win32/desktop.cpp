// Top-level windows, processes, window commands and keyboard input on the real
// Win32 API.
#include "winapi/desktop.h"

#include "win32_common.h"

#include <psapi.h>

namespace win {

using detail::native;
using detail::ours;
using detail::wide;

HWND FindWindowExW(HWND parent, HWND after, const char16_t* className, const char16_t* title)
{
    return ours(::FindWindowExW(native(parent), native(after), wide(className), wide(title)));
}

BOOL IsWindowVisible(HWND window) { return ::IsWindowVisible(native(window)); }

int GetWindowTextW(HWND window, char16_t* buffer, int maxCount)
{
    return ::GetWindowTextW(native(window), wide(buffer), maxCount);
}

LONG GetWindowLongW(HWND window, int index) { return ::GetWindowLongW(native(window), index); }

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId)
{
    ::DWORD pid = processId != nullptr ? *processId : 0;
    const DWORD thread = ::GetWindowThreadProcessId(native(window), &pid);
    if (processId != nullptr) {
        *processId = pid;
    }
    return thread;
}

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId)
{
    return ours(::OpenProcess(desiredAccess, inheritHandle, processId));
}

DWORD K32GetProcessImageFileNameW(HANDLE process, char16_t* buffer, DWORD size)
{
    return ::K32GetProcessImageFileNameW(native(process), wide(buffer), size);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageW(native(window), message, wParam, lParam);
}

UINT SendInput(UINT count, const KEYBDINPUT* records)
{
    // The program sends at most the six records of the answer shortcut.
    ::INPUT inputs[8] = {};
    if (count > 8) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (UINT i = 0; i < count; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = records[i].wVk;
        inputs[i].ki.wScan = records[i].wScan;
        inputs[i].ki.dwFlags = records[i].dwFlags;
        inputs[i].ki.time = records[i].time;
        inputs[i].ki.dwExtraInfo = records[i].dwExtraInfo;
    }
    return ::SendInput(count, inputs, sizeof(::INPUT));
}

}  // namespace win
