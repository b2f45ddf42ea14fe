// The clock, the console, this process and the log's files on the real API.
#include "winapi/system.h"

#include "win32_common.h"

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

void writeConsole(const char16_t* text, std::size_t length)
{
    ::DWORD written = 0;
    ::WriteConsoleW(::GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<::DWORD>(length), &written, nullptr);
}

HWND consoleWindow() { return ours(::GetConsoleWindow()); }

void releaseConsole() { ::FreeConsole(); }

DWORD moduleFileName(char16_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, wide(buffer), size); }

const char16_t* commandLine() { return reinterpret_cast<const char16_t*>(::GetCommandLineW()); }

DWORD currentProcessId() { return ::GetCurrentProcessId(); }

bool processSessionId(DWORD processId, DWORD& sessionId)
{
    ::DWORD session = 0;
    if (!::ProcessIdToSessionId(processId, &session)) {
        return false;
    }
    sessionId = session;
    return true;
}

HANDLE openSessionMutex(const char16_t* name, DWORD& error)
{
    ::HANDLE mutex = ::CreateMutexW(nullptr, FALSE, wide(name));
    // A mutex another process made with a narrower access list still opens
    // for what a wait and a release need.
    if (mutex == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) {
        mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, wide(name));
    }
    error = mutex == nullptr ? ::GetLastError() : ERROR_SUCCESS;
    return ours(mutex);
}

DWORD takeMutex(HANDLE mutex, DWORD milliseconds)
{
    switch (::WaitForSingleObject(native(mutex), milliseconds)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // owned now; its last owner died holding it
        return ERROR_SUCCESS;
    case WAIT_TIMEOUT:
        return WAIT_TIMEOUT;
    default:
        return ::GetLastError();
    }
}

void releaseMutex(HANDLE mutex) { ::ReleaseMutex(native(mutex)); }

HANDLE openSessionEvent(const char16_t* name, DWORD& error)
{
    ::HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, wide(name));
    if (event == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) {
        event = ::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, wide(name));
    }
    error = event == nullptr ? ::GetLastError() : ERROR_SUCCESS;
    return ours(event);
}

void setEvent(HANDLE event) { ::SetEvent(native(event)); }

void resetEvent(HANDLE event) { ::ResetEvent(native(event)); }

bool isEventSet(HANDLE event) { return ::WaitForSingleObject(native(event), 0) == WAIT_OBJECT_0; }

void closeSessionObject(HANDLE object) { ::CloseHandle(native(object)); }

DWORD knownFolderPath(KnownFolder folder, char16_t (&path)[PathCapacity])
{
    const int csidl = folder == KnownFolder::CommonAppData ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA;
    const ::HRESULT result = ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, wide(path));
    if (result < 0) {
        path[0] = 0;
        // The Windows error inside the HRESULT, as the log reports errors.
        return HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<DWORD>(result);
    }
    path[PathCapacity - 1] = 0;
    return ERROR_SUCCESS;
}

bool pathExists(const char16_t* path) { return ::PathFileExistsW(wide(path)) != FALSE; }

DWORD createFolder(const char16_t* path) { return static_cast<DWORD>(::SHCreateDirectory(nullptr, wide(path))); }

