// The layer's headers carry their own copies of the Windows numbers the logic
// uses, so the logic never needs <windows.h>. Here each copy is checked
// against the SDK's: the copies are read before <windows.h> turns their names
// into macros, and compared after.
#include "winapi/desktop.h"
#include "winapi/registry.h"
#include "winapi/system.h"

namespace {
constexpr unsigned long long Ours[] = {
    win::ERROR_FILE_NOT_FOUND, win::ERROR_PATH_NOT_FOUND, win::ERROR_ACCESS_DENIED, win::ERROR_INVALID_HANDLE,
    win::ERROR_INVALID_DATA, win::ERROR_SHARING_VIOLATION, win::ERROR_LOCK_VIOLATION, win::ERROR_INVALID_PARAMETER,
    win::ERROR_INSUFFICIENT_BUFFER, win::ERROR_ALREADY_EXISTS, win::ERROR_MORE_DATA,
    win::ERROR_INVALID_WINDOW_HANDLE, win::ERROR_UNSUPPORTED_TYPE,
    static_cast<unsigned long long>(win::S_OK), static_cast<unsigned long long>(win::E_INVALIDARG),
    static_cast<unsigned long long>(win::STRSAFE_E_INSUFFICIENT_BUFFER),
    win::WM_SYSCOMMAND, win::SC_MINIMIZE, win::SC_CLOSE, win::KEYEVENTF_KEYUP, win::KEYEVENTF_UNICODE,
    win::VK_LSHIFT, win::VK_LCONTROL,
    win::KEY_QUERY_VALUE, win::KEY_SET_VALUE, win::KEY_CREATE_SUB_KEY,
    win::REG_NONE, win::REG_SZ, win::REG_EXPAND_SZ, win::REG_BINARY, win::REG_DWORD, win::REG_MULTI_SZ, win::REG_QWORD,
    win::RRF_RT_REG_SZ, win::RRF_RT_REG_EXPAND_SZ, win::RRF_RT_REG_DWORD, win::RRF_RT_REG_QWORD, win::RRF_RT_ANY, win::RRF_NOEXPAND,
    win::DELETE, win::FILE_GENERIC_READ, win::FILE_GENERIC_WRITE, win::FILE_GENERIC_EXECUTE, win::FILE_ALL_ACCESS,
};
}  // namespace

#include "win32_common.h"

namespace {
constexpr unsigned long long Sdk[] = {
    ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE,
    ERROR_INVALID_DATA, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_INVALID_PARAMETER,
    ERROR_INSUFFICIENT_BUFFER, ERROR_ALREADY_EXISTS, ERROR_MORE_DATA,
    ERROR_INVALID_WINDOW_HANDLE, ERROR_UNSUPPORTED_TYPE,
    static_cast<unsigned long long>(S_OK), static_cast<unsigned long long>(E_INVALIDARG),
    static_cast<unsigned long long>(static_cast<HRESULT>(0x8007007AL)),  // STRSAFE_E_INSUFFICIENT_BUFFER
    WM_SYSCOMMAND, SC_MINIMIZE, SC_CLOSE, KEYEVENTF_KEYUP, KEYEVENTF_UNICODE,
    VK_LSHIFT, VK_LCONTROL,
    KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY,
    REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD,
    RRF_RT_REG_SZ, RRF_RT_REG_EXPAND_SZ, RRF_RT_REG_DWORD, RRF_RT_REG_QWORD, RRF_RT_ANY, RRF_NOEXPAND,
    DELETE, FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS,
};

constexpr bool sameNumbers()
{
    static_assert(sizeof(Ours) == sizeof(Sdk), "one SDK number for each of ours");
    for (std::size_t i = 0; i < sizeof(Ours) / sizeof(Ours[0]); ++i) {
        if (Ours[i] != Sdk[i]) {
            return false;
        }
    }
    return true;
}
static_assert(sameNumbers(), "a number in src/winapi differs from the SDK's");
}  // namespace
