// The registry on the real API.
#include "winapi/registry.h"

#include "win32_common.h"


namespace win {

using detail::native;
using detail::ours;
using detail::wide;

LSTATUS openRegistryKey(HKEY key, const char16_t* path, DWORD access, HKEY* opened)
{
    ::HKEY result = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(native(key), wide(path), 0, access, &result);
    *opened = ours(result);
    return status;
}

LSTATUS createRegistryKey(HKEY key, const char16_t* path, bool isVolatile, DWORD access, HKEY* created)
{
    ::HKEY result = nullptr;
    const LSTATUS status =
        ::RegCreateKeyExW(native(key), wide(path), 0, nullptr, isVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE,
                          access, nullptr, &result, nullptr);
    *created = ours(result);
    return status;
}

LSTATUS setRegistryValue(HKEY key, const char16_t* name, DWORD type, const void* data, DWORD size)
{
    return ::RegSetValueExW(native(key), wide(name), 0, type, static_cast<const ::BYTE*>(data), size);
}

LSTATUS readRegistryValue(HKEY key, const char16_t* path, const char16_t* name, DWORD types, DWORD* type, void* data,
                          DWORD* size)
{
    ::DWORD nativeType = 0;
    ::DWORD nativeSize = size != nullptr ? *size : 0;
    const LSTATUS status = ::RegGetValueW(native(key), wide(path), wide(name), types, &nativeType, data,
                                          size != nullptr ? &nativeSize : nullptr);
    if (type != nullptr) {
        *type = nativeType;
    }
    if (size != nullptr) {
        *size = nativeSize;
    }
    return status;
}

LSTATUS readLogSettingValue(HKEY key, const char16_t* path, const char16_t* name, DWORD types, DWORD* type,
                            void* data, DWORD* size)
{
    return readRegistryValue(key, path, name, types, type, data, size);
}

LSTATUS deleteRegistryTree(HKEY key, const char16_t* path) { return ::RegDeleteTreeW(native(key), wide(path)); }

void closeRegistryKey(HKEY key) { ::RegCloseKey(native(key)); }

}  // namespace win
