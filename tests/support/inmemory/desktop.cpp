// The in-memory machine's desktop: top-level windows in z-order, their owning
// processes, posted window commands (which take effect, as on a real desktop)
// and recorded keyboard input.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "inmemory/machine.h"

namespace inmemory {

using namespace detail;

namespace {

std::list<Window>::iterator placeOf(win::HWND handle)
{
    Machine& m = machine();
    const auto found = m.windowIndex.find(handle);
    return found != m.windowIndex.end() ? found->second : m.windows.end();
}

Window* findWindow(win::HWND handle)
{
    const auto place = placeOf(handle);
    return place != machine().windows.end() ? &*place : nullptr;
}

win::HWND insertWindow(std::list<Window>::iterator before, win::HWND handle, const WindowTraits& traits)
{
    Machine& m = machine();
    m.windowIndex[handle] = m.windows.insert(before, Window{handle, traits});
    return handle;
}

void eraseWindow(std::list<Window>::iterator place)
{
    Machine& m = machine();
    m.windowIndex.erase(place->handle);
    m.windows.erase(place);
}

win::HWND makeHandle()
{
    Machine& m = machine();
    const std::uintptr_t value = m.nextWindow;
    m.nextWindow += 0x10;
    return reinterpret_cast<win::HWND>(value);
}

}  // namespace

win::DWORD addProcess(const std::u16string& imagePath)
{
    Machine& m = machine();
    const win::DWORD id = m.nextProcessId;
    m.nextProcessId += 4;
    m.processes[id] = Process{imagePath, false};
    return id;
}

void denyProcessAccess(win::DWORD processId) { machine().processes[processId].accessDenied = true; }

void endProcess(win::DWORD processId)
{
    Machine& m = machine();
    m.processes.erase(processId);
    for (auto place = m.windows.begin(); place != m.windows.end();) {
        const auto next = std::next(place);
        if (place->traits.processId == processId) {
            eraseWindow(place);
        }
        place = next;
    }
}

win::HWND addWindow(const WindowTraits& traits)
{
    return insertWindow(machine().windows.begin(), makeHandle(), traits);
}

win::HWND addWindowAtBottom(const WindowTraits& traits)
{
    return insertWindow(machine().windows.end(), makeHandle(), traits);
}

void setWindowVisible(win::HWND window, bool visible)
{
    if (Window* w = findWindow(window)) {
        w->traits.visible = visible;
    }
}

void setWindowTitle(win::HWND window, const std::u16string& title)
{
    if (Window* w = findWindow(window)) {
        w->traits.title = title;
    }
}

void setWindowMinimized(win::HWND window, bool minimized)
{
    if (Window* w = findWindow(window)) {
        w->traits.minimized = minimized;
    }
}

void destroyWindow(win::HWND window)
{
    const auto place = placeOf(window);
    if (place != machine().windows.end()) {
        eraseWindow(place);
    }
}

bool windowExists(win::HWND window) { return findWindow(window) != nullptr; }

bool windowMinimized(win::HWND window)
{
    const Window* w = findWindow(window);
    return w != nullptr && w->traits.minimized;
}

win::HWND unusedWindowHandle() { return makeHandle(); }

const std::vector<PostedMessage>& postedMessages() { return machine().posted; }
const std::vector<SentInput>& sentInput() { return machine().input; }
void onSendInput(std::function<void()> action) { machine().afterSendInput = std::move(action); }

}  // namespace inmemory

