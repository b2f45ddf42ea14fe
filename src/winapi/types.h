// The Windows layer: the one place where the program's logic meets Windows.
//
// The logic never includes <windows.h>. It calls the functions declared in
// this folder's headers, which say what the program needs at its own level:
// a snapshot of the desktop's windows and their facts, keys and commands to a
// window, the clock, the registry values it owns, the log's files, the
// console. src/winapi/win32 implements them on the real API (and checks every
// constant below against the SDK's own); the host tests link a small double
// under tests/support instead. Each function says how it fails.
//
// Text is UTF-16 as char16_t; on Windows that has the same representation as
// wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using ULONG_PTR = std::uintptr_t;

// Opaque handle types: distinct pointer types, so the compiler keeps a window
// from being passed where a key is expected.
struct HandleTag;
struct WindowTag;
struct KeyTag;
struct InstanceTag;
using HANDLE = HandleTag*;  // an open file or folder of the log
using HWND = WindowTag*;    // another program's window: compared and passed back, never owned
using HKEY = KeyTag*;
using HINSTANCE = InstanceTag*;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// Win32 error numbers the program looks at or reports.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_UNSUPPORTED_TYPE = 1630;

}  // namespace win
