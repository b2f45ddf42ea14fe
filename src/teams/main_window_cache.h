// Remembers the Teams main window across runs of the program.
//
// Every run is a short process of its own, and the main window can be told
// apart among the live windows only while it is the one visible Teams window
// besides the call notification window. The last main window a scan found that
// way is kept, with the time it was found, in a volatile key of the current
// user: the registry keeps such a key in memory only, so the entry is gone
// after a logoff or restart, when the handle would mean nothing anyway.
//
// Nothing is held in memory and no key handle outlives a call; several runs of
// the program may use the entry at the same time, without a lock.
#pragma once

#include <cstdint>

#include "util/handles.h"
#include "winapi/types.h"

// The volatile key of the current user that holds the entry, and beside it
// the session's other short-lived facts (the answers just sent).
constexpr char16_t VolatileKeyPath[] = u"SOFTWARE\\Velmorathis\\Velmorathis Mirrowcast\\Volatile";
// The key opened for setting values, made (volatile, under an ordinary
// parent that outlives a logoff) when it is missing; empty when it can be
// neither opened nor made.
[[nodiscard]] util::UniqueKey openVolatileKey();

enum class CacheStoreResult : std::int32_t {
    Stored = 0,
    KeyUnavailable = 1,       // the "Volatile" key could be neither opened nor created
    HandleNotWritten = 2,     // writing "MainTeamsApp" failed (nothing was written)
    TimeStampNotWritten = 3,  // writing "MainTeamsApp/TimeStamp" failed (the new handle stands
                              // beside the previous time stamp, if any)
};

enum class CacheLoadResult : std::int32_t {
    Loaded = 0,
    NoDestination = -1,  // window is null; nothing read
    NoHandle = 1,        // "MainTeamsApp" missing, not a REG_DWORD, or unreadable
    NoTimeStamp = 2,     // "MainTeamsApp/TimeStamp" missing, not a REG_QWORD, or unreadable
};

struct MainWindowCache {
    // Writes the handle and the current UTC time.
    [[nodiscard]] static CacheStoreResult store(win::HWND window);

    // Reads the handle into *window and, when age is given, the entry's age in
    // whole seconds into *age (0xFFFFFFFF for a time stamp a second or more in
    // the future, or one too old for 32 bits). *age is set to 0 first.
    [[nodiscard]] static CacheLoadResult load(win::HWND* window, std::uint32_t* age);
};
