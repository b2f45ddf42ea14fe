// The registry on the real Win32 API.
#include "winapi/registry.h"

#include "win32_common.h"

namespace win {

using detail::native;
using detail::ours;
using detail::wide;

LSTATUS RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD desiredAccess, HKEY* result)
{
    ::HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(native(key), wide(subKey), options, desiredAccess, &opened);
    *result = ours(opened);
    return status;
}

LSTATUS RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD options, DWORD desiredAccess, HKEY* result,
                        DWORD* disposition)
{
    ::HKEY created = nullptr;
    ::DWORD how = 0;
    const LSTATUS status = ::RegCreateKeyExW(native(key), wide(subKey), 0, nullptr, options, desiredAccess, nullptr,
                                             &created, &how);
    *result = ours(created);
    if (disposition != nullptr) {
        *disposition = how;
    }
    return status;
}

LSTATUS RegSetValueExW(HKEY key, const char16_t* valueName, DWORD type, const BYTE* data, DWORD size)
{
    return ::RegSetValueExW(native(key), wide(valueName), 0, type, data, size);
}

LSTATUS RegGetValueW(HKEY key, const char16_t* subKey, const char16_t* valueName, DWORD flags, DWORD* type,
                     void* data, DWORD* size)
{
    ::DWORD nativeType = 0;
    ::DWORD nativeSize = size != nullptr ? *size : 0;
    const LSTATUS status = ::RegGetValueW(native(key), wide(subKey), wide(valueName), flags, &nativeType, data,
                                          size != nullptr ? &nativeSize : nullptr);
    if (type != nullptr) {
        *type = nativeType;
    }
    if (size != nullptr) {
        *size = nativeSize;
    }
    return status;
}

LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(native(key)); }

LSTATUS RegDeleteTreeW(HKEY key, const char16_t* subKey) { return ::RegDeleteTreeW(native(key), wide(subKey)); }

}  // namespace win
