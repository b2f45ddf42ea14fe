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
// counted pauses would wait longer than meant. With `fullLookEveryMs`, the
// first look and each one at least that long after the last full one are
// full looks (`full`); without, none is.
template <class Look>
bool lookUntil(std::uint64_t limitMs, win::DWORD pauseMs, std::uint64_t fullLookEveryMs, Look&& look)
{
    const std::uint64_t start = win::monotonicMilliseconds();
    std::uint64_t nextFullLook = start;
    for (;;) {
        const std::uint64_t now = win::monotonicMilliseconds();
        const bool full = fullLookEveryMs != 0 && now >= nextFullLook;
        if (full) {
            nextFullLook = now + fullLookEveryMs;
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
