// The one way the program waits for something it cannot be told about: it
// looks again and again, with a pause between the looks, until a look finds
// what it waits for or the time is up.
#pragma once

#include <cstdint>

#include "winapi/system.h"

namespace util {

// Runs `look(full, elapsedMs)` at once and then after every pause of
// `pauseMs`, until it returns true (then true) or a look starts `limitMs` or
// more after the first (then false, after that look). Time is taken from
// the monotonic clock: a pause lasts a whole scheduler tick on Windows, and
// counted pauses would wait longer than meant. With `fullLookEveryMs`, each
// look at least that long after the last full one (or the start) is a full
// look (`full`), and with `firstLookFull` the first one too; without, none is.
template <class Look>
bool lookUntil(std::uint64_t limitMs, win::DWORD pauseMs, std::uint64_t fullLookEveryMs, bool firstLookFull,
               Look&& look)
{
    const std::uint64_t start = win::monotonicMilliseconds();
    std::uint64_t nextFullLook = firstLookFull ? start : start + fullLookEveryMs;
    for (;;) {
        const std::uint64_t now = win::monotonicMilliseconds();
        const bool full = fullLookEveryMs != 0 && now >= nextFullLook;
        if (full) {
            // On the beat, not after the look that was late for it; after a
            // long look, from now on.
            nextFullLook += fullLookEveryMs;
            if (nextFullLook <= now) {
                nextFullLook = now + fullLookEveryMs;
            }
        }
        if (look(full, now - start)) {
            return true;
        }
        if (now - start >= limitMs) {
            return false;
        }
        win::pause(pauseMs);
    }
}

}  // namespace util
