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
#include <optional>

#include "util/handles.h"
#include "winapi/types.h"

namespace teams {

// The volatile key of the current user that holds the entry, and beside it
// the session's other short-lived facts (the answers just sent).
constexpr char16_t VolatileKeyPath[] = u"SOFTWARE\\Velmorathis\\Velmorathis Mirrowcast\\Volatile";
// The key opened for setting values, made (volatile, under an ordinary
// parent that outlives a logoff) when it is missing; empty when it can be
// neither opened nor made.
[[nodiscard]] util::UniqueKey openVolatileKey();

// An entry as an earlier run left it.
struct CachedMainWindow {
    win::HWND window;
    // Whole seconds since it was written: 0xFFFFFFFF for a time stamp a
    // second or more in the future, or one too old for 32 bits.
    std::uint32_t ageSeconds;
};

struct MainWindowCache {
    // Writes the handle and the current UTC time. A failure only costs a
    // later run its fallback, and is not reported: the values written before
    // it stay (a new handle may stand beside an earlier time stamp).
    static void store(win::HWND window);

    // The entry, or none when either value is missing, of another type or
    // cannot be read.
    [[nodiscard]] static std::optional<CachedMainWindow> load();
};

}  // namespace teams
