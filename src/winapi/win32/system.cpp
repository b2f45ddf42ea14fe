// Files, time, console, shell folders, folder security and this process, on
// the real Win32 API.
#include "winapi/system.h"

#include "win32_common.h"

#include <accctrl.h>
#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

static_assert(sizeof(win::FILETIME) == sizeof(::FILETIME));
static_assert(sizeof(win::SYSTEMTIME) == sizeof(::SYSTEMTIME));

namespace win {

using detail::native;
using detail::ours;
using detail::wide;

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

HANDLE CreateFileW(const char16_t* path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                   DWORD flagsAndAttributes)
{
    return ours(::CreateFileW(wide(path), desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes,
                              nullptr));
}

BOOL WriteFile(HANDLE file, const void* data, DWORD byteCount, DWORD* written)
{
    ::DWORD done = 0;
    const BOOL ok = ::WriteFile(native(file), data, byteCount, &done, nullptr);
    if (written != nullptr) {
        *written = done;
    }
    return ok;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite)
{
    return ::GetFileTime(native(file), reinterpret_cast<::FILETIME*>(creation),
                         reinterpret_cast<::FILETIME*>(lastAccess), reinterpret_cast<::FILETIME*>(lastWrite));
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(native(handle)); }
BOOL DeleteFileW(const char16_t* path) { return ::DeleteFileW(wide(path)); }
BOOL PathFileExistsW(const char16_t* path) { return ::PathFileExistsW(wide(path)); }

HRESULT SHGetFolderPathW(int csidl, DWORD flags, char16_t* path)
{
    return ::SHGetFolderPathW(nullptr, csidl, nullptr, flags, wide(path));
}

int SHCreateDirectory(const char16_t* path) { return ::SHCreateDirectory(nullptr, wide(path)); }

void GetSystemTime(SYSTEMTIME* time) { ::GetSystemTime(reinterpret_cast<::SYSTEMTIME*>(time)); }

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime)
{
    return ::SystemTimeToFileTime(reinterpret_cast<const ::SYSTEMTIME*>(systemTime),
                                  reinterpret_cast<::FILETIME*>(fileTime));
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime)
{
    return ::FileTimeToSystemTime(reinterpret_cast<const ::FILETIME*>(fileTime),
                                  reinterpret_cast<::SYSTEMTIME*>(systemTime));
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

BOOL AttachConsole(DWORD processId) { return ::AttachConsole(processId); }
BOOL FreeConsole() { return ::FreeConsole(); }
HANDLE GetStdHandle(DWORD which) { return ours(::GetStdHandle(which)); }

BOOL WriteConsoleW(HANDLE console, const char16_t* text, DWORD length, DWORD* written)
{
    ::DWORD done = 0;
    const BOOL ok = ::WriteConsoleW(native(console), text, length, &done, nullptr);
    if (written != nullptr) {
        *written = done;
    }
    return ok;
}

DWORD GetSecurityInfo(HANDLE object, int objectType, DWORD securityInfo, PACL* dacl, PSECURITY_DESCRIPTOR* descriptor)
{
    return ::GetSecurityInfo(native(object), static_cast<::SE_OBJECT_TYPE>(objectType), securityInfo, nullptr,
                             nullptr, reinterpret_cast<::PACL*>(dacl), nullptr, descriptor);
}

DWORD SetSecurityInfo(HANDLE object, int objectType, DWORD securityInfo, PACL dacl)
{
    return ::SetSecurityInfo(native(object), static_cast<::SE_OBJECT_TYPE>(objectType), securityInfo, nullptr,
                             nullptr, static_cast<::PACL>(dacl), nullptr);
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                              PSID* sid)
{
    ::SID_IDENTIFIER_AUTHORITY nativeAuthority{};
    for (int i = 0; i < 6; ++i) {
        nativeAuthority.Value[i] = authority->Value[i];
    }
    return ::AllocateAndInitializeSid(&nativeAuthority, subAuthorityCount, sub0, sub1, sub2, sub3, sub4, sub5, sub6,
                                      sub7, sid);
}

void FreeSid(PSID sid) { ::FreeSid(sid); }

DWORD SetEntriesInAclW(DWORD count, const EXPLICIT_ACCESS_W* entries, PACL oldAcl, PACL* newAcl)
{
    // One entry is all the program ever passes.
    if (count != 1) {
        return ERROR_INVALID_PARAMETER;
    }
    ::EXPLICIT_ACCESS_W entry{};
    entry.grfAccessPermissions = entries->grfAccessPermissions;
    entry.grfAccessMode = static_cast<::ACCESS_MODE>(entries->grfAccessMode);
    entry.grfInheritance = entries->grfInheritance;
    entry.Trustee.pMultipleTrustee = nullptr;
    entry.Trustee.MultipleTrusteeOperation = static_cast<::MULTIPLE_TRUSTEE_OPERATION>(entries->Trustee.MultipleTrusteeOperation);
    entry.Trustee.TrusteeForm = static_cast<::TRUSTEE_FORM>(entries->Trustee.TrusteeForm);
    entry.Trustee.TrusteeType = static_cast<::TRUSTEE_TYPE>(entries->Trustee.TrusteeType);
    entry.Trustee.ptstrName = static_cast<::LPWSTR>(entries->Trustee.ptstrName);
    return ::SetEntriesInAclW(1, &entry, static_cast<::PACL>(oldAcl), reinterpret_cast<::PACL*>(newAcl));
}

void LocalFree(void* memory) { ::LocalFree(memory); }

DWORD GetModuleFileNameW(char16_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, wide(buffer), size); }

const char16_t* GetCommandLineW() { return reinterpret_cast<const char16_t*>(::GetCommandLineW()); }

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == sizeof(::BY_HANDLE_FILE_INFORMATION));
    return ::GetFileInformationByHandle(native(file), reinterpret_cast<::BY_HANDLE_FILE_INFORMATION*>(information));
}

DWORD GetFinalPathNameByHandleW(HANDLE file, char16_t* buffer, DWORD size, DWORD flags)
{
    return ::GetFinalPathNameByHandleW(native(file), wide(buffer), size, flags);
}

}  // namespace win
