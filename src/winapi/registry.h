// The registry values the program owns, under its roots: the protocol handler
// under HKEY_CLASSES_ROOT, the main window cache under HKEY_CURRENT_USER, and
// the machine's policy under HKEY_LOCAL_MACHINE, which it only reads.
// Results are Win32 error numbers: 2 for a missing key or value, 5 when
// access is refused, 234 when a value does not fit, 1630 when a value's type
// is not among those asked for.
#pragma once

#include "winapi/types.h"

namespace win {

inline HKEY const HKEY_CLASSES_ROOT =
    reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000000u)));
inline HKEY const HKEY_CURRENT_USER =
    reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000001u)));
inline HKEY const HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000002u)));

constexpr DWORD KEY_QUERY_VALUE = 0x0001u;
constexpr DWORD KEY_SET_VALUE = 0x0002u;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004u;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD RRF_RT_REG_SZ = 0x00000002u;
constexpr DWORD RRF_RT_REG_EXPAND_SZ = 0x00000004u;
constexpr DWORD RRF_RT_REG_DWORD = 0x00000010u;
constexpr DWORD RRF_RT_REG_MULTI_SZ = 0x00000020u;
constexpr DWORD RRF_RT_REG_QWORD = 0x00000040u;
constexpr DWORD RRF_RT_ANY = 0x0000FFFFu;
// Without it an expandable string is expanded and read as REG_SZ, and
// RRF_RT_REG_EXPAND_SZ fails with 87 (ERROR_INVALID_PARAMETER).
constexpr DWORD RRF_NOEXPAND = 0x10000000u;

// Opens `path` below `key` (a root or an open key; a null path opens the key
// itself again) with the access asked for.
[[nodiscard]] DWORD openRegistryKey(HKEY key, const char16_t* path, DWORD access, HKEY* opened);
// Creates or opens `path` below `key`, all missing levels in one call, with no
// class and default security. A volatile key lives in memory only and goes
// when the user's hive is unloaded (logoff, restart).
[[nodiscard]] DWORD createRegistryKey(HKEY key, const char16_t* path, bool isVolatile, DWORD access, HKEY* created);
// A null or empty name: the default value. data may be null with size 0.
[[nodiscard]] DWORD setRegistryValue(HKEY key, const char16_t* name, DWORD type, const void* data, DWORD size);
// Reads one value of `path` below `key` whose type is among `types` (RRF_RT_*
// flags). *size is in bytes, in and out; a string that fits is terminated.
// type may be null.
[[nodiscard]] DWORD readRegistryValue(HKEY key, const char16_t* path, const char16_t* name, DWORD types, DWORD* type,
                                      void* data, DWORD* size);
// The same read, made by the log alone for its own settings before its
// first entry. It is a function of its own because its failure may change
// only where the log writes and how much, never the work of the run.
[[nodiscard]] DWORD readLogSettingValue(HKEY key, const char16_t* path, const char16_t* name, DWORD types, DWORD* type,
                                        void* data, DWORD* size);
// The key at `path` below `key` with every subkey and value in it.
[[nodiscard]] DWORD deleteRegistryTree(HKEY key, const char16_t* path);
void closeRegistryKey(HKEY key);

}  // namespace win
