// The in-memory machine's state, shared by its area files only.
#pragma once

#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

#include "inmemory/inmemory.h"

namespace inmemory::detail {

// Paths and registry names compare case-insensitively: stored under a folded key.
std::u16string fold(std::u16string_view text);
std::u16string parentPath(const std::u16string& path);
// A registry path as HKEY_CLASSES_ROOT resolves it, in the hive that holds it.
std::u16string classesView(const std::u16string& path);
// UTF-16LE bytes as text, up to the first zero unit when `untilZero`.
std::u16string utf16Text(const std::vector<std::uint8_t>& bytes, bool untilZero = false);

// Folded paths compared whole, with memcmp: the fuzz build traces every
// comparison of the units one by one, and path lookups were most of the
// dispatch target's time.
struct SamePath {
    bool operator()(const std::u16string& a, const std::u16string& b) const noexcept
    {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
    }
};
template <class T>
using PathMap = std::unordered_map<std::u16string, T, std::hash<std::u16string>, SamePath>;

struct File {
    std::u16string path{};
    std::vector<std::uint8_t> bytes{};
    std::uint64_t lastWrite = 0;
    bool heldByOther = false;      // open elsewhere, sharing nothing
    bool followedByOther = false;  // open elsewhere for reading, sharing everything
    // Links, as another user can plant them in a folder open to everyone:
    // a symbolic link names its target (unfolded); a second hard link names
    // the folded key of the entry that holds the contents; a file deleted
    // while open with FILE_SHARE_DELETE goes when its last handle closes.
    std::u16string symbolicLinkTarget{};
    std::u16string hardLinkOf{};
    bool deletePending = false;
};

struct Folder {
    std::u16string path{};
    FolderList access{};              // as last set; unprotected and empty: never set, what it inherits
    std::u16string junctionTarget{};  // a junction (mount point) to this folder
};

struct Value {
    win::DWORD type = win::REG_NONE;
    std::vector<std::uint8_t> bytes;
};

struct Key {
    std::u16string path;
    bool isVolatile = false;
    bool writeDenied = false;
    std::map<std::u16string, std::pair<std::u16string, Value>> values{};  // folded name -> (name, value)
};

struct Window {
    win::HWND handle = nullptr;
    WindowTraits traits;
};

struct Process {
    std::u16string imagePath;
};

enum class HandleKind { File, Folder, RegistryKey, Mutex, Event };

struct OpenHandle {
    HandleKind kind;
    std::u16string path;    // file, folder or key path (folded)
    win::DWORD access = 0;  // as FileOpens gives them
    win::DWORD share = 0;
};

// A named mutex of the session: free, held by this process (how often), or
// held by another run.
struct SessionMutex {
    int heldByUs = 0;
    bool heldElsewhere = false;
};

struct FaultPlan {
    std::string function;  // empty: any function (by global position)
    std::uint64_t firstCall = 0;
    std::uint64_t lastCall = 0;  // inclusive
    win::DWORD error = 0;
};

struct Machine {
    // faults and call record, by the layer functions' own names (literals)
    std::vector<std::string_view> calls;
    std::map<std::string_view, std::uint64_t> callsByName;
    std::vector<FaultPlan> faults;

    // clock
    std::uint64_t now = 0;
    std::uint64_t sleptMs = 0;
    std::uint32_t pauseStretch = 1;
    std::multimap<std::uint64_t, std::function<void()>> scheduled;

    // files
    std::u16string programData;
    std::u16string localAppData;
    PathMap<File> files;
    PathMap<Folder> folders;
    bool linksPlanted = false;  // until then a path leads where it says, with no lookups

    // console
    bool parentConsole = false;
    bool attached = false;
    std::u16string console;

    // process
    std::u16string moduleFileName;

    // registry
    std::map<std::u16string, Key> keys;

    // desktop
    // z-order, top first; found by handle through the index, so that a walk
    // over the desktop costs the same per window however many there are
    std::list<Window> windows;
    std::unordered_map<win::HWND, std::list<Window>::iterator> windowIndex;
    std::map<win::DWORD, Process> processes;
    win::DWORD nextProcessId = 1000;
    std::uintptr_t nextWindow = 0x10010;
    std::vector<PostedMessage> posted;
    std::vector<SentInput> input;
    std::function<void()> afterSendInput;
    win::HWND foreground = nullptr;
    bool foregroundRefused = false;
    std::map<win::HWND, win::HWND> owners;
    win::HWND consoleWindow = nullptr;

    // named objects of the session
    std::map<std::u16string, SessionMutex> mutexes;
    std::map<std::u16string, bool> events;  // set or reset

    // handles
    std::map<std::uintptr_t, OpenHandle> handles;
    std::uintptr_t nextHandle = 0x100;

    // actions that run right before a given call of a function (beforeCall)
    struct CallHook {
        std::string function;
        std::uint64_t call;  // the function's own call count when it runs
        std::function<void()> action;
    };
    std::vector<CallHook> hooks;
    // actions that run once an entry with this text was appended (afterWriting)
    std::vector<std::pair<std::u16string, std::function<void()>>> writeHooks;
};

Machine& machine();

// Called first by every layer function: records the call, runs the hooks due
// before it, and tells whether a planned fault hits this call (then `error`
// holds the Win32 error to report).
bool enter(const char* function, win::DWORD& error);
// For functions that report a failure without its reason.
bool failsNow(const char* function);

// Time passes up to `until` (a FILETIME value), the actions scheduled in
// between running at their moments, until `done` holds after one of them:
// true then, with the clock at that action's moment; false at `until`.
bool passTime(std::uint64_t until, const std::function<bool()>& done = {});

std::uintptr_t newHandle(const OpenHandle& handle);
OpenHandle* findHandle(std::uintptr_t value);

inline win::HANDLE asHandle(std::uintptr_t value) { return reinterpret_cast<win::HANDLE>(value); }
inline std::uintptr_t handleValue(win::HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace inmemory::detail
