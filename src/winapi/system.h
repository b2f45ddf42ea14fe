// Files, time, console, shell folders, folder security, the module path and
// the process command line. Each function behaves as its Win32 namesake: same
// arguments, same results, and the reason for a failure in GetLastError (or in
// the returned code where Win32 returns one).
#pragma once

#include "winapi/types.h"

namespace win {

// --- Files -------------------------------------------------------------------
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD FILE_APPEND_DATA = 0x0004u;
constexpr DWORD READ_CONTROL = 0x00020000u;
constexpr DWORD WRITE_DAC = 0x00040000u;
constexpr DWORD FILE_SHARE_READ = 0x1u;
constexpr DWORD FILE_SHARE_WRITE = 0x2u;
constexpr DWORD FILE_SHARE_DELETE = 0x4u;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80u;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000u;

// CreateFileW with no security attributes and no template file. Fails with
// INVALID_HANDLE_VALUE: 2/3 when the file or folder is missing, 32 when another
// open's share mode refuses this one, 5 when access is refused.
HANDLE CreateFileW(const char16_t* path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                   DWORD flagsAndAttributes);
// WriteFile without overlapped I/O; a handle opened with FILE_APPEND_DATA
// always writes at the end of the file.
BOOL WriteFile(HANDLE file, const void* data, DWORD byteCount, DWORD* written);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileW(const char16_t* path);
// TRUE when the path names an existing file or folder.
BOOL PathFileExistsW(const char16_t* path);

// --- Shell folders -----------------------------------------------------------
constexpr int CSIDL_COMMON_APPDATA = 35;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;
// Fills path (260 units) with the folder; a negative HRESULT on failure.
HRESULT SHGetFolderPathW(int csidl, DWORD flags, char16_t* path);
// Creates the folder and any missing parents; ERROR_SUCCESS or a Win32 error
// (ERROR_ALREADY_EXISTS when it was there).
int SHCreateDirectory(const char16_t* path);

// --- Time --------------------------------------------------------------------
void GetSystemTime(SYSTEMTIME* time);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
void Sleep(DWORD milliseconds);

// --- Console -----------------------------------------------------------------
constexpr DWORD ATTACH_PARENT_PROCESS = static_cast<DWORD>(-1);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
// Fails with 6 when the parent has no console, 5 when already attached.
BOOL AttachConsole(DWORD processId);
BOOL FreeConsole();
HANDLE GetStdHandle(DWORD which);
BOOL WriteConsoleW(HANDLE console, const char16_t* text, DWORD length, DWORD* written);

// --- Security of the log folder ----------------------------------------------
constexpr int SE_FILE_OBJECT = 1;
constexpr DWORD DACL_SECURITY_INFORMATION = 0x4u;
constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
constexpr DWORD DOMAIN_ALIAS_RID_USERS = 545;
constexpr int GRANT_ACCESS = 1;
constexpr DWORD SUB_CONTAINERS_AND_OBJECTS_INHERIT = 3;
constexpr int NO_MULTIPLE_TRUSTEE = 0;
constexpr int TRUSTEE_IS_SID = 0;
constexpr int TRUSTEE_IS_GROUP = 2;

struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY = {{0, 0, 0, 0, 0, 5}};

// The fields of TRUSTEE_W and EXPLICIT_ACCESS_W that the program fills.
struct TRUSTEE_W {
    void* pMultipleTrustee;
    int MultipleTrusteeOperation;
    int TrusteeForm;
    int TrusteeType;
    PSID ptstrName;
};
struct EXPLICIT_ACCESS_W {
    DWORD grfAccessPermissions;
    int grfAccessMode;
    DWORD grfInheritance;
    TRUSTEE_W Trustee;
};

// GetSecurityInfo for the discretionary list only (owner, group and system
// lists are not asked for). Returns a Win32 error; on success *dacl points
// into *descriptor, which the caller frees with LocalFree.
DWORD GetSecurityInfo(HANDLE object, int objectType, DWORD securityInfo, PACL* dacl,
                      PSECURITY_DESCRIPTOR* descriptor);
// SetSecurityInfo with no owner, group or system list.
DWORD SetSecurityInfo(HANDLE object, int objectType, DWORD securityInfo, PACL dacl);
BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                              PSID* sid);
void FreeSid(PSID sid);
DWORD SetEntriesInAclW(DWORD count, const EXPLICIT_ACCESS_W* entries, PACL oldAcl, PACL* newAcl);
void LocalFree(void* memory);

// --- This process ------------------------------------------------------------
// GetModuleFileNameW for the program's own module: the length copied, 0 on
// failure; a path that does not fit is cut and terminated (error 122).
DWORD GetModuleFileNameW(char16_t* buffer, DWORD size);
// The whole process command line, program name included.
const char16_t* GetCommandLineW();

// --- Links and reparse points ------------------------------------------------
// The log folder is open to every local user, so the names in it may be
// symbolic links, junctions or hard links planted by someone else. These let
// the log look at what it opened before writing through it.
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000u;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080u;  // needed by GetFileInformationByHandle
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10u;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20u;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400u;
constexpr DWORD FILE_NAME_NORMALIZED = 0x0u;
constexpr DWORD VOLUME_NAME_DOS = 0x0u;
constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

// What the handle refers to: attributes (FILE_ATTRIBUTE_REPARSE_POINT for a
// link opened with FILE_FLAG_OPEN_REPARSE_POINT, FILE_ATTRIBUTE_DIRECTORY for
// a folder), times, size and the number of names (hard links) of the file.
// FALSE with 6 for a handle that is not a file or folder, 5 when the handle
// was opened without FILE_READ_ATTRIBUTES (or GENERIC_READ).
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
// The path the handle's file has now, after every junction and link on the
// way was followed, as "\\?\C:\..." with VOLUME_NAME_DOS. Returns its
// length without the terminator; when it does not fit, the size needed with
// the terminator (nothing written); 0 on failure (6 for a bad handle).
DWORD GetFinalPathNameByHandleW(HANDLE file, char16_t* buffer, DWORD size, DWORD flags);

}  // namespace win
