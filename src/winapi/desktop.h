// The desktop's top-level windows as the program sees them, and what it sends
// them: system commands and keyboard input.
#pragma once

#include "winapi/types.h"

namespace win {

constexpr std::size_t WindowSnapshotCapacity = 1024;
constexpr std::size_t WindowTextCapacity = 256;  // class names and titles: at most 255 characters
constexpr std::size_t ImagePathCapacity = 256;

// Every top-level window of the desktop, in z-order from the top, as one
// enumeration found them at one moment. Windows come and go afterwards: each
// entry is judged by what readWindowFacts finds when it is looked at. A desktop
// with more windows than the capacity keeps the top ones; `dropped` counts
// the rest. A failed enumeration leaves what it found up to the failure.
struct WindowSnapshot {
    std::size_t count = 0;
    std::size_t dropped = 0;
    HWND windows[WindowSnapshotCapacity];
};
void takeWindowSnapshot(WindowSnapshot& snapshot);
// Adds the top-level windows of one class (FindWindowExW), in z-order from
// the top, to those the snapshot holds, each once: a few calls where the
// whole desktop may hold a thousand windows. The handles are collected
// first and their facts read later. A window that goes while the walk
// passes it (browsers make and destroy windows of the classic client's
// class all the time) would end the walk there: an end is taken only once
// the window passed before leads to it again, and the walk otherwise goes
// on, a few times. False when the walk could not reach the class's last
// window (windows went too often, or it failed): what it added is a part.
[[nodiscard]] bool addWindowsOfClass(const char16_t* className, WindowSnapshot& snapshot);

struct WindowFacts {
    char16_t className[WindowTextCapacity];
    char16_t title[WindowTextCapacity];  // empty for a window without one
    bool titleCut;                       // the title filled the buffer: it may go on past what it holds
    bool visible;
    bool minimized;  // WS_MINIMIZE in the window's style
};
// The window's facts as they are now, texts cut to 255 characters and
// terminated. False when the window is gone (its class cannot be read).
[[nodiscard]] bool readWindowFacts(HWND window, WindowFacts& facts);
// What changes of a window: its title, visibility and minimised state, into
// `facts`, whose class is left as it is. False when the window is gone.
[[nodiscard]] bool readWindowState(HWND window, WindowFacts& facts);

// The window's title as it is now, up to capacity - 1 units (GetWindowTextW),
// terminated: its length, 0 for a window without a title or one that is gone.
// A length of capacity - 1 may be a title cut short.
constexpr std::size_t WholeTitleCapacity = 1024;
[[nodiscard]] std::size_t readWindowTitle(HWND window, char16_t* title, std::size_t capacity);

// The image path of the process that owns the window, in device form
// (\Device\HarddiskVolume1\...), opened for limited query only. False when the
// window is gone, the process cannot be opened or the path does not fit in
// 255 characters.
[[nodiscard]] bool readWindowImagePath(HWND window, char16_t (&path)[ImagePathCapacity]);

// Whether the window is visible now (IsWindowVisible; a minimised window
// stays visible): one question, for waits that ask it often. False when the
// window is gone.
[[nodiscard]] bool isWindowVisible(HWND window);
// The id of the process that owns the window (GetWindowThreadProcessId); 0
// when the window is gone.
[[nodiscard]] DWORD windowProcessId(HWND window);

// The window the user works in now (GetForegroundWindow): the keyboard focus
// is in it or in one of its children. Null while the foreground passes from
// one window to another.
[[nodiscard]] HWND foregroundWindow();
// Asks Windows to make the window the foreground window (SetForegroundWindow).
// Windows grants it only to a process that qualifies (for example one the
// foreground process started), and may refuse at once or later: whether it
// did shows in foregroundWindow, after a moment, and nowhere else.
void bringToForeground(HWND window);
// The window at the top of the window's chain of owners (GetAncestor with
// GA_ROOTOWNER); the window itself when it has no owner, null when it is gone.
[[nodiscard]] HWND rootOwner(HWND window);

// WM_SYSCOMMAND with these, lParam 0.
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_CLOSE = 0xF060;
enum class SystemCommand : WPARAM { Minimize = SC_MINIMIZE, Close = SC_CLOSE };
// Posts the command to the window, never sends it: a busy or hung window must
// not hold this process. ERROR_SUCCESS, or why the post failed (1400 for a
// window that is gone).
[[nodiscard]] DWORD postSystemCommand(HWND window, SystemCommand command);

constexpr DWORD KEYEVENTF_KEYUP = 0x0002;
constexpr DWORD KEYEVENTF_UNICODE = 0x0004;
constexpr WORD VK_LSHIFT = 0xA0;
constexpr WORD VK_LCONTROL = 0xA2;

// One keyboard input record, as SendInput takes it.
struct KEYBDINPUT {
    WORD wVk;
    WORD wScan;
    DWORD dwFlags;
    DWORD time;
    ULONG_PTR dwExtraInfo;
};
struct KeysSent {
    UINT sent;    // how many records went in
    DWORD error;  // why not all of them did
};
// Injects the records in one call, so that nothing the user types falls
// between them; they go to whichever window has the keyboard focus. A call
// blocked by a process of higher integrity injects nothing and says nothing.
[[nodiscard]] KeysSent sendKeys(const KEYBDINPUT* records, UINT count);

}  // namespace win
