// The test double of the Windows layer: a small machine that keeps real state
// behind the layer's functions (src/winapi), so the logic above it is tested
// on Linux without mocks that merely replay answers.
//
// It keeps files with times, contents, share modes and links; a UTC clock
// that pause() advances at once (no real waiting); a console that records what
// it is given; a registry with volatile keys and write protection; desktop
// windows in z-order with visibility, minimised state and owning process; a
// record of the keys and window commands sent. Any layer function can be made
// to fail with a chosen Win32 error, by name and occurrence or by its position
// among all calls, so every failure path can be driven from a test.
//
// One machine per process; reset() gives a fresh one. Not thread-safe: the
// program has one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "winapi/desktop.h"
#include "winapi/registry.h"
#include "winapi/system.h"

namespace inmemory {

// A fresh machine: C:\ProgramData and the user's C:\Users\ann\AppData\Local
// exist, the clock stands at 2026-12-07 10:00:00 UTC (a Monday), no console,
// empty registry roots, no windows, module path
// C:\Program Files\Velmorathis\VelmorathisMirrowcast.exe.
void reset();

// A text as the UTF-16LE bytes that files and registry values hold.
std::vector<std::uint8_t> utf16Bytes(std::u16string_view text);

// --- Faults ------------------------------------------------------------------
// The `occurrence`-th call (1 = the next one) of `function` from now on fails
// with `error`, and so do the `count` - 1 calls after it (count < 0: all).
void failCall(std::string_view function, win::DWORD error, int occurrence = 1, int count = 1);
// The k-th call of any layer function from now on (1 = the next) fails.
void failCallNumber(std::uint64_t k, win::DWORD error);
void clearFaults();
// Runs `action` right before the `occurrence`-th call (1 = the next one) of
// `function` from now on, as if another process acted at that moment.
void beforeCall(std::string_view function, std::function<void()> action, int occurrence = 1);
// Every layer function called since reset(), by name, in order.
const std::vector<std::string_view>& calls();
std::size_t callCount(std::string_view function);

// --- Clock -------------------------------------------------------------------
constexpr std::uint64_t TicksPerSecond = 10'000'000;  // FILETIME units
std::uint64_t now();                                  // UTC as a FILETIME value
void setNow(int year, int month, int day, int hour, int minute, int second);
// Runs `action` when a pause takes the clock to `fileTime`.
void at(std::uint64_t fileTime, std::function<void()> action);
std::uint64_t totalSleptMs();
// Each pause from now on moves the clock `factor` times as far as it asks
// (1, after reset: as far as asked). For the dispatch fuzz target, which
// checks no timing: with 1,000 the program's 30-second waits end after a few
// looks instead of 3,000, and every branch of a wait is still taken.
void stretchPauses(std::uint32_t factor);

// --- Files -------------------------------------------------------------------
void addFolder(const std::u16string& path);
bool folderExists(const std::u16string& path);
void addFile(const std::u16string& path, const std::u16string& text, std::uint64_t lastWrite);
bool fileExists(const std::u16string& path);
std::u16string fileText(const std::u16string& path);  // UTF-16LE contents
std::vector<std::uint8_t> fileBytes(const std::u16string& path);
// Bytes added at the end, as another program writing to the file would.
void appendBytes(const std::u16string& path, const std::vector<std::uint8_t>& bytes);
// Another process holds the file open with share mode 0 until released.
void holdFile(const std::u16string& path);
void releaseFile(const std::u16string& path);
// A log viewer follows the file: open for reading, sharing everything, until
// released.
void followFile(const std::u16string& path);
// Runs `action` right after the program appends an entry holding `text` to
// a file, once, as if another process acted the moment that line was written.
void afterWriting(const std::u16string& text, std::function<void()> action);
// A folder's access list: unprotected and empty when nobody gave it one (it
// has what it inherits).
struct FolderList {
    bool isProtected = false;
    std::vector<win::FolderAccess> entries{};
    bool operator==(const FolderList&) const = default;
};
FolderList folderAccess(const std::u16string& folder);
void setFolderAccess(const std::u16string& folder, const FolderList& list);
std::size_t openHandleCount();
void setProgramDataPath(const std::u16string& path);
// Links, as a local user can plant them in the log folder. `path` becomes a
// symbolic link to `target` (which need not exist), a junction to the folder
// `target`, or a second name (hard link) of the existing file `existing`.
void makeSymbolicLink(const std::u16string& path, const std::u16string& target);
void makeJunction(const std::u16string& path, const std::u16string& target);
void addHardLink(const std::u16string& path, const std::u16string& existing);

// --- Console -----------------------------------------------------------------
void setParentConsole(bool present);
bool consoleAttached();
std::u16string consoleOutput();

// --- This process --------------------------------------------------------------
void setModuleFileName(const std::u16string& path);
// The program's process on this machine, and the Remote Desktop session it
// runs in (not the console's 1: a multi-session host's user).
constexpr win::DWORD ThisProcessId = 2468;
constexpr win::DWORD ThisSessionId = 3;

// --- Named objects of the session ------------------------------------------------
// Another run holds the named mutex until releaseHeldMutex.
void holdMutex(const std::u16string& name);
void releaseHeldMutex(const std::u16string& name);
bool holdsMutex(const std::u16string& name);  // this process holds it now
// Another run sets the named event.
void setSessionEvent(const std::u16string& name);
bool sessionEventIsSet(const std::u16string& name);

// --- Registry ----------------------------------------------------------------
// Paths start with "HKCR\", "HKCU\" or "HKLM\"; names compare case-insensitively.
// "HKCR\..." is the merged view: the user's HKCU\Software\Classes copy of a
// key when there is one, else the machine's HKLM\Software\Classes copy.
bool keyExists(const std::u16string& path);
bool keyIsVolatile(const std::u16string& path);
bool valueExists(const std::u16string& keyPath, const std::u16string& name);  // "" = default value
win::DWORD valueType(const std::u16string& keyPath, const std::u16string& name);
std::vector<std::uint8_t> valueBytes(const std::u16string& keyPath, const std::u16string& name);
std::u16string valueString(const std::u16string& keyPath, const std::u16string& name);
std::vector<std::u16string> valueNames(const std::u16string& keyPath);
void setValue(const std::u16string& keyPath, const std::u16string& name, win::DWORD type,
              const std::vector<std::uint8_t>& bytes);
void setStringValue(const std::u16string& keyPath, const std::u16string& name, const std::u16string& text);
// A REG_MULTI_SZ of these strings, each terminated, and the list's end.
void setMultiStringValue(const std::u16string& keyPath, const std::u16string& name,
                         const std::vector<std::u16string>& strings);
// Opening this key for writing, and writing or deleting in it, fails with 5.
void denyRegistryWrite(const std::u16string& path);
// The user logs off: volatile keys vanish, ordinary keys stay.
void logOff();
std::size_t openKeyCount();

// --- Desktop -----------------------------------------------------------------
struct WindowTraits {
    std::u16string className = u"Chrome_WidgetWin_1";
    std::u16string title{};
    bool visible = true;
    bool minimized = false;
    win::DWORD processId = 0;
};
// A process with this image path; returns its id.
win::DWORD addProcess(const std::u16string& imagePath);
// A new window at the top of the z-order (or at the bottom).
win::HWND addWindow(const WindowTraits& traits);
win::HWND addWindowAtBottom(const WindowTraits& traits);
void setWindowVisible(win::HWND window, bool visible);
void setWindowMinimized(win::HWND window, bool minimized);
void destroyWindow(win::HWND window);
bool windowExists(win::HWND window);
bool windowMinimized(win::HWND window);
// A handle value that no window has ever had.
win::HWND unusedWindowHandle();

struct PostedMessage {
    win::HWND window;
    win::UINT message;
    win::WPARAM wParam;
    win::LPARAM lParam;
    std::uint64_t time;
    bool operator==(const PostedMessage&) const = default;
};
const std::vector<PostedMessage>& postedMessages();
struct SentInput {
    std::vector<win::KEYBDINPUT> records;  // one SendInput call
    std::uint64_t time;
};
const std::vector<SentInput>& sentInput();
// Runs after every successful sendKeys (a test can open a call window).
void onSendInput(std::function<void()> action);
// The window the user works in (null at first); bringToForeground moves it
// there at once unless the machine refuses the foreground to the program.
void setForeground(win::HWND window);
void refuseForeground();
// `owner` owns `window` (as a terminal owns its pseudo-console's window).
void setOwner(win::HWND window, win::HWND owner);
// The window of the console the program attaches to.
void setConsoleWindow(win::HWND window);

}  // namespace inmemory
