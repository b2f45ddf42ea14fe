// What the scan, the lookup and the actions share about Teams' top-level
// windows. Internal to src/teams.
#pragma once

#include <cstddef>

#include "winapi/types.h"

namespace teams {

// Teams draws every top-level window with the browser engine's class, which
// other programs share: the owning process tells them apart (isTeamsWindow).
constexpr char16_t WindowClass[] = u"Chrome_WidgetWin_1";
constexpr std::size_t TitleCapacity = 256;  // at most 255 characters of title

// The next top-level window of WindowClass below `after` (null: the topmost).
win::HWND nextWindow(win::HWND after);

// The window's title, cut to what fits; empty when it has none or has just
// gone (windows come and go while they are looked at).
void readTitle(win::HWND window, char16_t (&title)[TitleCapacity]);

}  // namespace teams
