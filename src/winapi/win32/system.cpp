// The clock, the console, this process and the log's files on the real API.
#include "winapi/system.h"

#include "win32_common.h"

#include <accctrl.h>
#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace win {

using detail::native;
using detail::ours;
using detail::wide;

bool readClock(std::uint64_t& fileTime)
{
    ::SYSTEMTIME now{};
    ::GetSystemTime(&now);
    ::FILETIME asFileTime{};
    if (!::SystemTimeToFileTime(&now, &asFileTime)) {
        return false;
    }
    fileTime = (static_cast<std::uint64_t>(asFileTime.dwHighDateTime) << 32) | asFileTime.dwLowDateTime;
    return true;
}

std::uint64_t monotonicMilliseconds() { return ::GetTickCount64(); }

void pause(DWORD milliseconds) { ::Sleep(milliseconds); }

bool attachParentConsole() { return ::AttachConsole(ATTACH_PARENT_PROCESS) != FALSE; }

bool writeConsole(const char16_t* text, std::size_t length)
{
    ::DWORD written = 0;
    return ::WriteConsoleW(::GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<::DWORD>(length), &written,
                           nullptr) != FALSE;
}

HWND consoleWindow() { return ours(::GetConsoleWindow()); }

void releaseConsole() { ::FreeConsole(); }

DWORD moduleFileName(char16_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, wide(buffer), size); }

const char16_t* commandLine() { return reinterpret_cast<const char16_t*>(::GetCommandLineW()); }

bool commonAppDataFolder(char16_t (&path)[PathCapacity])
{
    if (::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, wide(path)) < 0) {
        path[0] = 0;
        return false;
    }
    path[PathCapacity - 1] = 0;
    return true;
}

bool pathExists(const char16_t* path) { return ::PathFileExistsW(wide(path)) != FALSE; }

DWORD createFolder(const char16_t* path) { return static_cast<DWORD>(::SHCreateDirectory(nullptr, wide(path))); }

HANDLE openFile(const char16_t* path, FileUse use, DWORD& error)
{
    ::DWORD access = FILE_READ_ATTRIBUTES;
    ::DWORD share = 0;
    ::DWORD disposition = OPEN_EXISTING;
    ::DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT;
    switch (use) {
    case FileUse::InspectFolder:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        flags |= FILE_FLAG_BACKUP_SEMANTICS;
        break;
    case FileUse::ResolveFolder:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        flags = FILE_FLAG_BACKUP_SEMANTICS;
        break;
    case FileUse::ChangeFolderRights:
        access |= READ_CONTROL | WRITE_DAC;
        flags |= FILE_FLAG_BACKUP_SEMANTICS;
        break;
    case FileUse::ReadToExpire:
        access = GENERIC_READ;
        share = FILE_SHARE_READ | FILE_SHARE_DELETE;
        break;
    case FileUse::AppendEntry:
        access |= FILE_APPEND_DATA;
        share = FILE_SHARE_READ;
        disposition = OPEN_ALWAYS;
        flags |= FILE_ATTRIBUTE_NORMAL;
        break;
    }
    const ::HANDLE file = ::CreateFileW(wide(path), access, share, nullptr, disposition, flags, nullptr);
    error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    return ours(file);
}

void closeFile(HANDLE file) { ::CloseHandle(native(file)); }

bool readFileFacts(HANDLE file, FileFacts& facts)
{
    ::BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(native(file), &information)) {
        return false;
    }
    facts.folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.names = information.nNumberOfLinks;
    facts.size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    facts.lastWrite = (static_cast<std::uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
                      information.ftLastWriteTime.dwLowDateTime;
    return true;
}

bool readFinalPath(HANDLE file, char16_t (&path)[PathCapacity])
{
    // Room for "\\?\UNC\" in front of a path of at most 259 characters.
    wchar_t finalPath[PathCapacity + 8];
    const ::DWORD length =
        ::GetFinalPathNameByHandleW(native(file), finalPath, PathCapacity + 8, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= PathCapacity + 8) {
        return false;
    }
    // As it would be typed: without the "\\?\" in front, and \\?\UNC\server\...
    // as \\server\....
    const wchar_t* from = finalPath;
    std::size_t used = 0;
    if (::StrCmpNIW(finalPath, L"\\\\?\\UNC\\", 8) == 0) {
        path[used++] = u'\\';
        from += 7;
    } else if (::StrCmpNIW(finalPath, L"\\\\?\\", 4) == 0) {
        from += 4;
    }
    for (; *from != 0; ++from) {
        if (used + 1 >= PathCapacity) {
            return false;
        }
        path[used++] = static_cast<char16_t>(*from);
    }
    path[used] = 0;
    return true;
}

bool appendToFile(HANDLE file, const void* data, DWORD byteCount)
{
    ::DWORD written = 0;
    return ::WriteFile(native(file), data, byteCount, &written, nullptr) != FALSE && written == byteCount;
}

bool deleteFile(const char16_t* path) { return ::DeleteFileW(wide(path)) != FALSE; }

DWORD grantUsersFullAccess(HANDLE folder)
{
    ::PACL currentAcl = nullptr;
    ::PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetSecurityInfo(native(folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &currentAcl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) {
        return error;  // nothing to merge into, and nothing of ours to free
    }
    ::SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    ::PSID users = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0,
                                    0, 0, &users)) {
        error = ::GetLastError();
        ::LocalFree(descriptor);
        return error;
    }
    ::EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = static_cast<::LPWSTR>(users);
    ::PACL merged = nullptr;
    error = ::SetEntriesInAclW(1, &access, currentAcl, &merged);
    if (error == ERROR_SUCCESS && merged != nullptr) {
        error = ::SetSecurityInfo(native(folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, merged,
                                  nullptr);
    }
    ::LocalFree(merged);
    ::FreeSid(users);
    ::LocalFree(descriptor);  // the list read above lies inside it
    return error;
}

}  // namespace win
