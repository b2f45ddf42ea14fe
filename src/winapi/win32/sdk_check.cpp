// The layer's headers carry their own copies of the Windows numbers the logic
// uses, so the logic never needs <windows.h>. Here each copy is checked
// against the SDK's. The list names each number once: before <windows.h>
// turns those names into macros, a name gives our copy (win::NAME, kept as
// ours_NAME); after it, the SDK's NAME. A copy that differs fails the build
// with its own name.
#include "winapi/desktop.h"
#include "winapi/registry.h"
#include "winapi/system.h"

// As many names to a line as fit, which clang-format would stair-step.
// clang-format off
#define MIRROWCAST_CHECKED_NUMBERS(X)                                                                                  \
    X(ERROR_FILE_NOT_FOUND) X(ERROR_PATH_NOT_FOUND) X(ERROR_ACCESS_DENIED) X(ERROR_INVALID_HANDLE)                     \
    X(ERROR_INVALID_DATA) X(ERROR_SHARING_VIOLATION) X(ERROR_LOCK_VIOLATION) X(ERROR_INVALID_PARAMETER)                \
    X(ERROR_INSUFFICIENT_BUFFER) X(ERROR_ALREADY_EXISTS) X(ERROR_MORE_DATA) X(ERROR_INVALID_WINDOW_HANDLE)             \
    X(WAIT_TIMEOUT) X(RRF_RT_REG_MULTI_SZ) X(ERROR_UNSUPPORTED_TYPE) X(WM_SYSCOMMAND) X(SC_MINIMIZE) X(SC_CLOSE)       \
    X(KEYEVENTF_KEYUP) X(KEYEVENTF_UNICODE) X(VK_LSHIFT) X(VK_LCONTROL) X(KEY_QUERY_VALUE) X(KEY_SET_VALUE)            \
    X(KEY_CREATE_SUB_KEY) X(REG_NONE) X(REG_SZ) X(REG_EXPAND_SZ) X(REG_BINARY) X(REG_DWORD) X(REG_MULTI_SZ)            \
    X(REG_QWORD) X(RRF_RT_REG_SZ) X(RRF_RT_REG_EXPAND_SZ) X(RRF_RT_REG_DWORD) X(RRF_RT_REG_QWORD) X(RRF_RT_ANY)        \
    X(RRF_NOEXPAND) X(DELETE) X(FILE_GENERIC_READ) X(FILE_GENERIC_WRITE) X(FILE_GENERIC_EXECUTE)                       \
    X(FILE_ALL_ACCESS) X(GENERIC_READ) X(FILE_APPEND_DATA) X(FILE_READ_ATTRIBUTES) X(READ_CONTROL) X(WRITE_DAC)        \
    X(FILE_SHARE_READ) X(FILE_SHARE_WRITE) X(FILE_SHARE_DELETE) X(OPEN_EXISTING) X(OPEN_ALWAYS)                        \
    X(FILE_ATTRIBUTE_NORMAL) X(FILE_FLAG_OPEN_REPARSE_POINT) X(FILE_FLAG_BACKUP_SEMANTICS) X(FILE_ADD_FILE)            \
    X(FILE_ADD_SUBDIRECTORY) X(FILE_DELETE_CHILD) X(WRITE_OWNER) X(GENERIC_ALL) X(GENERIC_WRITE)                       \
    X(OBJECT_INHERIT_ACE) X(CONTAINER_INHERIT_ACE) X(INHERIT_ONLY_ACE)
// clang-format on

namespace {
#define MIRROWCAST_KEEP_OURS(name) constexpr long long ours_##name = win::name;
MIRROWCAST_CHECKED_NUMBERS(MIRROWCAST_KEEP_OURS)
}  // namespace

#include "win32_common.h"

namespace {
#define MIRROWCAST_SAME_AS_SDK(name) \
    static_assert(ours_##name == static_cast<long long>(name), #name " in src/winapi differs from the SDK's");
MIRROWCAST_CHECKED_NUMBERS(MIRROWCAST_SAME_AS_SDK)
}  // namespace
