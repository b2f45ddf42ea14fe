// Shared by the files that call Win32 directly: the layer's real side, the
// entry and the status window. Include after the program's own headers:
// <windows.h> turns the Windows names into macros.
#pragma once

#include "winapi/types.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace win::detail {

// char16_t and wchar_t are both UTF-16 code units on Windows.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16 on Windows");

inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline ::HANDLE native(win::HANDLE h) { return reinterpret_cast<::HANDLE>(h); }
inline win::HANDLE ours(::HANDLE h) { return reinterpret_cast<win::HANDLE>(h); }
inline ::HWND native(win::HWND h) { return reinterpret_cast<::HWND>(h); }
inline win::HWND ours(::HWND h) { return reinterpret_cast<win::HWND>(h); }
inline ::HKEY native(win::HKEY h) { return reinterpret_cast<::HKEY>(h); }
inline win::HKEY ours(::HKEY h) { return reinterpret_cast<win::HKEY>(h); }

}  // namespace win::detail
