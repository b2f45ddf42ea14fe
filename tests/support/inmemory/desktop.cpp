// The in-memory machine's desktop: top-level windows in z-order, their owning
// processes, posted window commands (which take effect, as on a real desktop)
// and recorded keyboard input.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "inmemory/machine.h"
#include "util/strings.h"

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
    m.processes[id] = Process{imagePath};
    return id;
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
void setForeground(win::HWND window) { machine().foreground = window; }
void refuseForeground() { machine().foregroundRefused = true; }
void setOwner(win::HWND window, win::HWND owner) { machine().owners[window] = owner; }
void setConsoleWindow(win::HWND window) { machine().consoleWindow = window; }

}  // namespace inmemory

namespace win {

using namespace inmemory::detail;
using inmemory::detail::machine;
using inmemory::detail::Window;

void takeWindowSnapshot(WindowSnapshot& snapshot)
{
    snapshot.count = 0;
    snapshot.dropped = 0;
    if (failsNow("takeWindowSnapshot")) {
        return;
    }
    for (const Window& w : machine().windows) {
        if (snapshot.count < WindowSnapshotCapacity) {
            snapshot.windows[snapshot.count++] = w.handle;
        } else {
            ++snapshot.dropped;
        }
    }
}

bool addWindowsOfClass(const char16_t* className, WindowSnapshot& snapshot)
{
    // A failure plays a walk that windows going as it passed them cut short.
    if (failsNow("addWindowsOfClass")) {
        return false;
    }
    const std::size_t first = snapshot.count;
    for (const Window& w : machine().windows) {
        if (util::compareNoCase(w.traits.className.c_str(), className) != 0 ||
            std::find(snapshot.windows + first, snapshot.windows + snapshot.count, w.handle) !=
                snapshot.windows + snapshot.count) {
            continue;
        }
        if (snapshot.count < WindowSnapshotCapacity) {
            snapshot.windows[snapshot.count++] = w.handle;
        } else {
            ++snapshot.dropped;
        }
    }
    return true;
}

namespace {
// The text as Windows would copy it: cut to the buffer and terminated.
void copyText(const std::u16string& text, char16_t (&buffer)[WindowTextCapacity])
{
    const std::size_t n = std::min(text.size(), WindowTextCapacity - 1);
    std::memcpy(buffer, text.data(), n * sizeof(char16_t));
    buffer[n] = 0;
}
}  // namespace

bool readWindowFacts(HWND window, WindowFacts& facts)
{
    // A window that goes between the snapshot and this look is gone for the
    // reader, as a destroyed window's class can no longer be read.
    // The fault and the hooks first: a hook may destroy the window.
    const bool fails = failsNow("readWindowFacts");
    const Window* w = inmemory::findWindow(window);
    if (fails || w == nullptr) {
        facts.className[0] = 0;
        facts.title[0] = 0;
        facts.titleCut = false;
        return false;
    }
    copyText(w->traits.className, facts.className);
    copyText(w->traits.title, facts.title);
    facts.titleCut = w->traits.title.size() >= WindowTextCapacity - 1;
    facts.visible = w->traits.visible;
    facts.minimized = w->traits.minimized;
    return true;
}

bool readWindowState(HWND window, WindowFacts& facts)
{
    const bool fails = failsNow("readWindowState");
    const Window* w = inmemory::findWindow(window);
    if (fails || w == nullptr) {
        facts.title[0] = 0;
        facts.titleCut = false;
        return false;
    }
    copyText(w->traits.title, facts.title);
    facts.titleCut = w->traits.title.size() >= WindowTextCapacity - 1;
    facts.visible = w->traits.visible;
    facts.minimized = w->traits.minimized;
    return true;
}

std::size_t readWindowTitle(HWND window, char16_t* title, std::size_t capacity)
{
    const bool fails = failsNow("readWindowTitle");
    const Window* w = inmemory::findWindow(window);
    if (capacity == 0) {
        return 0;
    }
    const std::size_t n = fails || w == nullptr ? 0 : std::min(w->traits.title.size(), capacity - 1);
    if (n > 0) {
        std::memcpy(title, w->traits.title.data(), n * sizeof(char16_t));
    }
    title[n] = 0;
    return n;
}

bool readWindowImagePath(HWND window, char16_t (&path)[ImagePathCapacity])
{
    const bool fails = failsNow("readWindowImagePath");
    const Window* w = inmemory::findWindow(window);
    if (fails || w == nullptr) {
        return false;
    }
    auto it = machine().processes.find(w->traits.processId);
    if (it == machine().processes.end() || it->second.imagePath.size() + 1 > ImagePathCapacity) {
        return false;
    }
    std::memcpy(path, it->second.imagePath.c_str(), (it->second.imagePath.size() + 1) * sizeof(char16_t));
    return true;
}

bool isWindowVisible(HWND window)
{
    const bool fails = failsNow("isWindowVisible");
    const Window* w = inmemory::findWindow(window);
    return !fails && w != nullptr && w->traits.visible;
}

DWORD windowProcessId(HWND window)
{
    const bool fails = failsNow("windowProcessId");
    const Window* w = inmemory::findWindow(window);
    return fails || w == nullptr ? 0 : w->traits.processId;
}

HWND foregroundWindow()
{
    if (failsNow("foregroundWindow")) {
        return nullptr;
    }
    return inmemory::findWindow(machine().foreground) != nullptr ? machine().foreground : nullptr;
}

void bringToForeground(HWND window)
{
    if (!failsNow("bringToForeground") && !machine().foregroundRefused && inmemory::findWindow(window) != nullptr) {
        machine().foreground = window;
    }
}

HWND rootOwner(HWND window)
{
    if (failsNow("rootOwner") || inmemory::findWindow(window) == nullptr) {
        return nullptr;
    }
    for (auto it = machine().owners.find(window); it != machine().owners.end(); it = machine().owners.find(window)) {
        window = it->second;
    }
    return window;
}

DWORD postSystemCommand(HWND window, SystemCommand command)
{
    DWORD error = 0;
    if (enter("postSystemCommand", error)) {
        return error;
    }
    if (inmemory::findWindow(window) == nullptr) {
        return ERROR_INVALID_WINDOW_HANDLE;
    }
    const auto wParam = static_cast<WPARAM>(command);
    machine().posted.push_back(inmemory::PostedMessage{window, WM_SYSCOMMAND, wParam, 0, machine().now});
    // The window obeys, as a real window's default processing would.
    if (command == SystemCommand::Minimize) {
        inmemory::setWindowMinimized(window, true);
    } else {
        inmemory::destroyWindow(window);
    }
    return ERROR_SUCCESS;
}

KeysSent sendKeys(const KEYBDINPUT* records, UINT count)
{
    DWORD error = 0;
    if (enter("sendKeys", error)) {
        return KeysSent{0, error};
    }
    machine().input.push_back(inmemory::SentInput{std::vector<KEYBDINPUT>(records, records + count), machine().now});
    if (machine().afterSendInput) {
        machine().afterSendInput();
    }
    return KeysSent{count, ERROR_SUCCESS};
}

}  // namespace win
