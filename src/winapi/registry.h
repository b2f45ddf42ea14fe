// The registry functions the program uses. They return a Win32 error number
// (LSTATUS) as their namesakes do: 2 for a missing key or value, 5 when access
// is refused, 234 (ERROR_MORE_DATA) when a value does not fit the buffer,
// 1630 (ERROR_UNSUPPORTED_TYPE) when RegGetValueW's type restriction refuses it.
#pragma once

#include "winapi/types.h"

namespace win {

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000000u)));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000001u)));

constexpr DWORD KEY_QUERY_VALUE = 0x0001u;
constexpr DWORD KEY_SET_VALUE = 0x0002u;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004u;
constexpr DWORD KEY_READ = 0x20019u;
constexpr DWORD KEY_WRITE = 0x20006u;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD RRF_RT_REG_SZ = 0x00000002u;
constexpr DWORD RRF_RT_REG_EXPAND_SZ = 0x00000004u;
constexpr DWORD RRF_RT_REG_DWORD = 0x00000010u;
constexpr DWORD RRF_RT_REG_QWORD = 0x00000040u;
// Without it an expandable string is expanded and read as REG_SZ, and
// RRF_RT_REG_EXPAND_SZ fails with 87 (ERROR_INVALID_PARAMETER).
constexpr DWORD RRF_NOEXPAND = 0x10000000u;

// subKey may be null to open the key itself again.
LSTATUS RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD desiredAccess, HKEY* result);
// No class, default security. disposition may be null.
LSTATUS RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD desiredAccess, HKEY* result,
                        DWORD* disposition);
// valueName null or empty: the default value. data may be null with size 0.
LSTATUS RegSetValueExW(HKEY key, const char16_t* valueName, DWORD type, const BYTE* data, DWORD size);
// type may be null. A string read with RRF_RT_REG_SZ is terminated when it
// fits; *size is in bytes, in and out.
LSTATUS RegGetValueW(HKEY key, const char16_t* subKey, const char16_t* valueName, DWORD flags, DWORD* type,
                     void* data, DWORD* size);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegDeleteTreeW(HKEY key, const char16_t* subKey);

}  // namespace win