namespace win {

using namespace inmemory::detail;
using inmemory::detail::machine;
using inmemory::detail::Window;

HWND FindWindowExW(HWND parent, HWND after, const char16_t* className, const char16_t* title)
{
    if (enterFailing("FindWindowExW")) {
        return nullptr;
    }
    if (parent != nullptr || title != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto& windows = machine().windows;
    auto place = windows.begin();
    if (after != nullptr) {
        place = inmemory::placeOf(after);
        if (place == windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        ++place;
    }
    const std::u16string wanted = fold(className != nullptr ? className : u"");
    for (; place != windows.end(); ++place) {
        if (className == nullptr || fold(place->traits.className) == wanted) {
            return place->handle;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return nullptr;
}

BOOL IsWindowVisible(HWND window)
{
    if (enterFailing("IsWindowVisible")) {
        return FALSE;
    }
    const Window* w = inmemory::findWindow(window);
    return w != nullptr && w->traits.visible ? TRUE : FALSE;
}

int GetWindowTextW(HWND window, char16_t* buffer, int maxCount)
{
    // Windows promises nothing about the buffer when the call fails: here it
    // is left full and unterminated, so a caller that reads it anyway shows.
    const auto failed = [&] {
        for (int i = 0; i < maxCount; ++i) {
            buffer[i] = u'?';
        }
        return 0;
    };
    if (enterFailing("GetWindowTextW")) {
        return failed();
    }
    const Window* w = inmemory::findWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return failed();
    }
    if (maxCount <= 0) {
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(w->traits.title.size(), static_cast<std::size_t>(maxCount - 1));
    std::memcpy(buffer, w->traits.title.data(), n * sizeof(char16_t));
    buffer[n] = 0;
    return static_cast<int>(n);
}

LONG GetWindowLongW(HWND window, int index)
{
    if (enterFailing("GetWindowLongW")) {
        return 0;
    }
    const Window* w = inmemory::findWindow(window);
    if (w == nullptr || index != GWL_STYLE) {
        SetLastError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return 0;
    }
    LONG style = 0x00CF0000;  // WS_OVERLAPPEDWINDOW
    if (w->traits.visible) {
        style |= WS_VISIBLE;
    }
    if (w->traits.minimized) {
        style |= WS_MINIMIZE;
    }
    return style;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId)
{
    if (enterFailing("GetWindowThreadProcessId")) {
        return 0;
    }
    const Window* w = inmemory::findWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId != nullptr) {
        *processId = w->traits.processId;
    }
    return w->traits.processId + 1;
}

HANDLE OpenProcess(DWORD desiredAccess, BOOL, DWORD processId)
{
    if (enterFailing("OpenProcess")) {
        return nullptr;
    }
    auto it = machine().processes.find(processId);
    if (it == machine().processes.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (it->second.accessDenied) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return asHandle(newHandle(OpenHandle{HandleKind::Process, u"", desiredAccess, 0, processId}));
}

DWORD K32GetProcessImageFileNameW(HANDLE process, char16_t* buffer, DWORD size)
{
    if (enterFailing("K32GetProcessImageFileNameW")) {
        return 0;
    }
    OpenHandle* open = findHandle(handleValue(process));
    if (open == nullptr || open->kind != HandleKind::Process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if ((open->access & PROCESS_QUERY_LIMITED_INFORMATION) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    auto it = machine().processes.find(open->processId);
    if (it == machine().processes.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const std::u16string& path = it->second.imagePath;
    if (path.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(char16_t));
    return static_cast<DWORD>(path.size());
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (enterFailing("PostMessageW")) {
        return FALSE;
    }
    Window* w = inmemory::findWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    machine().posted.push_back(inmemory::PostedMessage{window, message, wParam, lParam, machine().now});
    // The window obeys, as a real window's default processing would.
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MINIMIZE) {
        w->traits.minimized = true;
    } else if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        inmemory::destroyWindow(window);
    }
    return TRUE;
}

UINT SendInput(UINT count, const KEYBDINPUT* records)
{
    if (enterFailing("SendInput")) {
        return 0;
    }
    machine().input.push_back(inmemory::SentInput{std::vector<KEYBDINPUT>(records, records + count), machine().now});
    if (machine().afterSendInput) {
        machine().afterSendInput();
    }
    return count;
}

}  // namespace win
