// The registry on the real API.
#include "winapi/registry.h"

#include "win32_common.h"

namespace win {

using detail::native;
using detail::ours;
using detail::wide;

DWORD openRegistryKey(HKEY key, const char16_t* path, DWORD access, HKEY* opened)
{
    ::HKEY result = nullptr;
    const DWORD status = ::RegOpenKeyExW(native(key), wide(path), 0, access, &result);
    *opened = ours(result);
    return status;
}

DWORD createRegistryKey(HKEY key, const char16_t* path, bool isVolatile, DWORD access, HKEY* created)
{
    ::HKEY result = nullptr;
    const DWORD status = ::RegCreateKeyExW(native(key), wide(path), 0, nullptr,
                                           isVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE, access, nullptr,
                                           &result, nullptr);
    *created = ours(result);
    return status;
}

DWORD setRegistryValue(HKEY key, const char16_t* name, DWORD type, const void* data, DWORD size)
{
    return ::RegSetValueExW(native(key), wide(name), 0, type, static_cast<const ::BYTE*>(data), size);
}

DWORD readRegistryValue(HKEY key, const char16_t* path, const char16_t* name, DWORD types, DWORD* type, void* data,
                        DWORD* size)
{
    ::DWORD nativeType = 0;
    ::DWORD nativeSize = size != nullptr ? *size : 0;
    const DWORD status = ::RegGetValueW(native(key), wide(path), wide(name), types, &nativeType, data,
                                        size != nullptr ? &nativeSize : nullptr);
    if (type != nullptr) {
        *type = nativeType;
    }
    if (size != nullptr) {
        *size = nativeSize;
    }
    return status;
}

DWORD readLogSettingValue(HKEY key, const char16_t* path, const char16_t* name, DWORD types, DWORD* type, void* data,
                          DWORD* size)
{
    return readRegistryValue(key, path, name, types, type, data, size);
}

DWORD deleteRegistryTree(HKEY key, const char16_t* path) { return ::RegDeleteTreeW(native(key), wide(path)); }

void closeRegistryKey(HKEY key) { ::RegCloseKey(native(key)); }

}  // namespace win
