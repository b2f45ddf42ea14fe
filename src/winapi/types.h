// The Windows layer: the one place where the program meets Win32.
//
// Every Windows call the program makes goes through the functions declared in
// the headers of this folder. Two implementations exist and the build picks one
// at link time: win32/ calls the real API, inmemory/ is a small in-memory
// Windows used by the host tests. The declarations keep Win32's names, flags,
// return conventions and error numbers, so the logic above reads like the
// algorithms it implements. Text is UTF-16 as char16_t; on Windows that has the
// same representation as wchar_t.
//
// Include this folder's headers before <windows.h> in the win32 implementation:
// the constants below carry the Windows names and would otherwise collide with
// the macros of the SDK headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using BOOL = int;
using HRESULT = std::int32_t;
using LSTATUS = LONG;
using ULONGLONG = std::uint64_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ULONG_PTR = std::uintptr_t;

// Opaque handle types: distinct pointer types, so the compiler keeps a window
// from being passed where a key is expected.
struct HandleTag;
struct WindowTag;
struct KeyTag;
struct InstanceTag;
using HANDLE = HandleTag*;
using HWND = WindowTag*;
using HKEY = KeyTag*;
using HINSTANCE = InstanceTag*;
using HMODULE = HINSTANCE;
using PSID = void*;
using PACL = void*;
using PSECURITY_DESCRIPTOR = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// Win32 error numbers the program looks at or reports.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_UNSUPPORTED_TYPE = 1630;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT STRSAFE_E_INSUFFICIENT_BUFFER = static_cast<HRESULT>(0x8007007Au);

constexpr HRESULT hresultFromWin32(DWORD error)
{
    return error == 0 ? S_OK : static_cast<HRESULT>((error & 0x0000FFFFu) | 0x80070000u);
}

// The calling thread's last error, as GetLastError/SetLastError.
DWORD GetLastError();
void SetLastError(DWORD error);

}  // namespace win
