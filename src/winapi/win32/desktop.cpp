// The desktop's windows, system commands and keyboard input on the real API.
#include "winapi/desktop.h"

#include "win32_common.h"

#include <psapi.h>

#include <algorithm>

namespace win {

using detail::native;
using detail::ours;
using detail::wide;

namespace {

BOOL CALLBACK addToSnapshot(::HWND window, LPARAM context)
{
    auto& snapshot = *reinterpret_cast<WindowSnapshot*>(context);
    if (snapshot.count < WindowSnapshotCapacity) {
        snapshot.windows[snapshot.count++] = ours(window);
    } else {
        ++snapshot.dropped;
    }
    return TRUE;
}

// The count, not the buffer, is what a failed call promises anything about:
// terminate where it says the text ends.
void terminateAt(char16_t (&text)[WindowTextCapacity], int length)
{
    text[length > 0 && static_cast<std::size_t>(length) < WindowTextCapacity ? length : 0] = 0;
}

}  // namespace

void takeWindowSnapshot(WindowSnapshot& snapshot)
{
    // EnumWindows hands over the whole list of one moment; walking with
    // FindWindowExW from the window just passed ends the walk as soon as
    // that window is destroyed, and browsers make and destroy windows of
    // Teams' class all the time.
    snapshot.count = 0;
    snapshot.dropped = 0;
    ::EnumWindows(addToSnapshot, reinterpret_cast<LPARAM>(&snapshot));
}

bool addWindowsOfClass(const char16_t* className, WindowSnapshot& snapshot)
{
    // FindWindowExW goes on from the window passed last, and finds nothing
    // once that one has left the z-order, which IsWindow cannot tell: walks
    // have been seen to end at a window it still knew (one being destroyed,
    // most likely). So the walk takes an end only when the window passed
    // before the last one leads to it again; otherwise it goes on from
    // where that one leads now, or from the top.
    const std::size_t first = snapshot.count;
    const auto collected = [&](::HWND window) {
        HWND* const end = snapshot.windows + snapshot.count;
        return std::find(snapshot.windows + first, end, ours(window)) != end;
    };
    int detoursLeft = 8;
    std::size_t stepsLeft = 4 * WindowSnapshotCapacity;  // windows reordered as it walks never hold it
    ::HWND beforePrevious = nullptr;
    ::HWND previous = nullptr;
    while (stepsLeft-- > 0) {
        ::HWND next = ::FindWindowExW(nullptr, previous, wide(className), nullptr);
        if (next == nullptr && previous != nullptr) {
            if (detoursLeft-- == 0) {
                return false;
            }
            next = ::FindWindowExW(nullptr, beforePrevious, wide(className), nullptr);
            if (next == previous) {
                return true;
            }
            if (next == nullptr && beforePrevious != nullptr) {
                previous = nullptr;
                beforePrevious = nullptr;
                continue;
            }
        }
        if (next == nullptr) {
            return true;  // no window of the class (any more)
        }
        beforePrevious = previous;
        previous = next;
        if (collected(next)) {
            continue;
        }
        if (snapshot.count < WindowSnapshotCapacity) {
            snapshot.windows[snapshot.count++] = ours(next);
        } else {
            ++snapshot.dropped;
        }
    }
    return false;
}

bool readWindowState(HWND window, WindowFacts& facts)
{
    // The style of a window that is gone reads as 0 with an error: GetWindowTextW
    // cannot tell such a window from one without a title.
    ::SetLastError(ERROR_SUCCESS);
    const LONG style = ::GetWindowLongW(native(window), GWL_STYLE);
    if (style == 0 && ::GetLastError() != ERROR_SUCCESS) {
        facts.title[0] = 0;
        facts.titleCut = false;
        return false;
    }
    const int titleLength = ::GetWindowTextW(native(window), wide(facts.title), WindowTextCapacity);
    terminateAt(facts.title, titleLength);
    facts.titleCut = titleLength >= static_cast<int>(WindowTextCapacity) - 1;
    facts.visible = ::IsWindowVisible(native(window)) != FALSE;
    facts.minimized = (style & WS_MINIMIZE) != 0;
    return true;
}

bool readWindowFacts(HWND window, WindowFacts& facts)
{
    const int classLength = ::GetClassNameW(native(window), wide(facts.className), WindowTextCapacity);
    terminateAt(facts.className, classLength);
    if (classLength == 0 || !readWindowState(window, facts)) {
        facts.className[0] = 0;
        facts.title[0] = 0;
        facts.titleCut = false;
        return false;
    }
    return true;
}

std::size_t readWindowTitle(HWND window, char16_t* title, std::size_t capacity)
{
    if (capacity == 0) {
        return 0;
    }
    const int length = ::GetWindowTextW(native(window), wide(title), static_cast<int>(capacity));
    const std::size_t kept =
        length > 0 && static_cast<std::size_t>(length) < capacity ? static_cast<std::size_t>(length) : 0;
    title[kept] = 0;
    return kept;
}

bool isWindowVisible(HWND window) { return ::IsWindowVisible(native(window)) != FALSE; }

DWORD windowProcessId(HWND window)
{
    ::DWORD processId = 0;
    ::GetWindowThreadProcessId(native(window), &processId);
    return processId;
}

bool readWindowImagePath(HWND window, char16_t (&path)[ImagePathCapacity])
{
    const DWORD processId = windowProcessId(window);
    if (processId == 0) {
        return false;
    }
    // Limited query is enough to read the image name and, unlike full query,
    // is granted for elevated and protected processes too.
    const ::HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return false;
    }
    const ::DWORD length = ::K32GetProcessImageFileNameW(process, wide(path), ImagePathCapacity);
    ::CloseHandle(process);
    return length != 0 && length < ImagePathCapacity;
}

HWND foregroundWindow() { return ours(::GetForegroundWindow()); }

void bringToForeground(HWND window) { ::SetForegroundWindow(native(window)); }

HWND rootOwner(HWND window) { return ours(::GetAncestor(native(window), GA_ROOTOWNER)); }

DWORD postSystemCommand(HWND window, SystemCommand command)
{
    return ::PostMessageW(native(window), WM_SYSCOMMAND, static_cast<WPARAM>(command), 0) ? ERROR_SUCCESS
                                                                                          : ::GetLastError();
}

KeysSent sendKeys(const KEYBDINPUT* records, UINT count)
{
    // The program sends at most the six records of the answer shortcut.
    ::INPUT inputs[8] = {};
    if (count > 8) {
        return KeysSent{0, ERROR_INVALID_PARAMETER};
    }
    for (UINT i = 0; i < count; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = records[i].wVk;
        inputs[i].ki.wScan = records[i].wScan;
        inputs[i].ki.dwFlags = records[i].dwFlags;
        inputs[i].ki.time = records[i].time;
        inputs[i].ki.dwExtraInfo = records[i].dwExtraInfo;
    }
    const UINT sent = ::SendInput(count, inputs, sizeof(::INPUT));
    return KeysSent{sent, sent == count ? ERROR_SUCCESS : ::GetLastError()};
}

}  // namespace win