HANDLE openFile(const char16_t* path, FileUse use, DWORD& error)
{
    const FileOpen& how = fileOpenFor(use);
    const ::HANDLE file =
        ::CreateFileW(wide(path), how.access, how.share, nullptr, how.disposition, how.flags, nullptr);
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

DWORD appendToFile(HANDLE file, const void* data, DWORD byteCount)
{
    ::DWORD written = 0;
    if (!::WriteFile(native(file), data, byteCount, &written, nullptr)) {
        return ::GetLastError();
    }
    // A short write without an error is what a full disk can leave.
    return written == byteCount ? ERROR_SUCCESS : ERROR_DISK_FULL;
}

bool deleteFile(const char16_t* path) { return ::DeleteFileW(wide(path)) != FALSE; }

namespace {

// A well-known SID built in place: no allocation to free on any path.
struct WellKnownSid {
    alignas(::SID) BYTE bytes[SECURITY_MAX_SID_SIZE];
};

bool buildSid(Trustee trustee, WellKnownSid& sid)
{
    ::SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    ::DWORD rids[2] = {};
    ::BYTE count = 1;
    switch (trustee) {
    case Trustee::LocalSystem:
        rids[0] = SECURITY_LOCAL_SYSTEM_RID;
        break;
    case Trustee::Administrators:
        rids[0] = SECURITY_BUILTIN_DOMAIN_RID;
        rids[1] = DOMAIN_ALIAS_RID_ADMINS;
        count = 2;
        break;
    case Trustee::Users:
        rids[0] = SECURITY_BUILTIN_DOMAIN_RID;
        rids[1] = DOMAIN_ALIAS_RID_USERS;
        count = 2;
        break;
    case Trustee::OwnerRights:
        authority = SECURITY_CREATOR_SID_AUTHORITY;
        rids[0] = SECURITY_CREATOR_OWNER_RIGHTS_RID;
        break;
    case Trustee::Other:
        ::SetLastError(ERROR_INVALID_PARAMETER);  // no one SID: it only comes back from a list read
        return false;
    }
    if (!::InitializeSid(sid.bytes, &authority, count)) {
        return false;
    }
    for (::BYTE i = 0; i < count; ++i) {
        *::GetSidSubAuthority(sid.bytes, i) = rids[i];
    }
    return true;
}

Trustee trusteeOf(::PSID sid)
{
    for (const Trustee known : {Trustee::LocalSystem, Trustee::Administrators, Trustee::Users, Trustee::OwnerRights}) {
        WellKnownSid candidate;
        if (buildSid(known, candidate) && ::EqualSid(sid, candidate.bytes)) {
            return known;
        }
    }
    return Trustee::Other;
}

// An access list of allow entries, built in place: room for the list's
// header and eight entries with the largest SID each.
constexpr std::size_t MaxEntries = 8;
struct AccessList {
    alignas(::ACL) BYTE bytes[sizeof(::ACL) + MaxEntries * (sizeof(::ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
    ::PACL acl() { return reinterpret_cast<::PACL>(bytes); }
};

// Each entry with its own inheritance: one setting for all would either let
// the folder's own entries reach its files or the files' reach the folder.
DWORD buildAccessList(const FolderAccess* entries, std::size_t count, AccessList& list)
{
    if (entries == nullptr || count == 0 || count > MaxEntries) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!::InitializeAcl(list.acl(), sizeof(list.bytes), ACL_REVISION)) {
        return ::GetLastError();
    }
    for (std::size_t i = 0; i < count; ++i) {
        WellKnownSid sid;
        if (!buildSid(entries[i].trustee, sid) ||
            !::AddAccessAllowedAceEx(list.acl(), ACL_REVISION, entries[i].inheritance, entries[i].rights, sid.bytes)) {
            return ::GetLastError();
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD setProtectedFolderAccess(HANDLE folder, const FolderAccess* entries, std::size_t count)
{
    AccessList list;
    const DWORD error = buildAccessList(entries, count, list);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    // Protected, so the entries of the folder above (CREATOR OWNER among
    // them) do not come along.
    return ::SetSecurityInfo(native(folder), SE_FILE_OBJECT,
                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             list.acl(), nullptr);
}

DWORD createFolderWithAccess(const char16_t* path, const FolderAccess* entries, std::size_t count)
{
    AccessList list;
    const DWORD error = buildAccessList(entries, count, list);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    ::SECURITY_DESCRIPTOR descriptor{};
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, list.acl(), FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        return ::GetLastError();
    }
    ::SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    return ::CreateDirectoryW(wide(path), &attributes) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD readFolderAccess(HANDLE folder, FolderAccessList& list)
{
    list = FolderAccessList{};
    ::PACL dacl = nullptr;
    ::PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetSecurityInfo(native(folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &descriptor);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    ::SECURITY_DESCRIPTOR_CONTROL control = 0;
    ::DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        error = ::GetLastError();
    }
    list.isProtected = (control & SE_DACL_PROTECTED) != 0;
    if (error == ERROR_SUCCESS && dacl == nullptr) {
        list.entries[list.count++] = {Trustee::Other, FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE};
    }
    for (::DWORD i = 0; error == ERROR_SUCCESS && dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) {
            error = ::GetLastError();
        } else if (static_cast<const ::ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue;
        } else if (list.count == FolderAccessList::Capacity) {
            error = ERROR_INSUFFICIENT_BUFFER;
        } else {
            const auto* allowed = static_cast<const ::ACCESS_ALLOWED_ACE*>(ace);
            list.entries[list.count++] = {trusteeOf(const_cast<::DWORD*>(&allowed->SidStart)), allowed->Mask,
                                          static_cast<DWORD>(allowed->Header.AceFlags & VALID_INHERIT_FLAGS)};
        }
    }
    ::LocalFree(descriptor);  // the list lies inside it and goes with it
    return error;
}

}  // namespace win
